#include "MapSignalLayer.h"

#include "MapStyle.h"
#include "MapSymbols.h"

#include "LitColour.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

void MapSignalLayer::paint(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
                           MapSymbols &symbols, MapPaintCounts &counts)
{
    if (scene.signalLayer == MapSignalMode::Hidden)
        return;
    const Shown shown = collect(scene, area);
    const QRectF view = scene.view();
    if (area != view) {
        draw(painter, scene, area, shown, symbols, counts);
        return;
    }
    // At the whole-item paint after a new data map of the same railway nothing of the layer
    // usually changed, and the layer drawn last time is used again.
    const size_t look = lookOf(scene, shown);
    const QSize size = view.size().toSize();
    if (m_layerValid && look == m_layerKey && m_layer.size() == size) {
        painter->drawImage(QPointF(0, 0), m_layer);
        counts.texturesDrawn = m_layerTexturesDrawn;
        counts.texturesWithoutSpot = m_layerTexturesWithoutSpot;
        counts.signalDots = m_layerSignalDots;
        counts.textureOffsets = m_layerTextureOffsets;
        counts.signalLayerReused = true;
        return;
    }
    // Drawn on a transparent layer kept for the next paint, then laid over the map.
    if (m_layer.size() != size)
        m_layer = QImage(size, QImage::Format_ARGB32_Premultiplied);
    m_layer.fill(Qt::transparent);
    QPainter layerPainter(&m_layer);
    layerPainter.setRenderHints(painter->renderHints());
    layerPainter.setFont(painter->font());
    symbols.begin(&layerPainter);
    draw(&layerPainter, scene, area, shown, symbols, counts);
    layerPainter.end();
    symbols.begin(painter);
    painter->drawImage(QPointF(0, 0), m_layer);
    m_layerKey = look;
    m_layerValid = true;
    m_layerTexturesDrawn = counts.texturesDrawn;
    m_layerTexturesWithoutSpot = counts.texturesWithoutSpot;
    m_layerSignalDots = counts.signalDots;
    m_layerTextureOffsets = counts.textureOffsets;
}

MapSignalLayer::Shown MapSignalLayer::collect(const MapPaintScene &scene, const QRectF &area)
{
    const bool images =
        scene.signalLayer == MapSignalMode::Images || scene.signalLayer == MapSignalMode::Auto;
    // Signals by what fits on screen (dots where they pile up, images beside their signal) in
    // the automatic mode; the other modes draw them as the user chose, and so does the automatic
    // one where the drawing by density is off (verification runs).
    const bool dense = scene.byDensity && scene.signalLayer == MapSignalMode::Auto;
    const int textureSide = int(scene.signalSize);
    const QVector<MapOverlay::Signal> &marks = scene.overlay->signalMarks;
    // In the automatic mode the images give the dots their lit colours too.
    const QVector<QImage> &textures =
        m_textures.lookUp(*scene.overlay, scene.overlayGeneration, images);
    Shown shown;
    shown.stateLabels = scene.camera.scale() > stateLabelScale;
    shown.points.resize(marks.size());
    shown.onScreen.fill(false, marks.size());
    shown.images.reserve(images ? marks.size() : 0);
    // What placement depends on.
    size_t key =
        qHashMulti(0, scene.camera.centre().x(), scene.camera.centre().y(), scene.camera.scale(),
                   scene.size.width(), scene.size.height(), scene.signalSize);
    // A strip uncovered by a movement needs only the signals that can reach into it: their
    // symbols, dots and images, and the neighbours that tell whether they pile up.
    const bool strip = area != scene.view();
    const double margin = 28 + symbolRoom + dotCell + (images ? 2 * scene.signalSize + 16 : 0);
    const QRectF nearArea = area.adjusted(-margin, -margin, margin, margin);
    // Where the signals are and which pile up depend only on the camera, the item's size and the
    // signals' nodes: a new data map of the same railway at the same view takes them again.
    size_t placeKey =
        qHashMulti(0, scene.camera.centre().x(), scene.camera.centre().y(), scene.camera.scale(),
                   scene.size.width(), scene.size.height(), strip, nearArea.x(), nearArea.y(),
                   nearArea.width(), nearArea.height(), dense);
    for (const MapOverlay::Signal &signal : marks)
        placeKey = qHashMulti(placeKey, signal.node);
    if (m_placesValid && placeKey == m_placesKey && m_places.points.size() == marks.size()) {
        shown.points = m_places.points;
        shown.onScreen = m_places.onScreen;
        shown.crowded = m_places.crowded;
    } else {
        for (int i = 0; i < marks.size(); ++i) {
            shown.points[i] = scene.screenPoint(marks[i].node);
            shown.onScreen[i] = MapCamera::isOnScreen(shown.points[i], scene.size) &&
                                (!strip || nearArea.contains(shown.points[i]));
        }
        if (dense)
            markCrowded(shown, scene.size);
        m_places = {shown.points, shown.onScreen, shown.crowded};
        m_placesKey = placeKey;
        m_placesValid = true;
    }
    if (dense)
        shown.lit = &m_textures.litColours();
    for (int i = 0; i < marks.size(); ++i) {
        if (!shown.onScreen[i] || !images || textures[i].isNull() || (dense && shown.crowded[i]))
            continue;
        const QSizeF target(
            textures[i].size().scaled(textureSide, textureSide, Qt::KeepAspectRatio));
        shown.images.append({i, shown.points[i], target, textures[i]});
        key = qHashMulti(key, i, marks[i].node, target.width(), target.height());
    }
    shown.spots = m_spots.place(shown.images, marks, scene.size, scene.signalSize, scene.moving,
                                key, m_textures.epoch(), dense);
    return shown;
}

