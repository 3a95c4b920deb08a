#pragma once

#include "MapNetwork.h"

#include <QPointF>
#include <QSizeF>

#include <cmath>

// The map's view: the map point shown at the middle of the item and the scale in screen pixels
// per world unit. Map coordinates are world coordinates with y flipped, so world y grows upwards
// on the screen.
class MapCamera
{
public:
    static constexpr double minimumScale = 1e-7;
    static constexpr double maximumZoomScale = 50.0;

    MapCamera() = default;
    MapCamera(const QPointF &centre, double scale) : m_centre(centre), m_scale(scale) {}

    QPointF centre() const { return m_centre; }
    double scale() const { return m_scale; }
    bool operator==(const MapCamera &other) const
    {
        return m_centre.x() == other.m_centre.x() && m_centre.y() == other.m_centre.y() &&
               m_scale == other.m_scale;
    }
    bool operator!=(const MapCamera &other) const { return !(*this == other); }

    QPointF toScreen(double worldX, double worldY, const QSizeF &itemSize) const
    {
        return QPointF((worldX - m_centre.x()) * m_scale + itemSize.width() / 2,
                       (-worldY - m_centre.y()) * m_scale + itemSize.height() / 2);
    }

    // Frames the bounds in an item of this size, leaving `margins` (in all, across and down)
    // around them, at most a third of each side; false (nothing changed) below 1 x 1 pixel or
    // without valid bounds.
    bool fit(const MapNetwork::Bounds &bounds, const QSizeF &itemSize,
             const QSizeF &margins = defaultFitMargins);
    static constexpr QSizeF defaultFitMargins = QSizeF(50, 90);
    // Moves the view so that the drawing follows a pointer displacement in screen pixels.
    void move(double dx, double dy);
    // Zooms about a screen point, keeping the map point under it in place.
    void zoomAt(double factor, double x, double y, const QSizeF &itemSize);
    // Centres on a world point with a scale that shows about 3000 world units; false (nothing
    // changed) for a point that is not a number, which would lose the view for good.
    bool focus(double worldX, double worldY, const QSizeF &itemSize);

    // A screen point counts as on screen within a 20-pixel margin around the item.
    static bool isOnScreen(const QPointF &point, const QSizeF &itemSize)
    {
        return point.x() > -20 && point.x() < itemSize.width() + 20 && point.y() > -20 &&
               point.y() < itemSize.height() + 20;
    }

    // Screen coordinates that the drawing converts or hands to the painter: finite and within a
    // million pixels. Anything else (a node that is not a number, a huge geometry) is dropped or
    // cut to this range first: neither a conversion to whole pixels nor the painter's precision
    // holds beyond it.
    static constexpr double coordinateLimit = 1e6;
    static bool isDrawable(const QPointF &point)
    {
        return std::abs(point.x()) < coordinateLimit && std::abs(point.y()) < coordinateLimit;
    }

private:
    QPointF m_centre;
    double m_scale = 1.0;
};
