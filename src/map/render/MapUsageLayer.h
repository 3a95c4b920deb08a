#pragma once

#include "MapPaintScene.h"

#include <QRectF>

class MapSymbols;
class QPainter;

// The selected train's calculated path (points, not joined) and the track usage: reservations as
// circles, occupations as squares. The overlay holds only what its data let show.
class MapUsageLayer
{
public:
    // Draws what reaches into the area (item pixels).
    static void paint(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
                      MapSymbols &symbols);
};
