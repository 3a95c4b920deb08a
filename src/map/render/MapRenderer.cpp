#include "MapRenderer.h"

#include "TexturePlacer.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

const QColor &backgroundColour = MapSymbols::backgroundColour;
const QColor edgeColour(0xa6, 0xb8, 0xad);
const QColor junctionColour(0xd3, 0xa8, 0x73);
const QColor trainLabelColour(0xf1, 0xee, 0xd6);
const QColor stationNameColour(0xed, 0xf1, 0xdf);
const QColor stationBoxColour(0x07, 0x0b, 0x0a, 0xb4);
const QColor messageColour(0xa8, 0xb9, 0xa8);
const QColor messageBoxColour(0x10, 0x1b, 0x16, 0xe6);
const QColor messageBorderColour(0x38, 0x49, 0x3f);

constexpr double junctionScale = 0.05;
constexpr double stateLabelScale = 0.08;
constexpr double trainLabelScale = 0.025;
constexpr int maximumLabelParts = 8192;
constexpr int maximumStationParts = 4096;
constexpr int maximumScaledTextures = 1024;
static_assert(qint64(MapRenderer::maxTextureFiles) * TextureLoader::decodeSize *
                      TextureLoader::decodeSize * 4 <
                  TextureLoader::cacheBytes,
              "the images of one paint fit in the loader's cache");
constexpr double stationNameWidth = 240; // longer names are elided
// Screen coordinates beyond this are clipped by hand before drawing: the painter's own clipping
// works in a precision that far-away points (a huge or broken geometry) would exceed.
constexpr double coordinateLimit = 1e6;

constexpr auto linePen = &MapSymbols::linePen;

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

// Rectangles placed during one paint, found again through a coarse grid over the item, so that
// asking whether a new one overlaps any of them looks only at its neighbours.
class RectGrid
{
public:
    RectGrid(const QSizeF &size, double cell)
        : m_cell(cell), m_columns(std::max(1, int(size.width() / cell) + 1)),
          m_rows(std::max(1, int(size.height() / cell) + 1)), m_cells(m_columns * m_rows)
    {
    }

    bool overlapsAny(const QRectF &rect) const
    {
        bool found = false;
        forCells(rect, [&](int cell) {
            for (const int index : m_cells[cell]) {
                if (rect.intersects(m_rects[index])) {
                    found = true;
                    return false;
                }
            }
            return true;
        });
        return found;
    }

    void add(const QRectF &rect)
    {
        const int index = int(m_rects.size());
        m_rects.append(rect);
        forCells(rect, [&](int cell) {
            m_cells[cell].append(index);
            return true;
        });
    }

private:
    int clampedCell(double coordinate, int count) const
    {
        const double cell = std::floor(coordinate / m_cell);
        if (!(cell >= 0))
            return 0;
        return cell >= count - 1 ? count - 1 : int(cell);
    }

    template <typename Visit> void forCells(const QRectF &rect, Visit visit) const
    {
        const int left = clampedCell(rect.left(), m_columns);
        const int right = clampedCell(rect.right(), m_columns);
        const int top = clampedCell(rect.top(), m_rows);
        const int bottom = clampedCell(rect.bottom(), m_rows);
        for (int row = top; row <= bottom; ++row)
            for (int column = left; column <= right; ++column)
                if (!visit(row * m_columns + column))
                    return;
    }

    double m_cell;
    int m_columns;
    int m_rows;
    QVector<QVector<int>> m_cells;
    QVector<QRectF> m_rects;
};

} // namespace

QString MapRenderer::waitingText(const MapOverlay &overlay)
{
    return overlay.live ? QString() : overlay.status;
}

bool MapRenderer::needsNetworkRedraw(const MapCamera &camera, const QSizeF &size) const
{
    return m_networkDirty ||
           m_networkImage.size() != QSize(int(size.width()), int(size.height())) || !m_imageExact ||
           camera != m_imageCamera;
}

