#include "MapTrainLayer.h"

#include "MapStyle.h"
#include "MapSymbols.h"
#include "RectGrid.h"
#include "TrackStretch.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {
constexpr int maximumLabelParts = 8192;
} // namespace

QPointF MapTrainLayer::placeOf(const MapPaintScene &scene, const MapOverlay::Train &train,
                               QPointF *heading)
{
    if (!scene.byDensity) {
        if (heading)
            *heading = QPointF(1, 0);
        return scene.screenPoint(train.node);
    }
    return TrackStretch::of(scene, train.node).at(train.fraction, heading);
}

QVector<QRectF> MapTrainLayer::selectedLabelBoxes(QPainter *painter, const MapPaintScene &scene)
{
    QVector<QRectF> boxes;
    const QFontMetricsF metrics(MapStyle::trainFont(), painter->device());
    for (const MapOverlay::Train &train : scene.overlay->trains) {
        if (!train.selected)
            continue;
        const QPointF point = placeOf(scene, train);
        if (MapCamera::isOnScreen(point, scene.size))
            boxes.append(labelBox(train, point, metrics));
    }
    return boxes;
}

double MapTrainLayer::markerSize(const QVector<QPointF> &points)
{
    if (points.size() < 2)
        return 4.5;
    // (Not a union of empty rectangles, which ignores them all.)
    QPointF low = points.first();
    QPointF high = low;
    for (const QPointF &point : points) {
        low = QPointF(std::min(low.x(), point.x()), std::min(low.y(), point.y()));
        high = QPointF(std::max(high.x(), point.x()), std::max(high.y(), point.y()));
    }
    // The markers take at most a fifth of the area they are spread over.
    const double each =
        std::max(high.x() - low.x(), 10.0) * std::max(high.y() - low.y(), 10.0) / points.size();
    // In half pixels: a view that pans changes the area a little, and each size is its own stamps.
    return std::clamp(std::round(std::sqrt(0.2 * each)) / 2, 2.5, 4.5);
}

