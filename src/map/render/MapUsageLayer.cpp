#include "MapUsageLayer.h"

#include "MapStyle.h"
#include "MapSymbols.h"
#include "TrackStretch.h"

#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr double strokeWidth = 3;
} // namespace

void MapUsageLayer::addStrokes(Strokes &strokes, const MapPaintScene &scene, const QRectF &area,
                               const QVector<int> &nodes, double width)
{
    // Each track's stretch as a stroke, the strokes that reach into the area.
    const QRectF reach = area.adjusted(-width, -width, width, width);
    for (const int node : nodes) {
        const TrackStretch stretch = TrackStretch::of(scene, node);
        if (!MapCamera::isDrawable(stretch.node))
            continue;
        // Start, node and end (a rectangle of no size would be left out of a union).
        const QRectF bounds(
            QPointF(std::min({stretch.start.x(), stretch.node.x(), stretch.end.x()}),
                    std::min({stretch.start.y(), stretch.node.y(), stretch.end.y()})),
            QPointF(std::max({stretch.start.x(), stretch.node.x(), stretch.end.x()}),
                    std::max({stretch.start.y(), stretch.node.y(), stretch.end.y()})));
        if (!bounds.adjusted(-1, -1, 1, 1).intersects(reach))
            continue;
        strokes.nodes.append(node);
        strokes.firstLine.append(int(strokes.lines.size()));
        // The parallel lines lie within a width of the stretch, and antialiasing a pixel beyond.
        // Kept within the range of int: a stretch may reach a node far off the screen.
        const QRectF touched = bounds.adjusted(-width - 2, -width - 2, width + 2, width + 2) &
                               QRectF(-1e7, -1e7, 2e7, 2e7);
        strokes.bounds.append(
            QRect(QPoint(int(std::floor(touched.left())), int(std::floor(touched.top()))),
                  QPoint(int(std::ceil(touched.right())), int(std::ceil(touched.bottom())))));
        for (const QLineF &line :
             {QLineF(stretch.start, stretch.node), QLineF(stretch.node, stretch.end)}) {
            const double length = line.length();
            if (!(length > 0))
                continue;
            // Parallel lines one pixel apart, across the line: thin lines take the raster
            // engine's fast path, where one wide line would be stroked as a path.
            const QPointF across(-line.dy() / length, line.dx() / length);
            for (int k = 0; k < int(width); ++k)
                strokes.lines.append(line.translated(across * (k - (width - 1) / 2)));
        }
    }
}

void MapUsageLayer::paint(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
                          MapSymbols &symbols, const QImage *network)
{
    const MapOverlay &overlay = *scene.overlay;
    if (keepable(painter, scene, area, network)) {
        paintKept(painter, scene, *network);
        return;
    }
    // Symbols reach at most this far from their point; a part of the item draws only theirs.
    const QRectF reach = area.adjusted(-24, -24, 24, 24);
    const auto onScreen = [&](int node, QPointF *point) {
        *point = scene.screenPoint(node);
        return MapCamera::isOnScreen(*point, scene.size) && reach.contains(*point);
    };
    QPointF point;
    if (scene.showCalculatedPath && overlay.pathShown) {
        for (const int node : overlay.pathNodes) {
            if (onScreen(node, &point))
                symbols.pathPoint(painter, point);
        }
    }
    if (scene.byDensity) {
        // Strokes along the tracks: they do not cover one another at any zoom, and an occupied
        // track stays red over its reservation.
        Strokes strokes;
        addStrokes(strokes, scene, area, overlay.reservationNodes, strokeWidth);
        const int reservationLines = int(strokes.lines.size());
        addStrokes(strokes, scene, area, overlay.occupationNodes, strokeWidth);
        painter->setPen(MapStyle::linePen(MapStyle::reservation, 1));
        painter->drawLines(strokes.lines.constData(), reservationLines);
        painter->setPen(MapStyle::linePen(MapStyle::occupation, 1));
        painter->drawLines(strokes.lines.constData() + reservationLines,
                           int(strokes.lines.size()) - reservationLines);
        return;
    }
    for (const int node : overlay.reservationNodes) {
        if (onScreen(node, &point))
            symbols.reservation(painter, point);
    }
    for (const int node : overlay.occupationNodes) {
        if (onScreen(node, &point))
            symbols.occupation(painter, point);
    }
}

