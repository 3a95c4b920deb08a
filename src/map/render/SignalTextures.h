#pragma once

#include "MapOverlay.h"
#include "TextureLoader.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QPair>
#include <QRectF>
#include <QVector>

#include <atomic>

class QPainter;

// The game's images of the signal layer: which decoded image each signal of an overlay shows,
// and those images at the size they are drawn. The images of one overlay are asked of the loader
// once, not at every step of a movement, and again when the loader has finished files since; a
// file still loading leaves the signal's symbol meanwhile.
class SignalTextures
{
public:
    // The distinct image files one paint shows at most, in the order of the signal list.
    static constexpr int maxTextureFiles = 256;

    void setLoader(TextureLoader *loader) { m_loader = loader; }
    TextureLoader *loader() const { return m_loader; }

    // Looks up the image of each signal of the overlay, once per file; again only when the
    // overlay, the loader's epoch or the mode changed.
    void lookUp(const MapOverlay &overlay, quint64 generation, bool images);
    // The image of a signal, by position in the signal list of the last lookup (null for a
    // symbol).
    const QImage &image(int signal) const
    {
        const int file = m_fileOf[signal];
        return file >= 0 ? m_files[file].image : m_none;
    }
    // The lit colour of a signal's image, from the last lookup that asked for images: read once
    // per image file; neutral grey for a signal without image or state, or an image without a
    // clear lit colour.
    const QColor &litColour(int signal) const
    {
        const int file = m_fileOf[signal];
        return file >= 0 ? m_files[file].lit : m_neutral;
    }
    // The files of the last lookup: a signal's file (-1 for none) and a file's lit colour.
    int fileOf(int signal) const { return m_fileOf[signal]; }
    int fileCount() const { return int(m_files.size()); }
    const QColor &fileLitColour(int file) const { return m_files[file].lit; }
    // The loader's epoch at the last lookup.
    quint64 epoch() const { return m_epoch; }
    // The last lookup met images still loading.
    bool pending() const { return m_pending; }

    // Draws the image into the spot; scaled once with smoothing and kept, since scaling hundreds
    // of images at every paint costs more than the rest of the signal layer.
    void draw(QPainter *painter, const QRectF &spot, const QImage &texture);

private:
    // The lit colour of a file's image, worked out once per file (neutral without image).
    QColor litOf(const QString &path, const QImage &image);

    TextureLoader *m_loader = &TextureLoader::shared();
    struct File
    {
        QImage image; // null while loading
        QColor lit;
    };
    QVector<File> m_files; // the files of the last lookup
    QVector<int> m_fileOf; // by position in the overlay's signal list: its file, -1 for none
    QImage m_none;
    QColor m_neutral;
    QHash<QString, QColor> m_litByFile; // files decoded so far
    quint64 m_generation = ~quint64(0);
    quint64 m_epoch = ~quint64(0);
    bool m_asked = false; // the lookup asked for images at all
    std::atomic<bool> m_pending{false};
    // Images at the size they are drawn, by decoded image and size: drawing them is then a copy.
    QHash<QPair<qint64, QSize>, QImage> m_scaled;
};
