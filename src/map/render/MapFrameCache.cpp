#include "MapFrameCache.h"

#include "MapStyle.h"

#include <QPainter>

#include <cmath>
#include <cstring>

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

bool MapFrameCache::wholePixelMove(const MapCamera &from, const MapCamera &to, const QSize &size,
                                   QPoint *by)
{
    if (to.scale() != from.scale())
        return false;
    const QPointF offset = (from.centre() - to.centre()) * to.scale();
    // Far beyond the image, or not a number: no whole number of pixels to move by.
    if (!(std::abs(offset.x()) < size.width() + 1) || !(std::abs(offset.y()) < size.height() + 1))
        return false;
    const QPoint rounded(qRound(offset.x()), qRound(offset.y()));
    if (by)
        *by = rounded;
    // A drag moves by whole pixels; the camera's centre keeps them up to its rounding.
    return std::abs(offset.x() - rounded.x()) < pixelRounding &&
           std::abs(offset.y() - rounded.y()) < pixelRounding;
}

void MapFrameCache::movePixels(QImage &image, const QPoint &by)
{
    const int keptWidth = image.width() - std::abs(by.x());
    if (keptWidth <= 0 || std::abs(by.y()) >= image.height())
        return;
    const int from = std::max(0, -by.x()) * 4;
    const int to = std::max(0, by.x()) * 4;
    const qsizetype line = image.bytesPerLine();
    uchar *bits = image.bits();
    const auto moveRow = [&](int y) {
        std::memmove(bits + y * line + to, bits + (y - by.y()) * line + from,
                     size_t(keptWidth) * 4);
    };
    if (by.y() > 0) {
        for (int y = image.height() - 1; y >= by.y(); --y)
            moveRow(y);
    } else {
        for (int y = 0; y < image.height() + by.y(); ++y)
            moveRow(y);
    }
}

QVector<QRect> MapFrameCache::uncoveredStrips(const QSize &size, const QPoint &by, int redrawn)
{
    // The strips do not overlap: antialiased pixels drawn twice would not be the same. At the
    // edges that the move leaves, `redrawn` pixels are drawn again too: the image's edge cut lines
    // there, the new view's edge cuts them here.
    const int width = size.width();
    const int height = size.height();
    QVector<QRect> strips;
    // Columns drawn again over the whole height, on the left and on the right.
    int left = 0, right = 0;
    if (by.x()) {
        left = std::min(width, by.x() > 0 ? by.x() + redrawn : redrawn);
        right = std::min(width - left, by.x() < 0 ? redrawn - by.x() : redrawn);
    }
    if (left)
        strips.append(QRect(0, 0, left, height));
    if (right)
        strips.append(QRect(width - right, 0, right, height));
    const int middle = width - left - right;
    if (by.y() && middle > 0) {
        const int top = std::min(height, by.y() > 0 ? by.y() + redrawn : redrawn);
        const int bottom = std::min(height - top, by.y() < 0 ? redrawn - by.y() : redrawn);
        if (top)
            strips.append(QRect(left, 0, middle, top));
        if (bottom)
            strips.append(QRect(left, height - bottom, middle, bottom));
    }
    return strips;
}

bool MapFrameCache::CameraImage::shiftTo(const MapCamera &target, const NetworkDrawer &drawStrips,
                                         int redrawn)
{
    // Left as it is (out of the image) where the move is not a number or far beyond the image.
    QPoint by(image.width(), image.height());
    const bool whole = wholePixelMove(camera, target, image.size(), &by);
    if (target.scale() != camera.scale() || !(std::abs(by.x()) < image.width()) ||
        !(std::abs(by.y()) < image.height()))
        return false;
    // Moved by whole pixels, the image shows this camera (or, moved by a fraction more, the one
    // beside it); only the strips it uncovers are drawn, and redrawn pixels more into what it
    // keeps.
    const MapCamera moved =
        whole ? target : MapCamera(camera.centre() - QPointF(by) / camera.scale(), camera.scale());
    if (by.isNull()) {
        camera = moved;
        return true;
    }
    QVector<QRectF> uncovered;
    for (const QRect &strip : uncoveredStrips(image.size(), by, redrawn))
        uncovered.append(strip);
    movePixels(image, by);
    QPainter painter(&image);
    for (const QRectF &strip : std::as_const(uncovered))
        painter.fillRect(strip, MapStyle::background);
    painter.setRenderHint(QPainter::Antialiasing, true);
    drawStrips(&painter, moved, uncovered);
    painter.end();
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

bool MapFrameCache::needsNetworkRedraw(const MapCamera &camera, const QSizeF &size,
                                       const MapNetwork *network) const
{
    return networkRedrawNeeded({camera, size, false, 0, network});
}

bool MapFrameCache::networkRedrawNeeded(const Frame &frame) const
{
    // The image moved by whole pixels stays exact: its uncovered strips are drawn exactly, and
    // junctions a dot's reach beyond them again, those that came into the view included. A view
    // that rests a fraction of a pixel away needs the network drawn for it.
    const MapCamera &camera = frame.camera;
    return m_networkDirty || m_network.image.size() != wholePixels(frame.size) ||
           (!frame.moving && (!m_networkExact ||
                              (camera != m_network.camera &&
                               (!wholePixelMove(m_network.camera, camera, m_network.image.size()) ||
                                !networkWhollyInImage(frame)))));
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
        m_frame.shiftTo(camera, drawStrips, 0)) {
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
    const bool exactNeeded = networkRedrawNeeded(frame);
    if (!exactNeeded && camera == m_network.camera) {
        painter->drawImage(QPointF(0, 0), m_network.image);
    } else if (!exactNeeded && m_network.shiftTo(camera, network, edgeRedrawn)) {
        m_network.drawFor(painter, camera);
        counts.networkShifted = true;
    } else if (!exactNeeded && frame.moving) {
        // A zoom in progress: the image drawn for the earlier camera, scaled to the new one,
        // until the movement ends and the network is drawn again.
        painter->fillRect(QRectF(QPointF(0, 0), frame.size), MapStyle::background);
        m_network.drawScaled(painter, camera, frame.size);
        counts.networkScaled = true;
    } else {
        redrawNetwork(frame, network);
        counts.networkRedrawn = true;
        painter->drawImage(QPointF(0, 0), m_network.image);
    }
}

bool MapFrameCache::networkWhollyInImage(const Frame &frame) const
{
    if (!frame.network)
        return false;
    const MapNetwork::Bounds bounds = frame.network->mapBounds();
    if (!bounds.valid)
        return false;
    // Map coordinates have y flipped already; a junction's dot reaches a few pixels beyond.
    const QSizeF size = m_network.image.size();
    const QPointF centre(size.width() / 2, size.height() / 2);
    const QPointF low =
        (QPointF(bounds.minX, bounds.minY) - m_network.camera.centre()) * m_network.camera.scale() +
        centre;
    const QPointF high =
        (QPointF(bounds.maxX, bounds.maxY) - m_network.camera.centre()) * m_network.camera.scale() +
        centre;
    return QRectF(QPointF(0, 0), size)
        .adjusted(edgeRedrawn, edgeRedrawn, -edgeRedrawn, -edgeRedrawn)
        .contains(QRectF(low, high).normalized());
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
    ++m_networkDrawings;
    m_networkExact = true;
    m_networkDirty = false;
}
