#pragma once

// Builders for the data maps that the map tests hand to MapItem.

#include "GeometryBlob.h"
#include "SdkRecords.h"

#include <QVariantMap>
#include <QVector>

namespace MapScene {

inline QString idText(quint64 id)
{
    return QStringLiteral("%1").arg(id, 16, 16, QLatin1Char('0')).toUpper();
}

inline SdkTrackNode node(quint64 id, quint64 first, quint64 second, double x, double y)
{
    return SdkTrackNode{id, first, second, x, y};
}

inline QByteArray blob(const QVector<SdkTrackNode> &nodes)
{
    return GeometryBlob::fromNodes(nodes.constData(), nodes.size());
}

inline QVariantMap train(quint64 id, const QString &name, quint64 track, double fraction,
                         bool positioned = true)
{
    QVariantMap map{{"id", idText(id)}, {"name", name}, {"positioned", positioned}};
    map.insert({{"track", positioned ? idText(track) : QString()}, {"fraction", fraction}});
    return map;
}

inline QVariantMap signalEntry(quint64 track, bool marker, bool balise, bool available, int state,
                               const QString &path = QString())
{
    QVariantMap map{{"track", idText(track)}, {"marker", marker}, {"balise", balise}};
    map.insert({{"stateAvailable", available}, {"textureState", state}, {"texturePath", path}});
    return map;
}

inline QVariantMap station(const QString &name, double x, double y, int trackCount)
{
    return {{"name", name}, {"x", x}, {"y", y}, {"trackCount", trackCount}};
}

inline QVariantMap usage(quint64 trainId, quint64 track)
{
    return {{"train", idText(trainId)}, {"track", idText(track)}, {"begin", 0.0}, {"end", 1.0}};
}

// A live data map with this geometry and nothing else shown.
inline QVariantMap liveData(const QVector<SdkTrackNode> &nodes)
{
    return {
        {"live", true}, {"mapGeometry", blob(nodes)}, {"usageStale", false}, {"pathStale", false}};
}

} // namespace MapScene
