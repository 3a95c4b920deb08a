#include "MapUsageLayer.h"

#include "MapSymbols.h"

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
    for (const int node : overlay.reservationNodes) {
        if (onScreen(node, &point))
            symbols.reservation(painter, point);
    }
    for (const int node : overlay.occupationNodes) {
        if (onScreen(node, &point))
            symbols.occupation(painter, point);
    }
}
