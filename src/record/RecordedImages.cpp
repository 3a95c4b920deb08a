#include "RecordedImages.h"

#include "RecordingReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

QByteArray RecordedImages::copyOf(const QByteArray &path, RecordingReader &reader)
{
    auto found = m_extracted.constFind(path);
    if (found != m_extracted.constEnd())
        return *found;
    QByteArray copy;
    const std::optional<QByteArray> data = reader.file(path);
    if (data && !m_folder.isEmpty()) {
        const QString suffix = QFileInfo(QString::fromUtf8(path)).suffix();
        QFile file(QDir(m_folder).filePath(
            QStringLiteral("%1%2.%3").arg(m_prefix).arg(m_extracted.size()).arg(suffix)));
        if (file.open(QIODevice::WriteOnly) && file.write(*data) == data->size())
            copy = file.fileName().toUtf8();
    }
    m_extracted.insert(path, copy);
    return copy;
}

qint32 RecordedImages::rewrite(SdkSignalTexture &texture, RecordingReader &reader)
{
    if ((texture.flags & SdkTexturePathValid) == 0)
        return -1;
    // The whole field is given back by restore(), bytes after the path's end included.
    const std::size_t length = strnlen(texture.path, sizeof texture.path);
    static const char zeros[sizeof texture.path] = {};
    std::size_t used = sizeof texture.path;
    if (std::memcmp(texture.path + length, zeros, used - length) == 0)
        used = length;
    while (used > length && texture.path[used - 1] == 0)
        --used;
    const QByteArray field = QByteArray::fromRawData(texture.path, qsizetype(used));
    auto found = m_ids.constFind(field);
    if (found == m_ids.constEnd()) {
        const QByteArray path(texture.path, qsizetype(length));
        found = m_ids.insert(QByteArray(field.constData(), field.size()), qint32(m_paths.size()));
        m_paths.push_back({QByteArray(field.constData(), field.size()), copyOf(path, reader)});
    }
    const Path &path = m_paths[std::size_t(*found)];
    if (path.copy.isEmpty() || path.copy.size() >= qsizetype(sizeof texture.path))
        return -1;
    std::memset(texture.path, 0, sizeof texture.path);
    std::memcpy(texture.path, path.copy.constData(), std::size_t(path.copy.size()));
    return *found;
}

void RecordedImages::restore(SdkSignalTexture &texture, qint32 id) const
{
    if (id < 0)
        return;
    const QByteArray &recorded = m_paths[std::size_t(id)].recorded;
    std::memset(texture.path, 0, sizeof texture.path);
    std::memcpy(texture.path, recorded.constData(), std::size_t(recorded.size()));
}
