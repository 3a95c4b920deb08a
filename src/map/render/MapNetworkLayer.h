#pragma once

#include "MapCamera.h"
#include "MapNetwork.h"
#include "SymbolStamp.h"

#include <QPointF>
#include <QRectF>
#include <QVector>

class QPainter;

// The network: track edges and, zoomed in far enough, junction dots where more than two links
// meet. Drawn into the frame cache's network image, whole or in the strips a movement uncovers.
class MapNetworkLayer
{
public:
    // Junction dots are drawn above this scale only.
    static constexpr double junctionScale = 0.05;

    // Draws what reaches into the areas (item pixels) of an item of this size.
    void draw(QPainter *painter, const MapNetwork &network, const MapCamera &camera,
              const QSizeF &size, const QVector<QRectF> &areas);

private:
    static void drawEdges(QPainter *painter, const MapNetwork &network,
                          const QVector<QPointF> &points, const QRectF &area, double scale);
    void drawJunctions(QPainter *painter, const MapNetwork &network, const QVector<QPointF> &points,
                       const QRectF &area, const QRectF &view);

    SymbolStamp m_junctionStamp;
};
