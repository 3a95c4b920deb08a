#include "MapTrainLayer.h"

#include "MapStyle.h"
#include "MapSymbols.h"
#include "RectGrid.h"
#include "TrackStretch.h"

#include <QFontMetricsF>
#include <QPainter>

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
        const QPointF point = placeOf(scene, train);
        if (train.selected && MapCamera::isOnScreen(point, scene.size))
            boxes.append(labelBox(train, point, metrics));
    }
    return boxes;
}

void MapTrainLayer::drawMarker(QPainter *painter, const MapOverlay::Train &train,
                               const QPointF &point, const QPointF &heading)
{
    const QColor colour = train.selected ? MapStyle::selectedTrain : MapStyle::train;
    const double size = train.selected ? 8 : 5.5;
    painter->setPen(MapStyle::linePen(MapStyle::background, 1.5));
    if (std::abs(train.speed) < 0.5) {
        painter->setBrush(MapStyle::background);
        painter->drawEllipse(point, size * 0.8, size * 0.8);
        painter->setPen(MapStyle::linePen(colour, 2.5));
        painter->setBrush(Qt::NoBrush);
        painter->drawEllipse(point, size * 0.55, size * 0.55);
        return;
    }
    const QPointF ahead = train.direction > 0 ? heading : -heading;
    const QPointF side(-ahead.y(), ahead.x());
    const QPointF tip = point + ahead * size * 1.2;
    const QPointF back = point - ahead * size * 0.8;
    const QPointF shape[3] = {tip, back + side * size * 0.9, back - side * size * 0.9};
    painter->setBrush(colour);
    painter->drawPolygon(shape, 3);
}

void MapTrainLayer::paint(QPainter *painter, const MapPaintScene &scene, bool otherLabelsAllowed,
                          MapSymbols &symbols, MapPaintCounts &counts,
                          const QVector<QRectF> &keepClear)
{
    const QFont font = MapStyle::trainFont();
    painter->setFont(font);
    if (font != m_labelFont || m_labelParts.size() > maximumLabelParts ||
        m_labelsSeenOnce.size() > maximumLabelParts) {
        m_labelParts.clear();
        m_labelsSeenOnce.clear();
        m_labelFont = font;
    }
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
    QVector<QPair<int, QPointF>> shown;
    shown.reserve(trains.size());
    int selected = -1;
    for (int i = 0; i < trains.size(); ++i) {
        const MapOverlay::Train &train = trains[i];
        QPointF heading;
        const QPointF point = placeOf(scene, train, &heading);
        if (!MapCamera::isOnScreen(point, scene.size))
            continue;
        shown.append({i, point});
        if (!scene.byDensity)
            continue;
        if (train.selected)
            selected = i;
        else
            drawMarker(painter, train, point, heading);
    }
    if (selected >= 0) {
        QPointF heading;
        const QPointF point = placeOf(scene, trains[selected], &heading);
        drawMarker(painter, trains[selected], point, heading);
    }
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
    const auto whole = m_labelParts.constFind(train.label);
    const double advance = whole != m_labelParts.constEnd()
                               ? whole->advance
                               : (train.name.isEmpty() ? 0 : laidOut(train.name, metrics).advance) +
                                     laidOut(train.tail, metrics).advance;
    // The label's baseline starts at P + (7, 14).
    return QRectF(point.x() + 7, point.y() + 14 - metrics.ascent(), advance, metrics.height());
}

void MapTrainLayer::drawLabel(QPainter *painter, const MapOverlay::Train &train,
                              const QPointF &origin, const QFontMetricsF &metrics)
{
    // A label seen for the first time is drawn as its name, then its tail where the name's
    // advance ends (both kept, and reused as the train moves on), which puts every glyph where
    // drawing the whole text would; a label seen again is kept whole, one drawing instead of two.
    const auto whole = m_labelParts.constFind(train.label);
    if (whole != m_labelParts.constEnd()) {
        painter->drawStaticText(origin, whole.value().text);
        return;
    }
    if (m_labelsSeenOnce.contains(train.label)) {
        painter->drawStaticText(origin, laidOut(train.label, metrics).text);
        return;
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