void MapTrainLayer::drawShape(QPainter *painter, const QPointF &anchor, bool selected, bool stopped,
                              int direction, double size)
{
    // Light on a dark rim: the rim sets the marker off the signal dots and usage strokes under it,
    // whatever their colour, and its shape tells a moving train (an arrow in its sense of travel)
    // from a stopped one (a square).
    const QColor colour = selected ? MapStyle::selectedTrain : MapStyle::trainMarker;
    const double rim = selected ? 2 : size < 3.5 ? 0.75 : 1;
    QPainterPath shape;
    if (stopped) {
        const double half = size * 0.75;
        shape.addRect(QRectF(anchor - QPointF(half, half), QSizeF(2 * half, 2 * half)));
    } else {
        const double angle = direction * 2 * M_PI / 32;
        const QPointF forward(std::cos(angle), std::sin(angle));
        const QPointF side(-forward.y(), forward.x());
        const QPointF back = anchor - forward * size * 0.8;
        shape.moveTo(anchor + forward * size * 1.2);
        shape.lineTo(back + side * size * 0.95);
        shape.lineTo(back - side * size * 0.95);
        shape.closeSubpath();
    }
    // Round joins: the rim reaches no further than its width from the shape (see drawMarker).
    painter->setPen(QPen(MapStyle::trainRim, 2 * rim, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->setBrush(MapStyle::trainRim);
    painter->drawPath(shape);
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->drawPath(shape);
}

int MapTrainLayer::reachOf(double size)
{
    return int(std::ceil(size * 1.2)) + 3;
}

void MapTrainLayer::drawMarker(QPainter *painter, const MapOverlay::Train &train,
                               const QPointF &point, const QPointF &heading, double size,
                               MapSymbols &symbols)
{
    if (train.selected)
        size = 8;
    const bool stopped = std::abs(train.speed) < 0.5;
    // The sense of travel in one of 32 directions, the size in quarter pixels: one stamp each.
    const QPointF ahead = train.direction > 0 ? heading : -heading;
    const int direction =
        stopped ? 0
                : int(std::lround(std::atan2(ahead.y(), ahead.x()) / (2 * M_PI) * 32 + 32)) % 32;
    const int quarters = int(std::lround(size * 4));
    const quint64 key = (quint64(3) << 40) | quint64(train.selected) | quint64(stopped) << 1 |
                        quint64(direction) << 2 | quint64(quarters) << 8;
    // The arrow's tip lies 1.2 sizes ahead, the rim at most 2 pixels beyond, and a pixel of
    // antialiasing: the stamp covers no more, since each stamped pixel costs a blend.
    const int reach = reachOf(size);
    const bool selected = train.selected;
    symbols.keyed(
        painter, key, QRect(-reach, -reach, 2 * reach + 1, 2 * reach + 1),
        [selected, stopped, direction, quarters](QPainter *target, const QPointF &anchor) {
            drawShape(target, anchor, selected, stopped, direction, quarters / 4.0);
        },
        point);
}

MapTrainLayer::Shown MapTrainLayer::shownTrains(const MapPaintScene &scene,
                                                QVector<QPointF> *headings)
{
    const QVector<MapOverlay::Train> &trains = scene.overlay->trains;
    Shown shown;
    shown.reserve(trains.size());
    for (int i = 0; i < trains.size(); ++i) {
        QPointF heading;
        const QPointF point = placeOf(scene, trains[i], &heading);
        if (!MapCamera::isOnScreen(point, scene.size))
            continue;
        shown.append({i, point});
        headings->append(heading);
    }
    return shown;
}

void MapTrainLayer::drawMarkers(QPainter *painter, const QVector<MapOverlay::Train> &trains,
                                const Shown &shown, const QVector<QPointF> &headings,
                                const QRectF &area, MapSymbols &symbols)
{
    QVector<QPointF> points;
    points.reserve(shown.size());
    for (const auto &entry : shown)
        points.append(entry.second);
    const double size = markerSize(points);
    // The size comes from every train shown; a strip draws only the markers that reach into it.
    const QRectF reach = area.adjusted(-20, -20, 20, 20);
    int selected = -1;
    QVector<int> drawn;
    drawn.reserve(shown.size());
    for (int k = 0; k < shown.size(); ++k) {
        if (trains[shown[k].first].selected)
            selected = k;
        else if (reach.contains(shown[k].second))
            drawn.append(k);
    }
    // The markers lie anywhere on the map: the pixels of the markers a little ahead are fetched
    // while one is blended, which would otherwise wait for each of its rows.
    constexpr int ahead = 4;
    const int side = reachOf(size);
    const QRect bounds(-side, -side, 2 * side + 1, 2 * side + 1);
    for (int j = 0; j < std::min(ahead, int(drawn.size())); ++j)
        symbols.prefetch(shown[drawn[j]].second, bounds);
    for (int j = 0; j < drawn.size(); ++j) {
        if (j + ahead < drawn.size())
            symbols.prefetch(shown[drawn[j + ahead]].second, bounds);
        const int k = drawn[j];
        drawMarker(painter, trains[shown[k].first], shown[k].second, headings[k], size, symbols);
    }
    if (selected >= 0)
        drawMarker(painter, trains[shown[selected].first], shown[selected].second,
                   headings[selected], size, symbols);
}

void MapTrainLayer::keepLabelsFor(const QFont &font)
{
    if (font != m_labelFont || m_labelParts.size() > maximumLabelParts ||
        m_labelsSeenOnce.size() > maximumLabelParts) {
        m_labelParts.clear();
        m_labelsSeenOnce.clear();
        m_labelFont = font;
    }
}

void MapTrainLayer::paint(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
                          MapSymbols &symbols, MapPaintCounts &counts,
                          const QVector<QRectF> &keepClear)
{
    const bool otherLabelsAllowed = area == scene.view();
    const QFont font = MapStyle::trainFont();
    painter->setFont(font);
    keepLabelsFor(font);
    bool otherLabels = otherLabelsAllowed && scene.camera.scale() > labelScale;
    const QFontMetricsF metrics(painter->font(), painter->device());
    const QVector<MapOverlay::Train> &trains = scene.overlay->trains;

    // The selected train's label is placed first, so it is always drawn.
    RectGrid placed(scene.size, 64);
    for (const QRectF &box : keepClear)
        placed.add(box);
    for (const MapOverlay::Train &train : trains) {
        if (!train.selected)
            continue;
        const QPointF point = placeOf(scene, train);
        if (MapCamera::isOnScreen(point, scene.size)) {
            placed.add(labelBox(train, point, metrics));
            counts.trainLabelBoxes.append(labelBox(train, point, metrics));
        }
    }

    const QPen labelPen(MapStyle::trainLabel);
    const double ascent = metrics.ascent();
    // Markers first, the labels over them; the selected train's marker over the others.
    // (Without the level of detail by density each disc is drawn with its label.)
    QVector<QPointF> headings;
    const Shown shown = shownTrains(scene, &headings);
    if (scene.byDensity)
        drawMarkers(painter, trains, shown, headings, area, symbols);
    if (scene.byDensity) {
        // Labels of other trains where they would take less than a fifth of the view (about
        // 80 × 16 pixels each), so that they do not bury the network.
        otherLabels = otherLabelsAllowed &&
                      shown.size() * 80.0 * 16.0 < 0.2 * scene.size.width() * scene.size.height();
    }
    for (const auto &[i, point] : shown) {
        const MapOverlay::Train &train = trains[i];
        if (!scene.byDensity)
            symbols.trainDisc(painter, point, train.selected);
        if (!otherLabels && !train.selected)
            continue;
        if (!train.selected) {
            const QRectF box = labelBox(train, point, metrics);
            if (placed.overlapsAny(box)) {
                ++counts.trainLabelsLeftOut;
                continue;
            }
            placed.add(box);
            counts.trainLabelBoxes.append(box);
        }
        ++counts.trainLabelsDrawn;
        painter->setPen(labelPen);
        drawLabel(painter, train, point + QPointF(7, 14 - ascent), metrics);
    }
}

const MapTrainLayer::LabelPart &MapTrainLayer::laidOut(const QString &text,
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

QRectF MapTrainLayer::labelBox(const MapOverlay::Train &train, const QPointF &point,
                               const QFontMetricsF &metrics)
{
    const auto whole = m_labelParts.constFind(train.label());
    const double advance = whole != m_labelParts.constEnd()
                               ? whole->advance
                               : (train.name.isEmpty() ? 0 : laidOut(train.name, metrics).advance) +
                                     laidOut(train.tail(), metrics).advance;
    // The label's baseline starts at P + (7, 14).
    return QRectF(point.x() + 7, point.y() + 14 - metrics.ascent(), advance, metrics.height());
}

void MapTrainLayer::drawLabel(QPainter *painter, const MapOverlay::Train &train,
                              const QPointF &origin, const QFontMetricsF &metrics)
{
    // A label seen for the first time is drawn as its name, then its tail where the name's
    // advance ends (both kept, and reused as the train moves on), which puts every glyph where
    // drawing the whole text would; a label seen again is kept whole, one drawing instead of two.
    const QString label = train.label();
    const auto whole = m_labelParts.constFind(label);
    if (whole != m_labelParts.constEnd()) {
        painter->drawStaticText(origin, whole.value().text);
        return;
    }
    if (m_labelsSeenOnce.contains(label)) {
        painter->drawStaticText(origin, laidOut(label, metrics).text);
        return;
    }
    m_labelsSeenOnce.insert(label);
    double tailOffset = 0;
    if (!train.name.isEmpty()) {
        const LabelPart &name = laidOut(train.name, metrics);
        painter->drawStaticText(origin, name.text);
        tailOffset = name.advance;
    }
    painter->drawStaticText(origin + QPointF(tailOffset, 0), laidOut(train.tail(), metrics).text);
}
