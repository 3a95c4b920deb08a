#pragma once

#include "MapCamera.h"
#include "MapPaintScene.h"

#include <QImage>
#include <QLineF>
#include <QPainter>
#include <QRectF>
#include <QVector>

class MapSymbols;

// The selected train's calculated path (points, not joined) and the track usage: reservations as
// circles, occupations as squares, or with the level of detail by density strokes along the
// tracks. The overlay holds only what its data let show.
class MapUsageLayer
{
public:
    // Draws what reaches into the area (item pixels). network: the network image that the painter
    // holds exactly at this camera under the layers, when it does; the strokes over it are then
    // kept, and only the tiles where they changed since the last paint are drawn again.
    void paint(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
               MapSymbols &symbols, const QImage *network = nullptr);

private:
    static constexpr int tile = 32; // pixels of one tile of the kept strokes
    // The strokes of both lists, reservations first, each in list order.
    struct Strokes
    {
        QVector<QLineF> lines;
        QVector<int> nodes;     // by stroke
        QVector<int> firstLine; // by stroke, and one past the last stroke's lines
        QVector<QRect> bounds;  // by stroke: the pixels its lines may touch
        int reservations = 0;   // strokes of the reservation list
    };
    static void addStrokes(Strokes &strokes, const MapPaintScene &scene, const QRectF &area,
                           const QVector<int> &nodes, double width);
    // Whether the network image and the painter let the kept strokes stand for drawing them.
    bool keepable(const QPainter *painter, const MapPaintScene &scene, const QRectF &area,
                  const QImage *network) const;
    void paintKept(QPainter *painter, const MapPaintScene &scene, const QImage &network);
    // The tiles of the kept image: by tile, the strokes over it in drawing order (order, from
    // starts) and what they show as one number.
    struct Tiles
    {
        int columns = 0;
        QVector<quint64> hashes;
        QVector<int> starts;
        QVector<int> order;
    };
    static Tiles tilesOf(const Strokes &strokes, const QSize &size);
    // Draws again the tiles of the kept image whose strokes changed; false when too many did.
    bool patch(const Strokes &strokes, const Tiles &tiles, const QImage &network,
               QPainter::RenderHints hints);

    QImage m_kept; // the network image with the strokes over it
    qint64 m_networkKey = 0;
    MapCamera m_camera;
    QSizeF m_size;
    bool m_keptValid = false;
    QVector<quint64> m_tileHashes; // by tile: the strokes drawn on it, in order
};
