#include "SignalTextureCache.h"

#include <QFileInfo>
#include <QImageReader>

QImage SignalTextureCache::image(const QString &path)
{
    const auto found = m_images.constFind(path);
    if (found != m_images.constEnd())
        return found.value();

    if (m_images.size() >= capacity)
        m_images.clear();

    QImage decoded; // null on any failure
    // Only plain files are read: a path naming a pipe or a device would block the painting
    // thread, or never end.
    if (QFileInfo(path).isFile()) {
        QImageReader reader(path, QByteArray()); // the format is detected from the file
        const QSize fileSize = reader.size();
        if (fileSize.width() >= 0 && fileSize.height() >= 0)
            reader.setScaledSize(fileSize.scaled(decodeSize, decodeSize, Qt::KeepAspectRatio));
        decoded = reader.read();
    }
    m_images.insert(path, decoded);
    return decoded;
}
