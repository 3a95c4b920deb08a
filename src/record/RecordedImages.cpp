#include "RecordedImages.h"

#include "RecordingReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {
const char zeros[sizeof SdkSignalTexture::path] = {};
} // namespace

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
    m_extracted.insert(QByteArray(path.constData(), path.size()), copy);
    return copy;
}

qint32 RecordedImages::rewrite(SdkSignalTexture &texture, RecordingReader &reader)
{
    if ((texture.flags & SdkTexturePathValid) == 0)
        return -1;
    const std::size_t length = strnlen(texture.path, sizeof texture.path);
    const QByteArray copy =
        copyOf(QByteArray::fromRawData(texture.path, qsizetype(length)), reader);
    if (copy.isEmpty() || copy.size() >= qsizetype(sizeof texture.path))
        return -1;
    // The whole field is given back by restore(), bytes after the path's end included.
    std::size_t used = sizeof texture.path;
    if (std::memcmp(texture.path + length, zeros, used - length) == 0)
        used = length;
    while (used > length && texture.path[used - 1] == 0)
        --used;
    const QByteArray field = QByteArray::fromRawData(texture.path, qsizetype(used));
    auto found = m_ids.constFind(field);
    if (found == m_ids.constEnd()) {
        const QByteArray recorded(field.constData(), field.size());
        found = m_ids.insert(recorded, qint32(m_recorded.size()));
        m_recorded.push_back(recorded);
        m_copies.push_back(copy);
    }
    std::memset(texture.path, 0, sizeof texture.path);
    std::memcpy(texture.path, copy.constData(), std::size_t(copy.size()));
    return *found;
}

bool RecordedImages::reuse(SdkSignalTexture &texture, qint32 id) const
{
    if (id < 0 || (texture.flags & SdkTexturePathValid) == 0)
        return false;
    const QByteArray &recorded = m_recorded[std::size_t(id)];
    const std::size_t size = std::size_t(recorded.size());
    if (std::memcmp(texture.path, recorded.constData(), size) != 0 ||
        std::memcmp(texture.path + size, zeros, sizeof texture.path - size) != 0)
        return false;
    // The field is the recorded one then zeros: only its start changes.
    const QByteArray &copy = m_copies[std::size_t(id)];
    std::memcpy(texture.path, copy.constData(), std::size_t(copy.size()));
    if (std::size_t(copy.size()) < size)
        std::memset(texture.path + copy.size(), 0, size - std::size_t(copy.size()));
    return true;
}

void RecordedImages::restore(SdkSignalTexture &texture, qint32 id) const
{
    if (id < 0)
        return;
    const QByteArray &recorded = m_recorded[std::size_t(id)];
    std::memset(texture.path, 0, sizeof texture.path);
    std::memcpy(texture.path, recorded.constData(), std::size_t(recorded.size()));
}
