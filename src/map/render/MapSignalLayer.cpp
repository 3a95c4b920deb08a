#include "MapSignalLayer.h"

#include "MapStyle.h"
#include "MapSymbols.h"
#include "RectGrid.h"

#include "LitColour.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// QRectF::contains for a rectangle of positive size, inline: it runs for every signal.
inline bool reaches(const QRectF &rect, const QPointF &point)
{
    return !(point.x() < rect.left() || point.x() > rect.right() || point.y() < rect.top() ||
             point.y() > rect.bottom());
}
} // namespace

void MapSignalLayer::paint(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
                           MapSymbols &symbols, MapPaintCounts &counts)
{
    if (scene.signalLayer == MapSignalMode::Hidden)
        return;
    const Shown shown = collect(scene, area);
    const QRectF view = scene.view();
    if (area != view) {
        const DotGrid grid = dotGrid(draw(painter, scene, area, shown, symbols, counts), shown);
        drawDots(painter, area, grid, shown, symbols, counts);
        return;
    }
    // At the whole-item paint after a new data map of the same railway the images and symbols
    // usually stay the same and only some dots change: the layer drawn last time is used again,
    // with the changed dots drawn anew.
    const size_t look = lookOf(scene, shown);
    const QSize size = view.size().toSize();
    if (m_layerValid && look == m_layerKey && m_layer.size() == size) {
        MapPaintCounts unused;
        const DotGrid grid = dotGrid(draw(nullptr, scene, area, shown, symbols, unused), shown);
        if (patchDots(painter, grid, shown, symbols)) {
            painter->drawImage(QPointF(0, 0), m_layer);
            counts.texturesDrawn = m_layerTexturesDrawn;
            counts.texturesWithoutSpot = m_layerTexturesWithoutSpot;
            counts.signalDots = m_layerSignalDots;
            counts.textureOffsets = m_layerTextureOffsets;
            counts.signalLayerReused = true;
            return;
        }
    }
    // Drawn on a transparent layer kept for the next paint, then laid over the map.
    if (m_layer.size() != size)
        m_layer = QImage(size, QImage::Format_ARGB32_Premultiplied);
    m_layer.fill(Qt::transparent);
    QPainter layerPainter(&m_layer);
    layerPainter.setRenderHints(painter->renderHints());
    layerPainter.setFont(painter->font());
    symbols.begin(&layerPainter);
    m_solid.emplace(QSizeF(size), 32);
    m_grid = dotGrid(draw(&layerPainter, scene, area, shown, symbols, counts, &*m_solid), shown);
    drawDots(&layerPainter, area, m_grid, shown, symbols, counts);
    layerPainter.end();
    symbols.begin(painter);
    painter->drawImage(QPointF(0, 0), m_layer);
    m_layerKey = look;
    m_layerValid = true;
    m_layerTexturesDrawn = counts.texturesDrawn;
    m_layerTexturesWithoutSpot = counts.texturesWithoutSpot;
    m_layerSignalDots = counts.signalDots;
    m_layerDotsRecounted = false;
    m_layerTextureOffsets = counts.textureOffsets;
}