void MapRenderer::paint(QPainter *painter, const Scene &scene)
{
    m_counts = Counts();
    const QSizeF size = scene.size;
    if (!(size.width() >= 1) || !(size.height() >= 1) || !scene.network || !scene.overlay)
        return;
    const QSize whole(int(size.width()), int(size.height()));
    const MapCamera &camera = scene.camera;

    painter->save(); // the pens, brushes and font set here are not the caller's business
    // While the view moves and the data stay the same, the whole last frame moves with it: only
    // the strips it uncovers are drawn.
    const size_t frameKey = frameKeyOf(scene);
    const bool frameUsable = scene.moving && m_frameValid && m_frameKey == frameKey &&
                             !m_networkDirty && m_frame.size() == whole;
    if (frameUsable && camera.scale() == m_frameCamera.scale() && shiftFrame(scene)) {
        const QPointF rest = (m_frameCamera.centre() - camera.centre()) * camera.scale();
        painter->drawImage(isFinite(rest) ? rest : QPointF(0, 0), m_frame);
        m_counts.frameShifted = true;
    } else if (frameUsable && camera.scale() != m_frameCamera.scale() &&
               drawScaled(painter, m_frame, m_frameCamera, camera, size)) {
        // A zoom in progress: the last frame scaled, until the view rests.
        m_counts.frameScaled = true;
    } else {
        // A moving view keeps the frame it draws, to move it at the next step.
        QPainter framePainter;
        QPainter *target = painter;
        if (scene.moving) {
            if (m_frame.size() != whole)
                m_frame = QImage(whole, QImage::Format_RGB32);
            framePainter.begin(&m_frame);
            framePainter.setRenderHints(painter->renderHints());
            target = &framePainter;
        }
        paintNetwork(target, scene);
        paintDynamic(target, scene, QRectF(QPointF(0, 0), size));
        if (scene.moving) {
            framePainter.end();
            painter->drawImage(QPointF(0, 0), m_frame);
            m_frameCamera = camera;
            m_frameKey = frameKey;
        }
        m_frameValid = scene.moving;
    }

    const QString message = waitingText(*scene.overlay);
    if (!message.isEmpty())
        paintMessage(painter, scene, message);
    painter->restore();
}

size_t MapRenderer::frameKeyOf(const Scene &scene) const
{
    return qHashMulti(0, quintptr(scene.network), scene.overlayGeneration,
                      m_textureLoader->epoch(), scene.size.width(),
                      scene.size.height(), scene.showCalculatedPath, scene.signalSize,
                      int(scene.signalLayer), scene.stationNames);
}

std::optional<MapRenderer::Shift>
MapRenderer::shiftOf(const QImage &image, const MapCamera &drawnFor, const MapCamera &camera)
{
    const double scale = camera.scale();
    const QPointF offset = (drawnFor.centre() - camera.centre()) * scale;
    if (!isFinite(offset))
        return std::nullopt;
    Shift result;
    result.by = QPoint(qRound(offset.x()), qRound(offset.y()));
    const int width = image.width();
    const int height = image.height();
    if (std::abs(result.by.x()) >= width || std::abs(result.by.y()) >= height)
        return std::nullopt;
    // Moved by whole pixels, the image shows this camera; only the strips it uncovers are drawn.
    result.moved = MapCamera(drawnFor.centre() - QPointF(result.by) / scale, scale);
    if (result.by.x() > 0)
        result.uncovered.append(QRectF(0, 0, result.by.x(), height));
    else if (result.by.x() < 0)
        result.uncovered.append(QRectF(width + result.by.x(), 0, -result.by.x(), height));
    if (result.by.y() > 0)
        result.uncovered.append(QRectF(0, 0, width, result.by.y()));
    else if (result.by.y() < 0)
        result.uncovered.append(QRectF(0, height + result.by.y(), width, -result.by.y()));
    return result;
}

QImage MapRenderer::moved(const QImage &image, const QPoint &by)
{
    QImage result(image.size(), image.format());
    result.fill(backgroundColour);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(by, image);
    return result;
}

bool MapRenderer::shiftFrame(const Scene &scene)
{
    const std::optional<Shift> shift = shiftOf(m_frame, m_frameCamera, scene.camera);
    if (!shift)
        return false;
    if (shift->by.isNull())
        return true;
    QImage shifted = moved(m_frame, shift->by);
    QPainter painter(&shifted);
    painter.setRenderHint(QPainter::Antialiasing, true);
    drawNetwork(&painter, *scene.network, shift->moved, scene.size, shift->uncovered);
    Scene strips = scene;
    strips.camera = shift->moved;
    for (const QRectF &area : shift->uncovered) {
        painter.setClipRect(area);
        paintDynamic(&painter, strips, area);
    }
    painter.end();
    m_frame = shifted;
    m_frameCamera = shift->moved;
    return true;
}