void MapSignalLayer::markCrowded(Shown &shown, const QSizeF &size)
{
    // The points in a grid of cells of the symbol's room over the item and its on-screen margin,
    // by counting: a signal's neighbours within the room lie in its cell or the eight around it.
    const int count = shown.points.size();
    shown.crowded.fill(false, count);
    constexpr double margin = 20; // MapCamera::isOnScreen
    const int columns = int((size.width() + 2 * margin) / symbolRoom) + 1;
    const int rows = int((size.height() + 2 * margin) / symbolRoom) + 1;
    if (qint64(columns) * rows > 1 << 22)
        return; // a degenerate item: nothing is crowded
    const auto cellOf = [&](const QPointF &point) {
        const int column = std::clamp(int((point.x() + margin) / symbolRoom), 0, columns - 1);
        const int row = std::clamp(int((point.y() + margin) / symbolRoom), 0, rows - 1);
        return row * columns + column;
    };
    QVector<int> starts(columns * rows + 1, 0);
    QVector<int> cells(count, -1);
    for (int i = 0; i < count; ++i) {
        if (shown.onScreen[i]) {
            cells[i] = cellOf(shown.points[i]);
            ++starts[cells[i] + 1];
        }
    }
    for (int c = 0; c < columns * rows; ++c)
        starts[c + 1] += starts[c];
    QVector<int> filled(starts.begin(), starts.end() - 1);
    QVector<int> order(starts.back());
    for (int i = 0; i < count; ++i) {
        if (cells[i] >= 0)
            order[filled[cells[i]]++] = i;
    }
    for (int i = 0; i < count; ++i) {
        if (cells[i] < 0 || shown.crowded[i])
            continue;
        const QPointF &point = shown.points[i];
        const int column = cells[i] % columns;
        const int row = cells[i] / columns;
        for (int r = std::max(0, row - 1); r <= std::min(rows - 1, row + 1) && !shown.crowded[i];
             ++r) {
            for (int c = std::max(0, column - 1);
                 c <= std::min(columns - 1, column + 1) && !shown.crowded[i]; ++c) {
                const int cell = r * columns + c;
                for (int k = starts[cell]; k < starts[cell + 1]; ++k) {
                    const int j = order[k];
                    if (j == i)
                        continue;
                    const QPointF &other = shown.points[j];
                    if (std::abs(other.x() - point.x()) < symbolRoom &&
                        std::abs(other.y() - point.y()) < symbolRoom) {
                        shown.crowded[i] = true;
                        shown.crowded[j] = true;
                        break;
                    }
                }
            }
        }
    }
}

