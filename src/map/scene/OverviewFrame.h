#pragma once

#include "MapCamera.h"
#include "MapNetwork.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

// The overview inset's picture of the whole network: the network's bounds framed in the inset
// with a margin, as a camera of its own, and the way back from an inset point to the map point it
// shows. Points are map coordinates (world y flipped), as the map's camera centre is.
class OverviewFrame
{
public:
    // Pixels kept free around the network inside the inset.
    static constexpr double margin = 6;

    OverviewFrame() = default;
    // Invalid without valid bounds, for an inset under 2 × margin + 1 pixels or for bounds too
    // large to be measured.
    OverviewFrame(const MapNetwork::Bounds &bounds, const QSizeF &size);

    bool isValid() const { return m_valid; }
    QSizeF size() const { return m_size; }
    // The camera that draws the network into the inset.
    const MapCamera &camera() const { return m_camera; }

    QPointF toInset(const QPointF &mapPoint) const
    {
        return m_camera.toScreen(mapPoint.x(), -mapPoint.y(), m_size);
    }
    // The map point under an inset point, held inside the network's bounds (a drag out of the
    // inset follows its edge); none for a point that is not a number or an invalid frame.
    std::optional<QPointF> toMap(const QPointF &insetPoint) const;
    // The rectangle that a map view of this camera and size shows, in inset pixels.
    QRectF viewRect(const MapCamera &view, const QSizeF &viewSize) const;

    // Whether a map view of this camera and size shows the whole network: then the inset would
    // show nothing more and is not needed. False without valid bounds.
    static bool showsWhole(const MapNetwork::Bounds &bounds, const MapCamera &view,
                           const QSizeF &viewSize);
    // The inset's size for a network: its longer side is longSide, the other follows the
    // network's proportions, but not under shortSide.
    static QSizeF insetSize(const MapNetwork::Bounds &bounds, double longSide, double shortSide);

private:
    MapNetwork::Bounds m_bounds;
    QSizeF m_size;
    MapCamera m_camera;
    bool m_valid = false;
};