void MapRenderer::paintNetwork(QPainter *painter, const Scene &scene)
{
    const QSizeF size = scene.size;
    const QSize whole(int(size.width()), int(size.height()));
    const MapCamera &camera = scene.camera;
    const bool exactNeeded = m_networkDirty || m_networkImage.size() != whole ||
                             (!scene.moving && (!m_imageExact || camera != m_imageCamera));
    if (exactNeeded) {
        redrawNetwork(scene);
        painter->drawImage(QPointF(0, 0), m_networkImage);
    } else if (camera == m_imageCamera) {
        painter->drawImage(QPointF(0, 0), m_networkImage);
    } else if (camera.scale() == m_imageCamera.scale() && shiftNetwork(scene)) {
        // What is left of the move is below a pixel.
        const QPointF rest = (m_imageCamera.centre() - camera.centre()) * camera.scale();
        painter->drawImage(isFinite(rest) ? rest : QPointF(0, 0), m_networkImage);
        m_counts.networkShifted = true;
    } else {
        // A zoom in progress: the image drawn for the earlier camera, scaled to the new one,
        // until the movement ends and the network is drawn again.
        painter->fillRect(QRectF(QPointF(0, 0), size), backgroundColour);
        drawScaled(painter, m_networkImage, m_imageCamera, camera, size);
        m_counts.networkScaled = true;
    }
}

bool MapRenderer::drawScaled(QPainter *painter, const QImage &image, const MapCamera &drawnFor,
                             const MapCamera &camera, const QSizeF &size)
{
    const double factor = camera.scale() / drawnFor.scale();
    const QPointF half(size.width() / 2, size.height() / 2);
    const QPointF topLeft =
        ((-half) / drawnFor.scale() + drawnFor.centre() - camera.centre()) * camera.scale() + half;
    const QRectF target(topLeft, QSizeF(image.size()) * factor);
    if (!isFinite(target.topLeft()) || !std::isfinite(factor) || !(factor > 0) ||
        !std::isfinite(target.width()) || !std::isfinite(target.height()))
        return false;
    const QRectF view(QPointF(0, 0), size);
    if (!target.contains(view))
        painter->fillRect(view, backgroundColour);
    painter->drawImage(target, image);
    return true;
}

void MapRenderer::paintDynamic(QPainter *painter, const Scene &scene, const QRectF &area)
{
    const MapOverlay &overlay = *scene.overlay;
    const QVector<SdkTrackNode> &nodes = scene.network->nodes();
    const QSizeF size = scene.size;
    const MapCamera &camera = scene.camera;
    painter->setRenderHint(QPainter::Antialiasing, true);
    m_symbols.begin(painter);
    // Symbols reach at most this far from their point; a part of the item draws only theirs.
    const QRectF reach = area.adjusted(-24, -24, 24, 24);
    const auto onScreen = [&](int node, QPointF *point) {
        *point = camera.toScreen(nodes[node].x, nodes[node].y, size);
        return MapCamera::isOnScreen(*point, size) && reach.contains(*point);
    };
    QPointF point;

    if (scene.showCalculatedPath && overlay.pathShown) {
        for (const int node : std::as_const(overlay.pathNodes)) {
            if (onScreen(node, &point))
                m_symbols.pathPoint(painter, point);
        }
    }
    for (const int node : std::as_const(overlay.reservationNodes)) {
        if (onScreen(node, &point))
            m_symbols.reservation(painter, point);
    }
    for (const int node : std::as_const(overlay.occupationNodes)) {
        if (onScreen(node, &point))
            m_symbols.occupation(painter, point);
    }

    paintSignals(painter, scene, area);
    // Labels and names are placed against one another over the whole item: a strip uncovered by
    // a movement draws no new ones (they would be placed without knowing the others), until the
    // view rests.
    const bool wholeItem = area == QRectF(QPointF(0, 0), size);
    paintTrains(painter, scene, wholeItem);
    // Names last: a handful of boxed labels that must stay readable over a crowd of trains.
    if (wholeItem)
        paintStationNames(painter, scene);
}

