#pragma once

#include <QHash>
#include <QImage>
#include <QString>

// The game's signal images, decoded once per file path at no more than 192 pixels a side, so that
// painting only scales a small image. Failures are kept too (as null images), so a bad file is
// read once. The cache is bounded by emptying it whole when it is full.
class SignalTextureCache
{
public:
    static constexpr int capacity = 256;
    static constexpr int decodeSize = 192;

    // The image for this path, read from the file on a miss; null when it could not be decoded.
    QImage image(const QString &path);

    int size() const { return m_images.size(); }
    bool contains(const QString &path) const { return m_images.contains(path); }

private:
    QHash<QString, QImage> m_images;
};