double MapSignalLayer::redness(const QColor &lit)
{
    if (!lit.isValid() || lit == LitColour::neutral())
        return -1;
    const int hue = lit.hsvHue();
    const double fromRed = hue < 0 ? 180 : std::min(hue, 360 - hue);
    return (LitColour::isDanger(lit) ? 1000 : 0) + (180 - fromRed) + lit.hsvSaturationF();
}

void MapSignalLayer::drawDots(QPainter *painter, const QRectF &area, const QVector<int> &dotted,
                              const Shown &shown, MapSymbols &symbols, MapPaintCounts &counts)
{
    // One dot per cell: the reddest signal of the cell, at its own point. The cells of the dotted
    // signals' bounds in one flat grid, and each distinct lit colour's redness worked out once.
    if (dotted.isEmpty())
        return;
    QPointF low = shown.points[dotted.first()];
    QPointF high = low;
    for (const int i : dotted) {
        low =
            QPointF(std::min(low.x(), shown.points[i].x()), std::min(low.y(), shown.points[i].y()));
        high = QPointF(std::max(high.x(), shown.points[i].x()),
                       std::max(high.y(), shown.points[i].y()));
    }
    const double left = std::floor(low.x() / dotCell);
    const double top = std::floor(low.y() / dotCell);
    const double columnCount = std::floor(high.x() / dotCell) - left + 1;
    const double rowCount = std::floor(high.y() / dotCell) - top + 1;
    if (!(columnCount * rowCount < 1 << 24))
        return;
    const int columns = int(columnCount);
    const int rows = int(rowCount);
    QVector<int> best(columns * rows, -1);
    QVector<double> bestRedness(columns * rows, 0);
    QVector<QPair<QRgb, double>> rednesses;
    for (const int i : dotted) {
        const QPointF &point = shown.points[i];
        const int cell = int(std::floor(point.y() / dotCell) - top) * columns +
                         int(std::floor(point.x() / dotCell) - left);
        const QRgb rgba = shown.lit->at(i).rgba();
        auto known = std::find_if(rednesses.cbegin(), rednesses.cend(),
                                  [rgba](const auto &entry) { return entry.first == rgba; });
        if (known == rednesses.cend()) {
            rednesses.append({rgba, redness(shown.lit->at(i))});
            known = rednesses.cend() - 1;
        }
        // Signals come in list order: the first of the reddest keeps the cell.
        if (best[cell] < 0 || known->second > bestRedness[cell]) {
            best[cell] = i;
            bestRedness[cell] = known->second;
        }
    }
    const QRectF reach = area.adjusted(-4, -4, 4, 4);
    // The dots in a fixed order (by signal).
    QVector<int> drawn;
    drawn.reserve(dotted.size());
    for (const int i : best) {
        if (i >= 0)
            drawn.append(i);
    }
    std::sort(drawn.begin(), drawn.end());
    for (const int i : drawn) {
        const QPointF &point = shown.points[i];
        if (!reach.contains(point))
            continue;
        const QColor colour = shown.lit->at(i);
        symbols.keyed(
            painter, (quint64(1) << 40) | colour.rgba(), QRect(-4, -4, 9, 9),
            [colour](QPainter *target, const QPointF &anchor) {
                target->setPen(MapStyle::linePen(MapStyle::background, 1));
                target->setBrush(colour);
                target->drawEllipse(anchor, dotRadius, dotRadius);
            },
            point);
        ++counts.signalDots;
    }
}

