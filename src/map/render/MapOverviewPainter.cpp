#include "MapOverviewPainter.h"

#include "TrackStretch.h"

#include <QLineF>
#include <QPainter>

#include <cmath>

namespace {
// The inset's area per occupied stretch below which the stretches are drawn as points.
constexpr double crowdedStretchArea = 40;
} // namespace

void MapOverviewPainter::paint(QPainter *painter, const Scene &scene, const Style &style)
{
    if (!scene.network || !scene.frame.isValid())
        return;
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (scene.frame.size() * ratio).toSize();
    if (m_picture.isNull() || m_picture.size() != pixels || m_pictureColour != style.track ||
        m_pictureCamera != scene.frame.camera())
        drawPicture(scene, style.track, ratio);
    painter->save();
    painter->drawImage(QPointF(0, 0), m_picture);
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setClipRect(QRectF(QPointF(0, 0), scene.frame.size()));
    drawOccupied(painter, scene, style);
    drawView(painter, scene, style);
    painter->restore();
}

void MapOverviewPainter::drawPicture(const Scene &scene, const QColor &track, qreal pixelRatio)
{
    ++m_pictureDraws;
    m_pictureColour = track;
    m_pictureCamera = scene.frame.camera();
    const QSizeF size = scene.frame.size();
    m_picture = QImage((size * pixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    m_picture.setDevicePixelRatio(pixelRatio);
    m_picture.fill(Qt::transparent);
    const QVector<SdkTrackNode> &nodes = scene.network->nodes();
    QVector<QLineF> lines;
    lines.reserve(scene.network->edges().size());
    for (const MapNetwork::Edge &edge : scene.network->edges()) {
        const QPointF a = scene.frame.camera().toScreen(nodes[edge.a].x, nodes[edge.a].y, size);
        const QPointF b = scene.frame.camera().toScreen(nodes[edge.b].x, nodes[edge.b].y, size);
        if (MapCamera::isDrawable(a) && MapCamera::isDrawable(b))
            lines.append(QLineF(a, b));
    }
    QPainter picture(&m_picture);
    picture.setRenderHint(QPainter::Antialiasing, true);
    picture.setPen(QPen(track, 1.0, Qt::SolidLine, Qt::RoundCap));
    picture.drawLines(lines);
    // A network without edges (one node, nodes that link nowhere) still shows where it lies.
    if (lines.isEmpty()) {
        picture.setPen(QPen(track, 3.0, Qt::SolidLine, Qt::RoundCap));
        for (const SdkTrackNode &node : nodes) {
            const QPointF p = scene.frame.camera().toScreen(node.x, node.y, size);
            if (MapCamera::isDrawable(p))
                picture.drawPoint(p);
        }
    }
}

void MapOverviewPainter::drawOccupied(QPainter *painter, const Scene &scene, const Style &style)
{
    if (!scene.occupied || scene.occupied->isEmpty())
        return;
    // A busy world's occupied stretches would cover the whole inset: each is then a faint point
    // at its track, so that the network and the view stay visible under them.
    const QSizeF size = scene.frame.size();
    const bool crowded = scene.occupied->size() * crowdedStretchArea > size.width() * size.height();
    MapPaintScene inset;
    inset.network = scene.network;
    inset.camera = scene.frame.camera();
    inset.size = scene.frame.size();
    const int count = int(scene.network->nodes().size());
    QVector<QLineF> lines;
    lines.reserve(2 * scene.occupied->size());
    for (const int node : *scene.occupied) {
        // The occupations may still be those read for the network before this one.
        if (node < 0 || node >= count)
            continue;
        const TrackStretch stretch = TrackStretch::of(inset, node);
        if (!MapCamera::isDrawable(stretch.node))
            continue;
        if (crowded) {
            lines.append(QLineF(stretch.node, stretch.node + QPointF(0.5, 0)));
            continue;
        }
        // A stretch shorter than a pixel still shows as a dot.
        const QPointF nudge = stretch.start == stretch.end ? QPointF(0.5, 0) : QPointF();
        lines.append(QLineF(stretch.start - nudge, stretch.node));
        lines.append(QLineF(stretch.node, stretch.end + nudge));
    }
    QColor colour = style.occupation;
    if (crowded)
        colour.setAlphaF(colour.alphaF() * 0.6);
    painter->setPen(QPen(colour, crowded ? 1.0 : 2.0, Qt::SolidLine, Qt::RoundCap));
    painter->drawLines(lines);
}

void MapOverviewPainter::drawView(QPainter *painter, const Scene &scene, const Style &style)
{
    QRectF view = scene.frame.viewRect(scene.view, scene.viewSize).normalized();
    if (!std::isfinite(view.width()) || !std::isfinite(view.height()))
        return;
    // Held to a million pixels (a view far from the network) and to a readable size.
    const double limit = MapCamera::coordinateLimit;
    view = view.intersected(QRectF(-limit, -limit, 2 * limit, 2 * limit));
    const QPointF middle = view.center();
    view.setWidth(std::max(view.width(), style.smallestView));
    view.setHeight(std::max(view.height(), style.smallestView));
    view.moveCenter(middle);
    painter->setPen(QPen(style.view, style.viewWidth));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(view);
}
