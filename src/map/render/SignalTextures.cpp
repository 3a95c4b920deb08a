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

void SignalTextures::lookUp(const MapOverlay &overlay, quint64 generation, bool images)
{
    const QVector<MapOverlay::Signal> &marks = overlay.signalMarks;
    const quint64 epoch = m_loader->epoch();
    if (m_generation == generation && m_epoch == epoch && m_asked == images &&
        m_fileOf.size() == marks.size())
        return;
    m_neutral = LitColour::neutral();
    m_fileOf.fill(-1, marks.size());
    m_files.clear();
    if (m_litByFile.size() > maximumScaledTextures)
        m_litByFile.clear();
    bool pending = false;
    if (images) {
        // Many signals share one file: its image and lit colour are looked up once per file, the
        // first time a signal of the list names it.
        const QStringList &paths = overlay.texturePaths;
        constexpr int unknown = -2;
        QVector<int> fileOfPath(paths.size(), unknown);
        QHash<QString, int> asked; // by the path's text
        for (int i = 0; i < marks.size(); ++i) {
            const int path = marks[i].texture;
            if (path < 0 || path >= paths.size() || !marks[i].stateAvailable)
                continue;
            int &file = fileOfPath[path];
            if (file == unknown) {
                const QString &text = paths[path];
                const auto found = asked.constFind(text);
                if (text.isEmpty()) {
                    file = -1;
                } else if (found != asked.constEnd()) {
                    file = found.value();
                } else if (asked.size() >= maxTextureFiles) {
                    // Beyond this many files the signals keep their symbols: what the map holds
                    // stays within the loader's cache, which would otherwise drop and read again
                    // images still in use at every paint.
                    file = -1;
                } else {
                    const TextureLoader::Result result = m_loader->request(text);
                    pending = pending || result.state == TextureLoader::State::Pending;
                    file = int(m_files.size());
                    m_files.append({result.image, litOf(text, result.image)});
                    asked.insert(text, file);
                }
            }
            m_fileOf[i] = file;
        }
    }
    m_pending = pending;
    m_generation = generation;
    m_epoch = epoch;
    m_asked = images;
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
