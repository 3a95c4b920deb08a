#include "MapCamera.h"

#include <algorithm>
#include <cmath>

bool MapCamera::fit(const MapNetwork::Bounds &bounds, const QSizeF &itemSize, const QSizeF &margins)
{
    const double width = itemSize.width();
    const double height = itemSize.height();
    if (!(width >= 1) || !(height >= 1) || !bounds.valid)
        return false;
    // Halves first, so that coordinates near the largest doubles do not overflow.
    m_centre = QPointF(bounds.minX / 2 + bounds.maxX / 2, bounds.minY / 2 + bounds.maxY / 2);
    // On a short map (the normal window at 720 px high gives about 120 px) a fixed margin would
    // leave the network a sliver.
    const double across = std::min(margins.width(), width / 3);
    const double down = std::min(margins.height(), height / 3);
    const double horizontal = (width - across) / std::max(bounds.maxX - bounds.minX, 1.0);
    const double vertical = (height - down) / std::max(bounds.maxY - bounds.minY, 1.0);
    m_scale = std::max(minimumScale, std::min(horizontal, vertical));
    return true;
}

void MapCamera::move(double dx, double dy)
{
    m_centre -= QPointF(dx / m_scale, dy / m_scale);
}

void MapCamera::zoomAt(double factor, double x, double y, const QSizeF &itemSize)
{
    const QPointF d(x - itemSize.width() / 2, y - itemSize.height() / 2);
    const QPointF anchor = m_centre + d / m_scale;
    // std::clamp would let a NaN factor through; a factor of 0 or below ends at the lower bound.
    const double zoomed = m_scale * factor;
    m_scale = zoomed > minimumScale ? std::min(zoomed, maximumZoomScale) : minimumScale;
    m_centre = anchor - d / m_scale;
}

bool MapCamera::focus(double worldX, double worldY, const QSizeF &itemSize)
{
    if (!std::isfinite(worldX) || !std::isfinite(worldY))
        return false;
    m_centre = QPointF(worldX, -worldY);
    m_scale = std::max(0.05, std::min(itemSize.width(), itemSize.height()) / 3000);
    return true;
}