bool MapUsageLayer::keepable(const QPainter *painter, const MapPaintScene &scene,
                             const QRectF &area, const QImage *network) const
{
    // The kept image stands for the strokes drawn over the network where the painter draws as
    // the raster engine into an image of the item's pixels, and nothing comes under the strokes
    // but the network (no path points).
    const QPaintDevice *device = painter->device();
    return network && scene.byDensity && area == scene.view() &&
           !(scene.showCalculatedPath && scene.overlay->pathShown) &&
           network->format() == QImage::Format_ARGB32_Premultiplied &&
           QSizeF(network->size()) == scene.size && device &&
           device->devType() == QInternal::Image && painter->paintEngine() &&
           painter->paintEngine()->type() == QPaintEngine::Raster &&
           painter->deviceTransform().isIdentity() && painter->opacity() == 1.0 &&
           painter->compositionMode() == QPainter::CompositionMode_SourceOver;
}

MapUsageLayer::Tiles MapUsageLayer::tilesOf(const Strokes &strokes, const QSize &size)
{
    // The strokes of each tile in drawing order (by counting), and what the tile shows as one
    // number: the same strokes in the same order give the same pixels.
    Tiles tiles;
    const int columns = (size.width() + tile - 1) / tile;
    const int rows = (size.height() + tile - 1) / tile;
    tiles.columns = columns;
    tiles.hashes.fill(0xcbf29ce484222325ull, columns * rows);
    tiles.starts.fill(0, columns * rows + 1);
    QVector<quint64> &hashes = tiles.hashes;
    QVector<int> &starts = tiles.starts;
    const auto forTiles = [&](const QRect &bounds, auto visit) {
        const int left = std::clamp(bounds.left() / tile, 0, columns - 1);
        const int right = std::clamp(bounds.right() / tile, 0, columns - 1);
        const int top = std::clamp(bounds.top() / tile, 0, rows - 1);
        const int bottom = std::clamp(bounds.bottom() / tile, 0, rows - 1);
        for (int row = top; row <= bottom; ++row)
            for (int column = left; column <= right; ++column)
                visit(row * columns + column);
    };
    for (int s = 0; s < strokes.bounds.size(); ++s) {
        // A stroke stands for its node and list: its lines follow from the camera.
        const quint64 identity = quint64(strokes.nodes[s]) << 1 | quint64(s < strokes.reservations);
        forTiles(strokes.bounds[s], [&](int t) {
            hashes[t] = (hashes[t] ^ identity) * 0x100000001b3ull;
            ++starts[t + 1];
        });
    }
    for (int t = 0; t < columns * rows; ++t)
        starts[t + 1] += starts[t];
    QVector<int> filled(starts.begin(), starts.end() - 1);
    tiles.order.resize(starts.back());
    for (int s = 0; s < strokes.bounds.size(); ++s)
        forTiles(strokes.bounds[s], [&](int t) { tiles.order[filled[t]++] = s; });
    return tiles;
}