size_t MapSignalLayer::lookOf(const MapPaintScene &scene, const Shown &shown)
{
    // The number of images counts too: one without a spot draws the same symbol as no image, but
    // the counts of the layer differ.
    size_t look = qHashMulti(0, scene.size.width(), scene.size.height(), shown.stateLabels,
                             int(scene.signalLayer), scene.signalSize, shown.images.size());
    const QVector<MapOverlay::Signal> &marks = scene.overlay->signalMarks;
    int t = 0;
    for (int i = 0; i < marks.size(); ++i) {
        if (!shown.onScreen[i])
            continue;
        if (shown.lit)
            look = qHashMulti(look, shown.crowded[i], shown.lit->at(i).rgba());
        const MapOverlay::Signal &signal = marks[i];
        look = qHashMulti(look, i, shown.points[i].x(), shown.points[i].y(), signal.marker,
                          signal.balise,
                          shown.stateLabels && signal.stateAvailable ? signal.textureState : -1);
        if (t < shown.images.size() && shown.images[t].index == i) {
            if (const std::optional<QRectF> &spot = shown.spots[t])
                look = qHashMulti(look, spot->x(), spot->y(), spot->width(), spot->height(),
                                  shown.images[t].texture.cacheKey());
            ++t;
        }
    }
    return look;
}

void MapSignalLayer::draw(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
                          const Shown &shown, MapSymbols &symbols, MapPaintCounts &counts)
{
    const QVector<MapOverlay::Signal> &marks = scene.overlay->signalMarks;
    // Symbols reach at most this far from their point.
    const QRectF reach = area.adjusted(-24, -24, 24, 24);
    int next = 0;        // the next entry of images, in list order
    QVector<int> dotted; // with the level of detail by density: signals drawn as dots
    // Every signal of a dot's cell that reaches into the area lies within this.
    const QRectF dotReach = area.adjusted(-dotCell - 4, -dotCell - 4, dotCell + 4, dotCell + 4);
    for (int i = 0; i < marks.size(); ++i) {
        if (!shown.onScreen[i])
            continue;
        const MapOverlay::Signal &signal = marks[i];
        const QPointF &point = shown.points[i];
        if (shown.lit && shown.crowded[i]) {
            // Markers and balises show nothing worth seeing from afar.
            if (!signal.marker && !signal.balise && dotReach.contains(point))
                dotted.append(i);
            continue;
        }
        if (next < shown.images.size() && shown.images[next].index == i) {
            const int t = next++;
            if (const std::optional<QRectF> &spot = shown.spots[t]) {
                const QPointF leaderEnd(spot->center().x(), spot->bottom());
                if (!reach.contains(point) && !spot->intersects(area) &&
                    !QRectF(point, leaderEnd).normalized().adjusted(-1, -1, 1, 1).intersects(area))
                    continue;
                drawWithImage(painter, signal, point, *spot, shown.images[t].texture, symbols);
                ++counts.texturesDrawn;
                counts.textureOffsets.insert(i, spot->topLeft() - point);
                continue;
            }
            ++counts.texturesWithoutSpot;
            if (shown.lit) {
                // No spot next to the signal: its dot, rather than a symbol that shows no state.
                if (dotReach.contains(point))
                    dotted.append(i);
                continue;
            }
        }
        if (!reach.contains(point))
            continue;
        MapSymbols::SignalShape shape = MapSymbols::SignalShape::Circle;
        if (signal.marker)
            shape = MapSymbols::SignalShape::Marker;
        else if (signal.balise)
            shape = MapSymbols::SignalShape::Balise;
        symbols.signalSymbol(painter, point, shape, signal.marker);
        if (shown.stateLabels && signal.stateAvailable)
            symbols.stateLabel(painter, point, signal.marker, signal.textureState);
    }
    if (!dotted.isEmpty())
        drawDots(painter, area, dotted, shown, symbols, counts);
}

void MapSignalLayer::drawWithImage(QPainter *painter, const MapOverlay::Signal &signal,
                                   const QPointF &point, const QRectF &spot, const QImage &texture,
                                   MapSymbols &symbols)
{
    symbols.signalStem(painter, point, signal.marker);
    painter->setPen(MapStyle::signalPen(signal.marker));
    painter->drawLine(point, QPointF(spot.center().x(), spot.bottom()));
    m_textures.draw(painter, spot, texture);
}
