#pragma once

#include "MapOverlay.h"

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QVector>

#include <optional>

// Where each signal image of a paint goes beside its track: only where it fits inside the item,
// clear of the others (TexturePlacer); where none is left the signal shows its symbol, as without
// an image. Placement depends only on the camera, the item's size, the signal size and the
// sequence of track points and image sizes, so a paint that has them all unchanged (a new data map
// of the same railway, a blinking signal) uses the spots again; while the view moves, each image
// keeps its spot beside its track point until the view rests.
class SignalSpots
{
public:
    // A signal shown with its image, in list order.
    struct Image
    {
        int index; // in the overlay's signal list
        QPointF point;
        QSizeF target; // the size it is drawn at
        QImage texture;
    };

    // The spot of each image (nothing where none is free). key stands for everything placement
    // depends on; texturesEpoch for the images looked up: images that arrived from the loader
    // since the last placement are placed at once, even while the view moves.
    // keep: only spots within one step of the signal, and an image placed before keeps its spot
    // while that is still free and inside the item, so that the images do not shuffle.
    QVector<std::optional<QRectF>> place(const QVector<Image> &images,
                                         const QVector<MapOverlay::Signal> &marks,
                                         const QSizeF &itemSize, double signalSize, bool moving,
                                         size_t key, quint64 texturesEpoch, bool keep = false);

private:
    struct Spot
    {
        int node = -1;
        QSizeF size;
        QPointF offset; // from the track point to the spot's top left
        bool placed = false;
    };
    QVector<Spot> m_spots; // by position in the overlay's signal list
    size_t m_key = 0;
    quint64 m_epoch = 0; // the loader's epoch of the textures placed
    bool m_valid = false;
};