void MapRenderer::redrawNetwork(const Scene &scene)
{
    const QSizeF size = scene.size;
    m_networkImage =
        QImage(int(size.width()), int(size.height()), QImage::Format_ARGB32_Premultiplied);
    m_networkImage.fill(backgroundColour);
    QPainter painter(&m_networkImage);
    painter.setRenderHint(QPainter::Antialiasing, true);
    drawNetwork(&painter, *scene.network, scene.camera, size,
                {QRectF(0, 0, size.width(), size.height())});
    painter.end();
    m_imageCamera = scene.camera;
    m_imageExact = true;
    m_networkDirty = false;
    m_counts.networkRedrawn = true;
}

bool MapRenderer::shiftNetwork(const Scene &scene)
{
    const std::optional<Shift> shift = shiftOf(m_networkImage, m_imageCamera, scene.camera);
    if (!shift)
        return false;
    if (shift->by.isNull())
        return true;
    QImage shifted = moved(m_networkImage, shift->by);
    QPainter painter(&shifted);
    painter.setRenderHint(QPainter::Antialiasing, true);
    drawNetwork(&painter, *scene.network, shift->moved, scene.size, shift->uncovered);
    painter.end();
    m_networkImage = shifted;
    m_imageCamera = shift->moved;
    m_imageExact = false;
    return true;
}

void MapRenderer::drawNetwork(QPainter *painter, const MapNetwork &network, const MapCamera &camera,
                              const QSizeF &size, const QVector<QRectF> &areas)
{
    const QVector<SdkTrackNode> &nodes = network.nodes();
    QVector<QPointF> points(nodes.size());
    for (int i = 0; i < nodes.size(); ++i)
        points[i] = camera.toScreen(nodes[i].x, nodes[i].y, size);
    const QRectF view(0, 0, size.width(), size.height());
    const bool clipped = areas.size() != 1 || areas.first() != view;

    if (camera.scale() > junctionScale && !m_junctionStamp.isValid()) {
        // Thousands of identical dots: stamped (see SymbolStamp), the image has no scaling.
        m_junctionStamp = SymbolStamp(
            QRect(-5, -5, 11, 11),
            [](QPainter *dotPainter, const QPointF &point) {
                dotPainter->setPen(linePen(junctionColour, 1.4));
                dotPainter->setBrush(backgroundColour);
                dotPainter->drawEllipse(point, 3.0, 3.0);
            },
            0);
    }

    for (const QRectF &area : areas) {
        if (clipped)
            painter->setClipRect(area);
        // Zoomed out, where the network is dense and junctions are not drawn, the edges are one
        // pixel wide: the rasteriser's thin-line path draws them in less than half the time, and
        // a 1.3-pixel edge looks no different among thousands.
        painter->setPen(linePen(edgeColour, camera.scale() > junctionScale ? 1.3 : 1.0));
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
            if (!(std::abs(pa.x()) < coordinateLimit && std::abs(pa.y()) < coordinateLimit &&
                  std::abs(pb.x()) < coordinateLimit && std::abs(pb.y()) < coordinateLimit) &&
                !clipSegment(pa, pb, cut))
                continue;
            batch.append(QLineF(pa, pb));
            if (batch.size() == 1024) {
                painter->drawLines(batch);
                batch.clear();
            }
        }
        if (!batch.isEmpty())
            painter->drawLines(batch);

        if (camera.scale() > junctionScale) {
            const QVector<quint32> &degrees = network.degrees();
            const SymbolStamp::Target target = SymbolStamp::targetOf(painter);
            for (int i = 0; i < nodes.size(); ++i) {
                if (degrees[i] > 2 && area.contains(points[i]) && view.contains(points[i]))
                    m_junctionStamp.stamp(painter, target, points[i]);
            }
        }
    }
    if (clipped)
        painter->setClipping(false);
}

