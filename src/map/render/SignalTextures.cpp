#include "SignalTextures.h"

#include "LitColour.h"

#include <QPainter>

namespace {
constexpr int maximumScaledTextures = 1024;
static_assert(qint64(SignalTextures::maxTextureFiles) * TextureLoader::decodeSize *
                      TextureLoader::decodeSize * 4 <
                  TextureLoader::cacheBytes,
              "the images of one paint fit in the loader's cache");
} // namespace

const QVector<QImage> &SignalTextures::lookUp(const MapOverlay &overlay, quint64 generation,
                                              bool images)
{
    const QVector<MapOverlay::Signal> &marks = overlay.signalMarks;
    const quint64 epoch = m_loader->epoch();
    if (m_generation == generation && m_epoch == epoch && m_asked == images &&
        m_images.size() == marks.size())
        return m_images;
    m_images.fill(QImage(), marks.size());
    m_lit.fill(LitColour::neutral(), marks.size());
    if (m_litByFile.size() > maximumScaledTextures)
        m_litByFile.clear();
    bool pending = false;
    if (images) {
        // Many signals share one file: its image and lit colour are looked up once per file.
        // Signals of one file usually share the text of its path too, which is then found by
        // where its characters lie, without hashing them.
        QHash<QString, QPair<QImage, QColor>> asked;
        QHash<const QChar *, QPair<QImage, QColor>> byText;
        for (int i = 0; i < marks.size(); ++i) {
            if (marks[i].texturePath.isEmpty() || !marks[i].stateAvailable)
                continue;
            const QChar *text = marks[i].texturePath.constData();
            const auto same = byText.constFind(text);
            if (same != byText.constEnd()) {
                m_images[i] = same->first;
                if (!same->first.isNull())
                    m_lit[i] = same->second;
                continue;
            }
            auto found = asked.constFind(marks[i].texturePath);
            if (found == asked.constEnd()) {
                // Beyond this many files the signals keep their symbols: what the map holds stays
                // within the loader's cache, which would otherwise drop and read again images
                // still in use at every paint.
                if (asked.size() >= maxTextureFiles)
                    continue;
                const TextureLoader::Result result = m_loader->request(marks[i].texturePath);
                pending = pending || result.state == TextureLoader::State::Pending;
                found = asked.insert(marks[i].texturePath,
                                     {result.image, litOf(marks[i].texturePath, result.image)});
            }
            byText.insert(text, *found);
            m_images[i] = found->first;
            if (!found->first.isNull())
                m_lit[i] = found->second;
        }
    }
    m_pending = pending;
    m_generation = generation;
    m_epoch = epoch;
    m_asked = images;
    return m_images;
}

QColor SignalTextures::litOf(const QString &path, const QImage &image)
{
    if (image.isNull())
        return LitColour::neutral();
    auto lit = m_litByFile.find(path);
    if (lit == m_litByFile.end()) {
        const QColor colour = LitColour::of(image);
        lit = m_litByFile.insert(path, colour.isValid() ? colour : LitColour::neutral());
    }
    return lit.value();
}

void SignalTextures::draw(QPainter *painter, const QRectF &spot, const QImage &texture)
{
    const QSize size = spot.size().toSize();
    if (size.isEmpty() || QSizeF(size) != spot.size()) {
        painter->drawImage(spot, texture);
        return;
    }
    const QPair<qint64, QSize> key(texture.cacheKey(), size);
    auto scaled = m_scaled.find(key);
    if (scaled == m_scaled.end()) {
        if (m_scaled.size() >= maximumScaledTextures)
            m_scaled.clear();
        scaled = m_scaled.insert(
            key, texture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    painter->drawImage(spot.topLeft(), *scaled);
}
