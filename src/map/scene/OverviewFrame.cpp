#include "OverviewFrame.h"

#include <algorithm>
#include <cmath>

namespace {
// A network narrower than this (one node, a straight line) is framed as if it were this wide.
constexpr double smallestSpan = 1.0;

double spanOf(double low, double high)
{
    return std::max(high - low, smallestSpan);
}
} // namespace

OverviewFrame::OverviewFrame(const MapNetwork::Bounds &bounds, const QSizeF &size)
    : m_bounds(bounds), m_size(size)
{
    const double width = size.width() - 2 * margin;
    const double height = size.height() - 2 * margin;
    if (!bounds.valid || !(width >= 1) || !(height >= 1) || !std::isfinite(width) ||
        !std::isfinite(height))
        return;
    const double scale = std::min(width / spanOf(bounds.minX, bounds.maxX),
                                  height / spanOf(bounds.minY, bounds.maxY));
    // Bounds wider than the largest double give a scale of 0: nothing could be told apart.
    if (!(scale > 0) || !std::isfinite(scale))
        return;
    m_camera = MapCamera(
        QPointF(bounds.minX / 2 + bounds.maxX / 2, bounds.minY / 2 + bounds.maxY / 2), scale);
    m_valid = true;
}

std::optional<QPointF> OverviewFrame::toMap(const QPointF &insetPoint) const
{
    if (!m_valid || !std::isfinite(insetPoint.x()) || !std::isfinite(insetPoint.y()))
        return std::nullopt;
    const QPointF fromMiddle(insetPoint.x() - m_size.width() / 2,
                             insetPoint.y() - m_size.height() / 2);
    const QPointF point = m_camera.centre() + fromMiddle / m_camera.scale();
    return QPointF(std::clamp(point.x(), m_bounds.minX, m_bounds.maxX),
                   std::clamp(point.y(), m_bounds.minY, m_bounds.maxY));
}

QRectF OverviewFrame::viewRect(const MapCamera &view, const QSizeF &viewSize) const
{
    const QPointF half(viewSize.width() / 2 / view.scale(), viewSize.height() / 2 / view.scale());
    return QRectF(toInset(view.centre() - half), toInset(view.centre() + half));
}

bool OverviewFrame::showsWhole(const MapNetwork::Bounds &bounds, const MapCamera &view,
                               const QSizeF &viewSize)
{
    if (!bounds.valid)
        return false;
    // Half a pixel of tolerance: a framed view is exact only to the last bit.
    const double slack = 0.5 / view.scale();
    const double halfWidth = viewSize.width() / 2 / view.scale() + slack;
    const double halfHeight = viewSize.height() / 2 / view.scale() + slack;
    const QPointF c = view.centre();
    // Written so that a value that is not a number answers false.
    return bounds.minX >= c.x() - halfWidth && bounds.maxX <= c.x() + halfWidth &&
           bounds.minY >= c.y() - halfHeight && bounds.maxY <= c.y() + halfHeight;
}

QSizeF OverviewFrame::insetSize(const MapNetwork::Bounds &bounds, double longSide, double shortSide)
{
    const double wide = bounds.valid ? spanOf(bounds.minX, bounds.maxX) : smallestSpan;
    const double high = bounds.valid ? spanOf(bounds.minY, bounds.maxY) : smallestSpan;
    const auto other = [&](double ratio) {
        const double side = longSide * ratio;
        return std::isfinite(side) ? std::clamp(side, std::min(shortSide, longSide), longSide)
                                   : longSide;
    };
    return wide >= high ? QSizeF(longSide, other(high / wide))
                        : QSizeF(other(wide / high), longSide);
}