void MapUsageLayer::paintKept(QPainter *painter, const MapPaintScene &scene, const QImage &network)
{
    const MapOverlay &overlay = *scene.overlay;
    Strokes strokes;
    addStrokes(strokes, scene, scene.view(), overlay.reservationNodes, strokeWidth);
    strokes.reservations = int(strokes.bounds.size());
    addStrokes(strokes, scene, scene.view(), overlay.occupationNodes, strokeWidth);
    strokes.firstLine.append(int(strokes.lines.size()));

    const Tiles tiles = tilesOf(strokes, network.size());
    const bool same = m_keptValid && m_networkKey == network.cacheKey() &&
                      m_camera == scene.camera && m_size == scene.size &&
                      m_kept.size() == network.size() && m_tileHashes.size() == tiles.hashes.size();
    const bool patched = same && patch(strokes, tiles, network, painter->renderHints());
    m_tileHashes = tiles.hashes;
    m_networkKey = network.cacheKey();
    m_camera = scene.camera;
    m_size = scene.size;
    m_keptValid = true;
    // The painter's image holds the network: the kept image goes there as a copy, opaque pixels
    // being the same in both formats, unless a clip asks for the painter.
    auto *target = static_cast<QImage *>(painter->device());
    const bool copied = !painter->hasClipping() && target->size() == network.size() &&
                        (target->format() == QImage::Format_ARGB32_Premultiplied ||
                         target->format() == QImage::Format_RGB32);
    const auto copy = [](QImage &to, const QImage &from) {
        // (The painter draws into its image too; writing without detaching keeps it the same.)
        uchar *bits = const_cast<uchar *>(to.constBits());
        for (int y = 0; y < to.height(); ++y)
            std::memcpy(bits + y * to.bytesPerLine(), from.constScanLine(y),
                        size_t(to.width()) * 4);
    };
    if (patched) {
        if (copied)
            copy(*target, m_kept);
        else
            painter->drawImage(QPointF(0, 0), m_kept);
        return;
    }
    if (m_kept.size() != network.size())
        m_kept = QImage(network.size(), QImage::Format_ARGB32_Premultiplied);
    QPainter kept;
    QPainter *strokesPainter = painter;
    if (!copied) {
        copy(m_kept, network);
        kept.begin(&m_kept);
        kept.setRenderHints(painter->renderHints());
        strokesPainter = &kept;
    }
    const int reservationLines = strokes.firstLine[strokes.reservations];
    strokesPainter->setPen(MapStyle::linePen(MapStyle::reservation, 1));
    strokesPainter->drawLines(strokes.lines.constData(), reservationLines);
    strokesPainter->setPen(MapStyle::linePen(MapStyle::occupation, 1));
    strokesPainter->drawLines(strokes.lines.constData() + reservationLines,
                              int(strokes.lines.size()) - reservationLines);
    if (copied) {
        // Drawn over the network in the painter's image, as without a kept image, and kept.
        copy(m_kept, *target);
        return;
    }
    kept.end();
    // Opaque over the network drawn there: the same pixels as the strokes drawn over it.
    painter->drawImage(QPointF(0, 0), m_kept);
}

bool MapUsageLayer::patch(const Strokes &strokes, const Tiles &tiles, const QImage &network,
                          QPainter::RenderHints hints)
{
    const QVector<quint64> &hashes = tiles.hashes;
    const QVector<int> &starts = tiles.starts;
    const QVector<int> &order = tiles.order;
    QVector<int> changed;
    for (int t = 0; t < hashes.size(); ++t) {
        if (hashes[t] != m_tileHashes[t])
            changed.append(t);
    }
    if (changed.size() > hashes.size() / 2)
        return false;
    const int columns = tiles.columns;
    QPainter kept(&m_kept);
    kept.setRenderHints(hints);
    const QPen pens[2] = {MapStyle::linePen(MapStyle::occupation, 1),
                          MapStyle::linePen(MapStyle::reservation, 1)};
    QVector<QLineF> lines;
    for (const int t : std::as_const(changed)) {
        const QRect pixels =
            QRect((t % columns) * tile, (t / columns) * tile, tile, tile) & m_kept.rect();
        // The network's pixels again, then the tile's strokes over them, clipped to the tile:
        // a line's pixels do not depend on the clip, only on the device.
        for (int y = pixels.top(); y <= pixels.bottom(); ++y)
            std::memcpy(m_kept.scanLine(y) + pixels.left() * 4,
                        network.constScanLine(y) + pixels.left() * 4, size_t(pixels.width()) * 4);
        kept.setClipRect(pixels);
        for (const bool reservations : {true, false}) {
            lines.clear();
            for (int k = starts[t]; k < starts[t + 1]; ++k) {
                const int s = order[k];
                if ((s < strokes.reservations) != reservations)
                    continue;
                for (int l = strokes.firstLine[s]; l < strokes.firstLine[s + 1]; ++l)
                    lines.append(strokes.lines[l]);
            }
            if (lines.isEmpty())
                continue;
            kept.setPen(pens[reservations]);
            kept.drawLines(lines);
        }
    }
    return true;
}
