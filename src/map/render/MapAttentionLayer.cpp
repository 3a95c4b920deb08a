#include "MapAttentionLayer.h"

#include "MapStyle.h"

#include <QPainter>
#include <QPolygonF>

void MapAttentionLayer::paint(QPainter *painter, const MapPaintScene &scene)
{
    const MapOverlay &overlay = *scene.overlay;
    if (overlay.attention.isEmpty())
        return;
    painter->setBrush(Qt::NoBrush);
    painter->setPen(MapStyle::linePen(MapStyle::deadlockLoop, MapStyle::deadlockLoopWidth));
    for (const QVector<int> &loop : overlay.deadlocks) {
        QPolygonF polygon;
        for (const int node : loop)
            polygon.append(scene.screenPoint(node));
        painter->drawPolygon(polygon);
    }
    for (const MapOverlay::Attention &train : overlay.attention) {
        const QPointF point = scene.screenPoint(train.node);
        if (!MapCamera::isOnScreen(point, scene.size))
            continue;
        const QColor &colour = train.state == MapOverlay::AttentionState::Held ? MapStyle::heldRing
                               : train.state == MapOverlay::AttentionState::Stalled
                                   ? MapStyle::stalledRing
                                   : MapStyle::deadlockLoop;
        painter->setPen(MapStyle::linePen(colour, MapStyle::attentionRingWidth));
        painter->drawEllipse(point, MapStyle::attentionRingRadius, MapStyle::attentionRingRadius);
    }
}