void MapRenderer::paintSignals(QPainter *painter, const Scene &scene, const QRectF &area)
{
    if (scene.signalLayer == SignalLayer::Hidden)
        return;
    const bool images = scene.signalLayer == SignalLayer::Images;
    const QSizeF size = scene.size;
    const int textureSide = int(scene.signalSize);
    const bool stateLabels = scene.camera.scale() > stateLabelScale;
    const QVector<SdkTrackNode> &nodes = scene.network->nodes();
    const QVector<MapOverlay::Signal> &marks = scene.overlay->signalMarks;

    // First the signals shown with an image, in list order, and what their placement depends on.
    struct Textured
    {
        int index;
        QPointF point;
        QSizeF target;
        QImage texture;
    };
    QVector<Textured> textured;
    textured.reserve(images ? marks.size() : 0);
    QVector<QPointF> points(marks.size());
    QVector<bool> shown(marks.size(), false);
    // The images of one overlay are looked up once, not at every step of a movement, and again
    // when the loader has finished files since. A file still loading shows the symbol meanwhile.
    const quint64 textureEpoch = m_textureLoader->epoch();
    if (m_texturesGeneration != scene.overlayGeneration || m_texturesEpoch != textureEpoch ||
        m_texturesAsked != images || m_signalTextures.size() != marks.size()) {
        m_signalTextures.fill(QImage(), marks.size());
        bool pending = false;
        if (images) {
            QHash<QString, QImage> asked; // many signals share one file
            for (int i = 0; i < marks.size(); ++i) {
                if (marks[i].texturePath.isEmpty() || !marks[i].stateAvailable)
                    continue;
                auto found = asked.constFind(marks[i].texturePath);
                if (found == asked.constEnd()) {
                    // Beyond this many files the signals keep their symbols: what the map holds
                    // stays within the loader's cache, which would otherwise drop and read again
                    // images still in use at every paint.
                    if (asked.size() >= maxTextureFiles)
                        continue;
                    const TextureLoader::Result result =
                        m_textureLoader->request(marks[i].texturePath);
                    pending = pending || result.state == TextureLoader::State::Pending;
                    found = asked.insert(marks[i].texturePath, result.image);
                }
                m_signalTextures[i] = found.value();
            }
        }
        m_texturesPending = pending;
        m_texturesGeneration = scene.overlayGeneration;
        m_texturesEpoch = textureEpoch;
        m_texturesAsked = images;
    }
    size_t key = qHashMulti(0, scene.camera.centre().x(), scene.camera.centre().y(),
                            scene.camera.scale(), size.width(), size.height(), scene.signalSize);
    for (int i = 0; i < marks.size(); ++i) {
        const MapOverlay::Signal &signal = marks[i];
        points[i] = scene.camera.toScreen(nodes[signal.node].x, nodes[signal.node].y, size);
        shown[i] = MapCamera::isOnScreen(points[i], size);
        if (!shown[i] || !images)
            continue;
        const QImage &texture = m_signalTextures[i];
        if (texture.isNull())
            continue;
        const QSizeF target(texture.size().scaled(textureSide, textureSide, Qt::KeepAspectRatio));
        textured.append({i, points[i], target, texture});
        key = qHashMulti(key, i, signal.node, target.width(), target.height());
    }

    // Where each of them goes: placed again only when something it depends on changed.
    QVector<std::optional<QRectF>> spots(textured.size());
    // Images that arrived from the loader since the placement are placed at once, even while the
    // view moves.
    const bool reuse = m_spotsValid && ((scene.moving && m_spotsEpoch == m_texturesEpoch) ||
                                        key == m_spotsKey);
    if (reuse) {
        for (int t = 0; t < textured.size(); ++t) {
            const Textured &entry = textured[t];
            const Spot *spot = entry.index < m_spots.size() ? &m_spots[entry.index] : nullptr;
            if (spot && spot->placed && spot->node == marks[entry.index].node &&
                spot->size == entry.target)
                spots[t] = QRectF(entry.point + spot->offset, entry.target);
        }
    } else if (!textured.isEmpty()) {
        // An image goes only where it fits beside the track, clear of the others; where none is
        // left the signal shows its symbol, as without an image.
        TexturePlacer placer(size, scene.signalSize);
        m_spots.fill(Spot(), marks.size());
        for (int t = 0; t < textured.size(); ++t) {
            const Textured &entry = textured[t];
            spots[t] = placer.place(entry.point, entry.target);
            Spot &spot = m_spots[entry.index];
            spot.node = marks[entry.index].node;
            spot.size = entry.target;
            spot.placed = spots[t].has_value();
            if (spot.placed)
                spot.offset = spots[t]->topLeft() - entry.point;
        }
        m_spotsKey = key;
        m_spotsEpoch = m_texturesEpoch;
        m_spotsValid = true;
    } else {
        m_spots.clear();
        m_spotsKey = key;
        m_spotsEpoch = m_texturesEpoch;
        m_spotsValid = true;
    }

    // What the layer shows, as one number: at the whole-item paint after a new data map of the
    // same railway nothing of it usually changed, and the layer drawn last time is used again.
    const QRectF view(QPointF(0, 0), size);
    const bool wholeItem = area == view;
    size_t look = 0;
    if (wholeItem) {
        // The number of images counts too: one without a spot draws the same symbol as no
        // image, but the counts of the layer differ.
        look = qHashMulti(0, size.width(), size.height(), stateLabels, int(scene.signalLayer),
                          scene.signalSize, textured.size());
        int t = 0;
        for (int i = 0; i < marks.size(); ++i) {
            if (!shown[i])
                continue;
            const MapOverlay::Signal &signal = marks[i];
            look = qHashMulti(look, i, points[i].x(), points[i].y(), signal.marker, signal.balise,
                              stateLabels && signal.stateAvailable ? signal.textureState : -1);
            if (t < textured.size() && textured[t].index == i) {
                if (spots[t])
                    look = qHashMulti(look, spots[t]->x(), spots[t]->y(), spots[t]->width(),
                                      spots[t]->height(), textured[t].texture.cacheKey());
                ++t;
            }
        }
        if (m_signalLayerValid && look == m_signalLayerKey &&
            m_signalLayer.size() == view.size().toSize()) {
            painter->drawImage(QPointF(0, 0), m_signalLayer);
            m_counts.texturesDrawn = m_signalLayerCounts.texturesDrawn;
            m_counts.texturesWithoutSpot = m_signalLayerCounts.texturesWithoutSpot;
            m_counts.signalLayerReused = true;
            return;
        }
    }

    const auto drawLayer = [&](QPainter *target) {
        const QRectF reach = area.adjusted(-24, -24, 24, 24);
        int next = 0; // the next entry of textured, in list order
        for (int i = 0; i < marks.size(); ++i) {
            if (!shown[i])
                continue;
            const MapOverlay::Signal &signal = marks[i];
            const QPointF &point = points[i];
            if (next < textured.size() && textured[next].index == i) {
                const int t = next++;
                if (spots[t]) {
                    const QRectF &spot = *spots[t];
                    if (!reach.contains(point) && !spot.intersects(area) &&
                        !QRectF(point, QPointF(spot.center().x(), spot.bottom()))
                             .normalized()
                             .adjusted(-1, -1, 1, 1)
                             .intersects(area))
                        continue;
                    m_symbols.signalStem(target, point, signal.marker);
                    target->setPen(MapSymbols::signalPen(signal.marker));
                    target->drawLine(point, QPointF(spot.center().x(), spot.bottom()));
                    drawTexture(target, spot, textured[t].texture);
                    ++m_counts.texturesDrawn;
                    continue;
                }
                ++m_counts.texturesWithoutSpot;
            }
            if (!reach.contains(point))
                continue;

            MapSymbols::SignalShape shape = MapSymbols::SignalShape::Circle;
            if (signal.marker)
                shape = MapSymbols::SignalShape::Marker;
            else if (signal.balise)
                shape = MapSymbols::SignalShape::Balise;
            m_symbols.signalSymbol(target, point, shape, signal.marker);
            if (stateLabels && signal.stateAvailable)
                m_symbols.stateLabel(target, point, signal.marker, signal.textureState);
        }
    };

    if (!wholeItem) {
        drawLayer(painter);
        return;
    }
    // Drawn on a transparent layer kept for the next paint, then laid over the map.
    if (m_signalLayer.size() != view.size().toSize())
        m_signalLayer = QImage(view.size().toSize(), QImage::Format_ARGB32_Premultiplied);
    m_signalLayer.fill(Qt::transparent);
    QPainter layerPainter(&m_signalLayer);
    layerPainter.setRenderHints(painter->renderHints());
    layerPainter.setFont(painter->font());
    m_symbols.begin(&layerPainter);
    drawLayer(&layerPainter);
    layerPainter.end();
    m_symbols.begin(painter);
    painter->drawImage(QPointF(0, 0), m_signalLayer);
    m_signalLayerKey = look;
    m_signalLayerValid = true;
    m_signalLayerCounts = m_counts;
}

