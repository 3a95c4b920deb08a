#include "MapUsageLayer.h"

#include "MapStyle.h"
#include "MapSymbols.h"
#include "TrackStretch.h"

#include <QPainter>

namespace {
// Draws each track's stretch as a stroke in this colour, the strokes that reach into the area.
void strokes(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
             const QVector<int> &nodes, const QColor &colour, double width)
{
    QVector<QLineF> lines;
    lines.reserve(nodes.size() * 2);
    const QRectF reach = area.adjusted(-width, -width, width, width);
    for (const int node : nodes) {
        const TrackStretch stretch = TrackStretch::of(scene, node);
        if (!MapCamera::isDrawable(stretch.node))
            continue;
        const QRectF bounds = QRectF(stretch.start, stretch.end)
                                  .normalized()
                                  .united(QRectF(stretch.node, QSizeF(0, 0)));
        if (!bounds.adjusted(-1, -1, 1, 1).intersects(reach))
            continue;
        for (const QLineF &line :
             {QLineF(stretch.start, stretch.node), QLineF(stretch.node, stretch.end)}) {
            const double length = line.length();
            if (!(length > 0))
                continue;
            // Parallel lines one pixel apart, across the line: thin lines take the raster
            // engine's fast path, where one wide line would be stroked as a path.
            const QPointF across(-line.dy() / length, line.dx() / length);
            for (int k = 0; k < int(width); ++k)
                lines.append(line.translated(across * (k - (width - 1) / 2)));
        }
    }
    painter->setPen(MapStyle::linePen(colour, 1));
    painter->drawLines(lines);
}
} // namespace

void MapUsageLayer::paint(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
                          MapSymbols &symbols)
{
    const MapOverlay &overlay = *scene.overlay;
    // Symbols reach at most this far from their point; a part of the item draws only theirs.
    const QRectF reach = area.adjusted(-24, -24, 24, 24);
    const auto onScreen = [&](int node, QPointF *point) {
        *point = scene.screenPoint(node);
        return MapCamera::isOnScreen(*point, scene.size) && reach.contains(*point);
    };
    QPointF point;
    if (scene.showCalculatedPath && overlay.pathShown) {
        for (const int node : overlay.pathNodes) {
            if (onScreen(node, &point))
                symbols.pathPoint(painter, point);
        }
    }
    if (scene.byDensity) {
        // Strokes along the tracks: they do not cover one another at any zoom, and an occupied
        // track stays red over its reservation.
        strokes(painter, scene, area, overlay.reservationNodes, MapStyle::reservation, 3);
        strokes(painter, scene, area, overlay.occupationNodes, MapStyle::occupation, 3);
        return;
    }
    for (const int node : overlay.reservationNodes) {
        if (onScreen(node, &point))
            symbols.reservation(painter, point);
    }
    for (const int node : overlay.occupationNodes) {
        if (onScreen(node, &point))
            symbols.occupation(painter, point);
    }
}