bool MapSignalLayer::patchDots(QPainter *painter, const DotGrid &grid, const Shown &shown,
                               MapSymbols &symbols)
{
    if (grid.left != m_grid.left || grid.top != m_grid.top || grid.columns != m_grid.columns ||
        grid.rows != m_grid.rows || !m_solid)
        return false;
    // The cells whose dot changed; each is drawn again with the dots that reach into it, in the
    // order of the whole drawing, which gives the same pixels as drawing the layer anew. Where
    // an image or a symbol lies under them, or too many changed, the layer is drawn anew.
    QVector<int> changed;
    const DotGrid &kept = m_grid;
    for (int cell = 0; cell < grid.best.size(); ++cell) {
        if (grid.best[cell] != kept.best[cell] || grid.colours[cell] != kept.colours[cell])
            changed.append(cell);
    }
    if (changed.size() > grid.best.size() / 8 + 16)
        return false;
    const auto around = [&](int cell) {
        // Every dot of the cell touches only these pixels.
        return QRect(int((grid.left + cell % grid.columns) * dotCell) - 5,
                     int((grid.top + cell / grid.columns) * dotCell) - 5, int(dotCell) + 11,
                     int(dotCell) + 11);
    };
    for (const int cell : std::as_const(changed)) {
        if (m_solid->overlapsAny(around(cell)))
            return false;
    }
    // The dots of the layer that reach into it, counted again only where cells changed.
    const QRectF reach = QRectF(QPointF(0, 0), m_layer.size()).adjusted(-4, -4, 4, 4);
    const auto counted = [&](int i) { return i >= 0 && reaches(reach, shown.points[i]); };
    if (!m_layerDotsRecounted) {
        m_layerSignalDots = int(std::count_if(grid.best.cbegin(), grid.best.cend(), counted));
        m_layerDotsRecounted = true;
    } else {
        for (const int cell : std::as_const(changed))
            m_layerSignalDots += int(counted(grid.best[cell])) - int(counted(kept.best[cell]));
    }
    m_grid = grid;
    QPainter layerPainter(&m_layer);
    layerPainter.setRenderHints(painter->renderHints());
    layerPainter.setFont(painter->font());
    QVector<int> touching;
    for (const int cell : std::as_const(changed)) {
        const QRect pixels = around(cell);
        layerPainter.setClipping(false);
        layerPainter.setCompositionMode(QPainter::CompositionMode_Clear);
        layerPainter.fillRect(pixels, Qt::transparent);
        layerPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        layerPainter.setClipRect(pixels);
        symbols.begin(&layerPainter);
        touching.clear();
        const int column = cell % grid.columns;
        const int row = cell / grid.columns;
        for (int r = std::max(0, row - 2); r <= std::min(grid.rows - 1, row + 2); ++r) {
            for (int c = std::max(0, column - 2); c <= std::min(grid.columns - 1, column + 2);
                 ++c) {
                const int i = grid.best[r * grid.columns + c];
                if (counted(i))
                    touching.append(i);
            }
        }
        std::sort(touching.begin(), touching.end());
        for (const int i : std::as_const(touching))
            stampDot(&layerPainter, symbols, shown.points[i], shown.lit->litColour(i).rgba());
    }
    layerPainter.end();
    symbols.begin(painter);
    return true;
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
    m_textures.lookUp(*scene.overlay, scene.overlayGeneration, images);
    Shown shown;
    shown.stateLabels = scene.camera.scale() > stateLabelScale;
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
    shown.placeKey = placeKey;
    if (m_placesValid && placeKey == m_placesKey && m_places.points.size() == marks.size()) {
        shown.points = m_places.points;
        shown.onScreen = m_places.onScreen;
        shown.crowded = m_places.crowded;
    } else {
        shown.points.resize(marks.size());
        shown.onScreen.fill(false, marks.size());
        for (int i = 0; i < marks.size(); ++i) {
            shown.points[i] = scene.screenPoint(marks[i].node);
            shown.onScreen[i] = MapCamera::isOnScreen(shown.points[i], scene.size) &&
                                (!strip || reaches(nearArea, shown.points[i]));
        }
        if (dense)
            markCrowded(shown, scene.size);
        m_places = {shown.points, shown.onScreen, shown.crowded};
        m_placesKey = placeKey;
        m_placesValid = true;
    }
    if (dense)
        shown.lit = &m_textures;
    const QVector<bool> &onScreen = shown.onScreen;
    const QVector<bool> &crowded = shown.crowded;
    for (int i = 0; images && i < marks.size(); ++i) {
        if (!onScreen[i] || (dense && crowded[i]))
            continue;
        const QImage &texture = m_textures.image(i);
        if (texture.isNull())
            continue;
        const QSizeF target(texture.size().scaled(textureSide, textureSide, Qt::KeepAspectRatio));
        shown.images.append({i, std::as_const(shown.points)[i], target, texture});
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
    const auto withinRoom = [&](int i, int j) {
        return std::abs(shown.points[j].x() - shown.points[i].x()) < symbolRoom &&
               std::abs(shown.points[j].y() - shown.points[i].y()) < symbolRoom;
    };
    // Two points of one cell lie within the room of each other (but at the clamped edges): a
    // point that shares its cell is crowded at once, and mostly only a point alone in its cell
    // looks at the cells around it.
    for (int i = 0; i < count; ++i) {
        if (cells[i] < 0 || starts[cells[i] + 1] - starts[cells[i]] < 2)
            continue;
        const int first = order[starts[cells[i]]];
        const int other = first != i ? first : order[starts[cells[i]] + 1];
        shown.crowded[i] = shown.crowded[i] || withinRoom(i, other);
    }
    for (int i = 0; i < count; ++i) {
        if (cells[i] < 0 || shown.crowded[i])
            continue;
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
                    if (withinRoom(i, j)) {
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

MapSignalLayer::DotGrid MapSignalLayer::dotGrid(const QVector<int> &dotted, const Shown &shown)
{
    // One dot per cell: the reddest signal of the cell, at its own point. Each image file's
    // colour and redness are worked out once, the neutral grey's first.
    if (dotted.isEmpty())
        return DotGrid();
    const SignalTextures &textures = *shown.lit;
    QVector<QRgb> fileColours(textures.fileCount() + 1);
    QVector<double> fileRedness(textures.fileCount() + 1);
    for (int f = -1; f < textures.fileCount(); ++f) {
        const QColor &lit = f >= 0 ? textures.fileLitColour(f) : LitColour::neutral();
        fileColours[f + 1] = lit.rgba();
        fileRedness[f + 1] = redness(lit);
    }
    DotCells &cells = m_dotCells;
    if (!cells.valid || cells.placeKey != shown.placeKey || cells.dotted != dotted) {
        newDotCells(dotted, shown, fileColours, fileRedness);
        return cells.grid;
    }
    QVector<int> changed;
    for (int k = 0; k < dotted.size(); ++k) {
        const int file = textures.fileOf(dotted[k]) + 1;
        if (fileColours[file] == std::as_const(cells.colours)[k])
            continue;
        cells.colours[k] = fileColours[file];
        cells.redness[k] = fileRedness[file];
        changed.append(cells.cellOf[k]);
    }
    // Signals come in list order: the first of the reddest keeps the cell.
    DotGrid &grid = cells.grid;
    for (const int cell : std::as_const(changed)) {
        int best = -1;
        for (int m = cells.starts[cell]; m < cells.starts[cell + 1]; ++m) {
            const int k = cells.members[m];
            if (best < 0 || cells.redness[k] > cells.redness[best])
                best = k;
        }
        grid.best[cell] = dotted[best];
        grid.colours[cell] = cells.colours[best];
    }
    return grid;
}

void MapSignalLayer::newDotCells(const QVector<int> &dotted, const Shown &shown,
                                 const QVector<QRgb> &fileColours,
                                 const QVector<double> &fileRedness)
{
    // The cells of the dotted signals' bounds in one flat grid.
    DotCells &cells = m_dotCells;
    cells = DotCells();
    DotGrid &grid = cells.grid;
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
    grid.left = left;
    grid.top = top;
    grid.columns = int(columnCount);
    grid.rows = int(rowCount);
    const int count = grid.columns * grid.rows;
    grid.best.fill(-1, count);
    grid.colours.fill(0, count);
    cells.dotted = dotted;
    cells.colours.resize(dotted.size());
    cells.redness.resize(dotted.size());
    cells.cellOf.resize(dotted.size());
    cells.starts.fill(0, count + 1);
    QVector<double> bestRedness(count, 0);
    // (Plain pointers: the checks of a shared array's writes cost more than the rest here.)
    int *best = grid.best.data();
    QRgb *colours = grid.colours.data();
    double *reddest = bestRedness.data();
    int *starts = cells.starts.data();
    const QPointF *points = shown.points.constData();
    const SignalTextures &textures = *shown.lit;
    for (int k = 0; k < dotted.size(); ++k) {
        const int i = dotted[k];
        const QPointF &point = points[i];
        const int cell = int(std::floor(point.y() / dotCell) - top) * grid.columns +
                         int(std::floor(point.x() / dotCell) - left);
        const int file = textures.fileOf(i) + 1;
        cells.cellOf[k] = cell;
        cells.colours[k] = fileColours[file];
        cells.redness[k] = fileRedness[file];
        ++starts[cell + 1];
        // Signals come in list order: the first of the reddest keeps the cell.
        if (best[cell] < 0 || fileRedness[file] > reddest[cell]) {
            best[cell] = i;
            colours[cell] = fileColours[file];
            reddest[cell] = fileRedness[file];
        }
    }
    for (int cell = 0; cell < count; ++cell)
        starts[cell + 1] += starts[cell];
    QVector<int> filled(cells.starts.begin(), cells.starts.end() - 1);
    cells.members.resize(dotted.size());
    for (int k = 0; k < dotted.size(); ++k)
        cells.members[filled[cells.cellOf[k]]++] = k;
    cells.placeKey = shown.placeKey;
    cells.valid = true;
}

void MapSignalLayer::stampDot(QPainter *painter, MapSymbols &symbols, const QPointF &point,
                              QRgb rgba)
{
    symbols.keyed(
        painter, (quint64(1) << 40) | rgba, QRect(-4, -4, 9, 9),
        [rgba](QPainter *target, const QPointF &anchor) {
            target->setPen(MapStyle::linePen(MapStyle::background, 1));
            target->setBrush(QColor::fromRgba(rgba));
            target->drawEllipse(anchor, dotRadius, dotRadius);
        },
        point);
}

void MapSignalLayer::drawDots(QPainter *painter, const QRectF &area, const DotGrid &grid,
                              const Shown &shown, MapSymbols &symbols, MapPaintCounts &counts)
{
    const QRectF reach = area.adjusted(-4, -4, 4, 4);
    // The dots in a fixed order (by signal).
    QVector<int> drawn;
    drawn.reserve(grid.best.size());
    for (const int i : grid.best) {
        if (i >= 0)
            drawn.append(i);
    }
    std::sort(drawn.begin(), drawn.end());
    for (const int i : std::as_const(drawn)) {
        const QPointF &point = shown.points[i];
        if (!reaches(reach, point))
            continue;
        stampDot(painter, symbols, point, shown.lit->litColour(i).rgba());
        ++counts.signalDots;
    }
}

size_t MapSignalLayer::lookOf(const MapPaintScene &scene, const Shown &shown)
{
    // The places key stands for the signals' points, which are on screen and which pile up. The
    // number of images counts too: one without a spot draws the same symbol as no image, but the
    // counts of the layer differ.
    size_t look =
        qHashMulti(shown.placeKey, scene.size.width(), scene.size.height(), shown.stateLabels,
                   int(scene.signalLayer), scene.signalSize, shown.images.size());
    // What each symbol shows, mixed in list order (FNV-1a over one number per signal).
    const QVector<MapOverlay::Signal> &marks = scene.overlay->signalMarks;
    quint64 symbols = 0xcbf29ce484222325ull;
    for (int i = 0; i < marks.size(); ++i) {
        if (!shown.onScreen[i])
            continue;
        const MapOverlay::Signal &signal = marks[i];
        const int state = shown.stateLabels && signal.stateAvailable ? signal.textureState : -1;
        symbols = (symbols ^ (quint64(quint32(state)) << 2 | quint64(signal.marker) << 1 |
                              quint64(signal.balise))) *
                  0x100000001b3ull;
    }
    look = qHashMulti(look, symbols);
    for (int t = 0; t < shown.images.size(); ++t) {
        if (const std::optional<QRectF> &spot = shown.spots[t])
            look = qHashMulti(look, shown.images[t].index, spot->x(), spot->y(), spot->width(),
                              spot->height(), shown.images[t].texture.cacheKey());
    }
    return look;
}

QVector<int> MapSignalLayer::draw(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
                                  const Shown &shown, MapSymbols &symbols, MapPaintCounts &counts,
                                  RectGrid *solid)
{
    const QVector<MapOverlay::Signal> &marks = scene.overlay->signalMarks;
    // Symbols reach at most this far from their point.
    const QRectF reach = area.adjusted(-24, -24, 24, 24);
    const auto symbolBox = [](const QPointF &point) {
        return QRectF(point - QPointF(24, 24), QSizeF(48, 48));
    };
    int next = 0;        // the next entry of images, in list order
    QVector<int> dotted; // with the level of detail by density: signals drawn as dots
    if (shown.lit)
        dotted.reserve(marks.size());
    // Every signal of a dot's cell that reaches into the area lies within this.
    const QRectF dotReach = area.adjusted(-dotCell - 4, -dotCell - 4, dotCell + 4, dotCell + 4);
    for (int i = 0; i < marks.size(); ++i) {
        if (!shown.onScreen[i])
            continue;
        const MapOverlay::Signal &signal = marks[i];
        const QPointF &point = shown.points[i];
        if (shown.lit && shown.crowded[i]) {
            // Markers and balises show nothing worth seeing from afar.
            if (!signal.marker && !signal.balise && reaches(dotReach, point))
                dotted.append(i);
            continue;
        }
        if (next < shown.images.size() && shown.images[next].index == i) {
            const int t = next++;
            if (const std::optional<QRectF> &spot = shown.spots[t]) {
                const QPointF leaderEnd(spot->center().x(), spot->bottom());
                if (!reaches(reach, point) && !spot->intersects(area) &&
                    !QRectF(point, leaderEnd).normalized().adjusted(-1, -1, 1, 1).intersects(area))
                    continue;
                if (painter)
                    drawWithImage(painter, signal, point, *spot, shown.images[t].texture, symbols);
                if (solid)
                    solid->add(spot->united(symbolBox(point)));
                ++counts.texturesDrawn;
                counts.textureOffsets.insert(i, spot->topLeft() - point);
                continue;
            }
            ++counts.texturesWithoutSpot;
            if (shown.lit) {
                // No spot next to the signal: its dot, rather than a symbol that shows no state.
                if (reaches(dotReach, point))
                    dotted.append(i);
                continue;
            }
        }
        if (!reaches(reach, point))
            continue;
        if (solid)
            solid->add(symbolBox(point));
        if (!painter)
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
    return dotted;
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
