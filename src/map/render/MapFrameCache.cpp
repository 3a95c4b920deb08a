#include "MapFrameCache.h"

#include "MapStyle.h"

#include <QPainter>

#include <cmath>

namespace {

bool isFinite(const QPointF &point)
{
    return std::isfinite(point.x()) && std::isfinite(point.y());
}

QSize wholePixels(const QSizeF &size)
{
    return QSize(int(size.width()), int(size.height()));
}

} // namespace

bool MapFrameCache::CameraImage::shiftTo(const MapCamera &target, const NetworkDrawer &drawStrips)
{
    const double scale = target.scale();
    const QPointF offset = (camera.centre() - target.centre()) * scale;
    const int width = image.width();
    const int height = image.height();
    // Moved out of the image entirely, or not a number: nothing to keep (and nothing to round).
    if (!(std::abs(offset.x()) < width + 1) || !(std::abs(offset.y()) < height + 1))
        return false;
    const QPoint by(qRound(offset.x()), qRound(offset.y()));
    if (std::abs(by.x()) >= width || std::abs(by.y()) >= height)
        return false;
    if (by.isNull())
        return true;
    // Moved by whole pixels, the image shows this camera; only the strips it uncovers are drawn.
    const MapCamera moved(camera.centre() - QPointF(by) / scale, scale);
    QVector<QRectF> uncovered;
    if (by.x() > 0)
        uncovered.append(QRectF(0, 0, by.x(), height));
    else if (by.x() < 0)
        uncovered.append(QRectF(width + by.x(), 0, -by.x(), height));
    if (by.y() > 0)
        uncovered.append(QRectF(0, 0, width, by.y()));
    else if (by.y() < 0)
        uncovered.append(QRectF(0, height + by.y(), width, -by.y()));

    QImage shifted(image.size(), image.format());
    shifted.fill(MapStyle::background);
    QPainter painter(&shifted);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(by, image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setRenderHint(QPainter::Antialiasing, true);
    drawStrips(&painter, moved, uncovered);
    painter.end();
    image = shifted;
    camera = moved;
    return true;
}

void MapFrameCache::CameraImage::drawFor(QPainter *painter, const MapCamera &target) const
{
    const QPointF rest = (camera.centre() - target.centre()) * target.scale();
    painter->drawImage(isFinite(rest) ? rest : QPointF(0, 0), image);
}

bool MapFrameCache::CameraImage::drawScaled(QPainter *painter, const MapCamera &target,
                                            const QSizeF &size) const
{
    const double factor = target.scale() / camera.scale();
    const QPointF half(size.width() / 2, size.height() / 2);
    const QPointF topLeft =
        ((-half) / camera.scale() + camera.centre() - target.centre()) * target.scale() + half;
    const QRectF scaled(topLeft, QSizeF(image.size()) * factor);
    // Scaled beyond what the painter can place, the image is not drawn at all.
    if (!(factor > 0) || !MapCamera::isDrawable(scaled.topLeft()) ||
        !MapCamera::isDrawable(scaled.bottomRight()))
        return false;
    const QRectF view(QPointF(0, 0), size);
    if (!scaled.contains(view))
        painter->fillRect(view, MapStyle::background);
    painter->drawImage(scaled, image);
    return true;
}

bool MapFrameCache::needsNetworkRedraw(const MapCamera &camera, const QSizeF &size) const
{
    return m_networkDirty || m_network.image.size() != wholePixels(size) || !m_networkExact ||
           camera != m_network.camera;
}

void MapFrameCache::paint(QPainter *painter, const Frame &frame, const NetworkDrawer &network,
                          const LayerDrawer &layers, MapPaintCounts &counts)
{
    // While the view moves and nothing else changes, the whole last frame moves with it: only the
    // strips it uncovers are drawn.
    const MapCamera &camera = frame.camera;
    const bool frameUsable = frame.moving && m_frameValid && m_frameKey == frame.key &&
                             !m_networkDirty && m_frame.image.size() == wholePixels(frame.size);
    const auto drawStrips = [&](QPainter *strips, const MapCamera &moved,
                                const QVector<QRectF> &areas) {
        network(strips, moved, areas);
        for (const QRectF &area : areas) {
            strips->setClipRect(area);
            layers(strips, moved, area);
        }
    };
    if (frameUsable && camera.scale() == m_frame.camera.scale() &&
        m_frame.shiftTo(camera, drawStrips)) {
        m_frame.drawFor(painter, camera);
        counts.frameShifted = true;
    } else if (frameUsable && camera.scale() != m_frame.camera.scale() &&
               m_frame.drawScaled(painter, camera, frame.size)) {
        // A zoom in progress: the last frame scaled, until the view rests.
        counts.frameScaled = true;
    } else {
        paintFresh(painter, frame, network, layers, counts);
    }
}

void MapFrameCache::paintFresh(QPainter *painter, const Frame &frame, const NetworkDrawer &network,
                               const LayerDrawer &layers, MapPaintCounts &counts)
{
    // A moving view keeps the frame it draws, to move it at the next step.
    QPainter framePainter;
    QPainter *target = painter;
    if (frame.moving) {
        if (m_frame.image.size() != wholePixels(frame.size))
            m_frame.image = QImage(wholePixels(frame.size), QImage::Format_RGB32);
        framePainter.begin(&m_frame.image);
        framePainter.setRenderHints(painter->renderHints());
        target = &framePainter;
    }
    paintNetwork(target, frame, network, counts);
    layers(target, frame.camera, QRectF(QPointF(0, 0), frame.size));
    if (frame.moving) {
        framePainter.end();
        painter->drawImage(QPointF(0, 0), m_frame.image);
        m_frame.camera = frame.camera;
        m_frameKey = frame.key;
    }
    m_frameValid = frame.moving;
}

void MapFrameCache::paintNetwork(QPainter *painter, const Frame &frame,
                                 const NetworkDrawer &network, MapPaintCounts &counts)
{
    const MapCamera &camera = frame.camera;
    const bool exactNeeded = m_networkDirty || m_network.image.size() != wholePixels(frame.size) ||
                             (!frame.moving && (!m_networkExact || camera != m_network.camera));
    if (exactNeeded) {
        redrawNetwork(frame, network);
        counts.networkRedrawn = true;
        painter->drawImage(QPointF(0, 0), m_network.image);
    } else if (camera == m_network.camera) {
        painter->drawImage(QPointF(0, 0), m_network.image);
    } else if (const MapCamera drawnFor = m_network.camera;
               camera.scale() == drawnFor.scale() && m_network.shiftTo(camera, network)) {
        // Shifted together from strips, it is no longer the exact drawing of its camera.
        m_networkExact = m_networkExact && m_network.camera == drawnFor;
        m_network.drawFor(painter, camera);
        counts.networkShifted = true;
    } else {
        // A zoom in progress: the image drawn for the earlier camera, scaled to the new one,
        // until the movement ends and the network is drawn again.
        painter->fillRect(QRectF(QPointF(0, 0), frame.size), MapStyle::background);
        m_network.drawScaled(painter, camera, frame.size);
        counts.networkScaled = true;
    }
}

void MapFrameCache::redrawNetwork(const Frame &frame, const NetworkDrawer &network)
{
    m_network.image = QImage(wholePixels(frame.size), QImage::Format_ARGB32_Premultiplied);
    m_network.image.fill(MapStyle::background);
    QPainter painter(&m_network.image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    network(&painter, frame.camera, {QRectF(QPointF(0, 0), frame.size)});
    painter.end();
    m_network.camera = frame.camera;
    m_networkExact = true;
    m_networkDirty = false;
}
