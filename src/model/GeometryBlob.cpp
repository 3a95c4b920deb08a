#include "GeometryBlob.h"

#include <cstring>

namespace GeometryBlob {

QByteArray fromNodes(const SdkTrackNode *nodes, qsizetype count)
{
    if (count <= 0)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(nodes),
                      count * static_cast<qsizetype>(sizeof(SdkTrackNode)));
}

QVector<SdkTrackNode> toNodes(const QByteArray &blob)
{
    const qsizetype count = blob.size() / static_cast<qsizetype>(sizeof(SdkTrackNode));
    QVector<SdkTrackNode> nodes(count);
    if (count > 0)
        std::memcpy(nodes.data(), blob.constData(), count * sizeof(SdkTrackNode));
    return nodes;
}

} // namespace GeometryBlob
