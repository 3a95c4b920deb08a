#include "RecordedImages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

void RecordedImages::rewrite(SnapshotRecords &records, RecordingReader &reader)
{
    // The records are the caller's own copy: their paths are changed in place.
    SdkSignalTexture *texture = const_cast<SdkSignalTexture *>(records.textures.begin());
    for (quint32 i = 0; i < records.textures.count(); ++i, ++texture) {
        if ((texture->flags & SdkTexturePathValid) == 0)
            continue;
        const QByteArray path(texture->path,
                              qsizetype(strnlen(texture->path, sizeof texture->path)));
        auto found = m_extracted.find(path);
        if (found == m_extracted.end()) {
            QByteArray copy;
            const std::optional<QByteArray> data = reader.file(path);
            if (data && !m_folder.isEmpty()) {
                const QString suffix = QFileInfo(QString::fromUtf8(path)).suffix();
                QFile file(QDir(m_folder).filePath(
                    QStringLiteral("%1%2.%3").arg(m_prefix).arg(m_extracted.size()).arg(suffix)));
                if (file.open(QIODevice::WriteOnly) && file.write(*data) == data->size())
                    copy = file.fileName().toUtf8();
            }
            found = m_extracted.insert(path, copy);
        }
        if (!found->isEmpty() && found->size() < qsizetype(sizeof texture->path)) {
            std::memset(texture->path, 0, sizeof texture->path);
            std::memcpy(texture->path, found->constData(), std::size_t(found->size()));
        }
    }
}
