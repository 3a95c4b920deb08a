#include "SignalTextureCache.h"

#include <QImageReader>

QImage SignalTextureCache::image(const QString &path)
{
    const auto found = m_images.constFind(path);
    if (found != m_images.constEnd())
        return found.value();

    if (m_images.size() >= capacity)
        m_images.clear();

    QImageReader reader(path, QByteArray()); // the format is detected from the file
    const QSize fileSize = reader.size();
    if (fileSize.width() >= 0 && fileSize.height() >= 0)
        reader.setScaledSize(fileSize.scaled(decodeSize, decodeSize, Qt::KeepAspectRatio));
    const QImage decoded = reader.read(); // null on any failure
    m_images.insert(path, decoded);
    return decoded;
}