void MapRenderer::drawTexture(QPainter *painter, const QRectF &spot, const QImage &texture)
{
    // Scaled once with smoothing and kept: scaling hundreds of images at every paint costs more
    // than the rest of the signal layer.
    const QSize size = spot.size().toSize();
    if (size.isEmpty() || QSizeF(size) != spot.size()) {
        painter->drawImage(spot, texture);
        return;
    }
    const QPair<qint64, QSize> key(texture.cacheKey(), size);
    auto scaled = m_scaledTextures.find(key);
    if (scaled == m_scaledTextures.end()) {
        if (m_scaledTextures.size() >= maximumScaledTextures)
            m_scaledTextures.clear();
        scaled = m_scaledTextures.insert(
            key, texture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    painter->drawImage(spot.topLeft(), *scaled);
}

void MapRenderer::paintStationNames(QPainter *painter, const Scene &scene)
{
    const QVector<MapOverlay::Station> &stations = scene.overlay->stations;
    if (!scene.stationNames || stations.isEmpty())
        return;
    QFont font(QStringLiteral("Segoe UI"), 9);
    font.setWeight(QFont::DemiBold);
    painter->setFont(font);
    const QFontMetricsF metrics(font, painter->device());
    if (m_stationParts.size() > maximumStationParts)
        m_stationParts.clear();
    const QRectF view(0, 0, scene.size.width(), scene.size.height());
    RectGrid placed(scene.size, 128);
    // The larger stations come first, so they win where two names would overlap.
    for (const MapOverlay::Station &station : stations) {
        const QPointF point = scene.camera.toScreen(station.x, station.y, scene.size);
        if (!view.contains(point))
            continue;
        auto part = m_stationParts.find(station.name);
        if (part == m_stationParts.end()) {
            const QString shown =
                metrics.elidedText(station.name, Qt::ElideRight, stationNameWidth);
            QStaticText text(shown);
            text.setTextFormat(Qt::PlainText);
            part = m_stationParts.insert(station.name, {text, metrics.horizontalAdvance(shown)});
        }
        const double width = part->advance + 8;
        const double height = metrics.height() + 4;
        const QRectF box(point.x() - width / 2, point.y() - height / 2, width, height);
        // Names keep some air between them, so that the map between them stays readable.
        const QRectF spaced = box.adjusted(-12, -6, 12, 6);
        if (placed.overlapsAny(spaced))
            continue;
        placed.add(spaced);
        m_counts.stationNameBoxes.append(box);
        painter->setPen(Qt::NoPen);
        painter->setBrush(stationBoxColour);
        painter->drawRoundedRect(box, 3, 3);
        painter->setPen(stationNameColour);
        painter->drawStaticText(box.topLeft() + QPointF(4, 2), part->text);
        ++m_counts.stationNamesDrawn;
    }
}

const MapRenderer::LabelPart &MapRenderer::laidOut(const QString &text,
                                                   const QFontMetricsF &metrics)
{
    auto part = m_labelParts.find(text);
    if (part == m_labelParts.end()) {
        QStaticText staticText(text);
        staticText.setTextFormat(Qt::PlainText);
        part = m_labelParts.insert(text, {staticText, metrics.horizontalAdvance(text)});
    }
    return part.value();
}

void MapRenderer::paintTrains(QPainter *painter, const Scene &scene, bool otherLabelsAllowed)
{
    const QSizeF size = scene.size;
    const QFont trainFont(QStringLiteral("Segoe UI"), 9);
    painter->setFont(trainFont);
    const bool otherLabels = otherLabelsAllowed && scene.camera.scale() > trainLabelScale;
    const QPen labelPen(trainLabelColour);
    // Labels are laid out once and kept (QStaticText): laying out thousands of texts at every
    // paint costs more than the rest of the dynamic layers together. A label seen for the first
    // time is drawn as its name, then its tail where the name's advance ends (both kept, and
    // reused as the train moves on), which puts every glyph where drawing the whole text would;
    // a label seen again is kept whole, one drawing instead of two.
    if (trainFont != m_labelFont || m_labelParts.size() > maximumLabelParts ||
        m_labelsSeenOnce.size() > maximumLabelParts) {
        m_labelParts.clear();
        m_labelsSeenOnce.clear();
        m_labelFont = trainFont;
    }
    const QFontMetricsF metrics(painter->font(), painter->device());
    const double ascent = metrics.ascent();
    const double height = metrics.height();
    const QVector<SdkTrackNode> &nodes = scene.network->nodes();
    const QVector<MapOverlay::Train> &trains = scene.overlay->trains;

    const auto labelBox = [&](const MapOverlay::Train &train, const QPointF &point) {
        const auto whole = m_labelParts.constFind(train.label);
        const double advance =
            whole != m_labelParts.constEnd()
                ? whole->advance
                : (train.name.isEmpty() ? 0 : laidOut(train.name, metrics).advance) +
                      laidOut(train.tail, metrics).advance;
        // The label's baseline starts at P + (7, 14).
        return QRectF(point.x() + 7, point.y() + 14 - ascent, advance, height);
    };

    // Labels never cover one another: a label that would cover one already placed is left out
    // at this zoom. The selected train's label is placed first, so it is always drawn.
    RectGrid placed(size, 64);
    QPointF point;
    for (const MapOverlay::Train &train : trains) {
        if (!train.selected)
            continue;
        point = scene.camera.toScreen(nodes[train.node].x, nodes[train.node].y, size);
        if (MapCamera::isOnScreen(point, size)) {
            placed.add(labelBox(train, point));
            m_counts.trainLabelBoxes.append(labelBox(train, point));
        }
    }

    for (const MapOverlay::Train &train : trains) {
        point = scene.camera.toScreen(nodes[train.node].x, nodes[train.node].y, size);
        if (!MapCamera::isOnScreen(point, size))
            continue;
        m_symbols.trainDisc(painter, point, train.selected);
        if (!otherLabels && !train.selected)
            continue;
        if (!train.selected) {
            const QRectF box = labelBox(train, point);
            if (placed.overlapsAny(box)) {
                ++m_counts.trainLabelsLeftOut;
                continue;
            }
            placed.add(box);
            m_counts.trainLabelBoxes.append(box);
        }
        ++m_counts.trainLabelsDrawn;
        painter->setPen(labelPen);
        const QPointF origin = point + QPointF(7, 14 - ascent);
        const auto whole = m_labelParts.constFind(train.label);
        if (whole != m_labelParts.constEnd()) {
            painter->drawStaticText(origin, whole.value().text);
            continue;
        }
        if (m_labelsSeenOnce.contains(train.label)) {
            painter->drawStaticText(origin, laidOut(train.label, metrics).text);
            continue;
        }
        m_labelsSeenOnce.insert(train.label);
        double tailOffset = 0;
        if (!train.name.isEmpty()) {
            const LabelPart &name = laidOut(train.name, metrics);
            painter->drawStaticText(origin, name.text);
            tailOffset = name.advance;
        }
        painter->drawStaticText(origin + QPointF(tailOffset, 0), laidOut(train.tail, metrics).text);
    }
}

void MapRenderer::paintMessage(QPainter *painter, const Scene &scene, const QString &text)
{
    QFont font(QStringLiteral("Segoe UI"), 12);
    painter->setFont(font);
    const QFontMetricsF metrics(font, painter->device());
    const double maxWidth = std::max(40.0, std::min(560.0, scene.size.width() - 40));
    const QRectF textRect = metrics.boundingRect(QRectF(0, 0, maxWidth, 1e6),
                                                 Qt::AlignHCenter | Qt::TextWordWrap, text);
    QRectF box(0, 0, textRect.width() + 32, textRect.height() + 20);
    box.moveCenter(QPointF(scene.size.width() / 2, scene.size.height() / 2));
    painter->setPen(QPen(messageBorderColour, 1));
    painter->setBrush(messageBoxColour);
    painter->drawRoundedRect(box, 6, 6);
    painter->setPen(messageColour);
    painter->drawText(box.adjusted(16, 10, -16, -10), Qt::AlignCenter | Qt::TextWordWrap, text);
}
