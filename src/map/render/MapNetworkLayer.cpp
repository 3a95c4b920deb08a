#include "MapNetworkLayer.h"

#include "MapStyle.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

bool isFinite(const QPointF &point)
{
    return std::isfinite(point.x()) && std::isfinite(point.y());
}

// Cuts the segment a–b to the rectangle; false when nothing of it lies inside. Each end is moved
// along the segment from its own side, so that a segment thousands of orders of magnitude longer
// than the rectangle keeps the precision of its part inside.
bool clipSegment(QPointF &a, QPointF &b, const QRectF &rect)
{
    if (!isFinite(a) || !isFinite(b))
        return false;
    const auto clipAxis = [](double &a1, double &a2, double &b1, double &b2, double low,
                             double high) {
        // a1, b1 along the axis being cut; a2, b2 the other coordinate.
        if (a1 > b1) {
            std::swap(a1, b1);
            std::swap(a2, b2);
        }
        if (b1 < low || a1 > high)
            return false;
        const double slope = b1 != a1 ? (b2 - a2) / (b1 - a1) : 0;
        if (a1 < low) {
            a2 += (low - a1) * slope;
            a1 = low;
        }
        if (b1 > high) {
            b2 -= (b1 - high) * slope;
            b1 = high;
        }
        return std::isfinite(a2) && std::isfinite(b2);
    };
    double ax = a.x(), ay = a.y(), bx = b.x(), by = b.y();
    if (!clipAxis(ax, ay, bx, by, rect.left(), rect.right()) ||
        !clipAxis(ay, ax, by, bx, rect.top(), rect.bottom()))
        return false;
    a = QPointF(ax, ay);
    b = QPointF(bx, by);
    return true;
}

} // namespace

void MapNetworkLayer::draw(QPainter *painter, const MapNetwork &network, const MapCamera &camera,
                           const QSizeF &size, const QVector<QRectF> &areas)
{
    const QVector<SdkTrackNode> &nodes = network.nodes();
    QVector<QPointF> points(nodes.size());
    for (int i = 0; i < nodes.size(); ++i)
        points[i] = camera.toScreen(nodes[i].x, nodes[i].y, size);
    const QRectF view(0, 0, size.width(), size.height());
    const bool clipped = areas.size() != 1 || areas.first() != view;

    const bool junctions = camera.scale() > junctionScale;
    if (junctions && !m_junctionStamp.isValid()) {
        // Thousands of identical dots: stamped (see SymbolStamp), the image has no scaling.
        m_junctionStamp = SymbolStamp(
            QRect(-5, -5, 11, 11),
            [](QPainter *dotPainter, const QPointF &point) {
                dotPainter->setPen(MapStyle::linePen(MapStyle::junction, 1.4));
                dotPainter->setBrush(MapStyle::background);
                dotPainter->drawEllipse(point, 3.0, 3.0);
            },
            0);
    }

    for (const QRectF &area : areas) {
        if (clipped)
            painter->setClipRect(area);
        drawEdges(painter, network, points, area, camera.scale());
        if (junctions)
            drawJunctions(painter, network, points, area, view);
    }
    if (clipped)
        painter->setClipping(false);
}

void MapNetworkLayer::drawEdges(QPainter *painter, const MapNetwork &network,
                                const QVector<QPointF> &points, const QRectF &area, double scale)
{
    // Zoomed out, where the network is dense and junctions are not drawn, the edges are one pixel
    // wide: the rasteriser's thin-line path draws them in less than half the time, and a
    // 1.3-pixel edge looks no different among thousands.
    painter->setPen(MapStyle::linePen(MapStyle::edge, scale > junctionScale ? 1.3 : 1.0));
    // Lines of one pen are handed over in batches: the same strokes, fewer calls.
    QVector<QLineF> batch;
    batch.reserve(1024);
    const QRectF cut = area.adjusted(-4, -4, 4, 4);
    // The rectangle spanned by an edge's ends, grown by 2 pixels, must meet the area.
    const double left = area.left() - 2, right = area.right() + 2;
    const double top = area.top() - 2, bottom = area.bottom() + 2;
    for (const MapNetwork::Edge &edge : network.edges()) {
        QPointF pa = points[edge.a];
        QPointF pb = points[edge.b];
        const double minX = std::min(pa.x(), pb.x()), maxX = std::max(pa.x(), pb.x());
        const double minY = std::min(pa.y(), pb.y()), maxY = std::max(pa.y(), pb.y());
        if (!(minX < right && maxX > left && minY < bottom && maxY > top))
            continue;
        // Far or broken ends are cut to the area first, or the edge is dropped.
        if (!(MapCamera::isDrawable(pa) && MapCamera::isDrawable(pb)) && !clipSegment(pa, pb, cut))
            continue;
        batch.append(QLineF(pa, pb));
        if (batch.size() == 1024) {
            painter->drawLines(batch);
            batch.clear();
        }
    }
    if (!batch.isEmpty())
        painter->drawLines(batch);
}

void MapNetworkLayer::drawJunctions(QPainter *painter, const MapNetwork &network,
                                    const QVector<QPointF> &points, const QRectF &area,
                                    const QRectF &view)
{
    const QVector<quint32> &degrees = network.degrees();
    const SymbolStamp::Target target = SymbolStamp::targetOf(painter);
    // A dot just outside the area reaches into it (the painter clips it to the area), and a part
    // of the item draws the dots that the whole item draws.
    const QRectF reach = area.adjusted(-6, -6, 6, 6);
    for (int i = 0; i < points.size(); ++i) {
        // QRectF::contains takes a point that is not a number: it is dropped first.
        if (degrees[i] > 2 && MapCamera::isDrawable(points[i]) && reach.contains(points[i]) &&
            view.contains(points[i]))
            m_junctionStamp.stamp(painter, target, points[i]);
    }
}
