#include "MapTrainLayer.h"

#include "MapStyle.h"
#include "MapSymbols.h"
#include "RectGrid.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {
constexpr int maximumLabelParts = 8192;
} // namespace

void MapTrainLayer::paint(QPainter *painter, const MapPaintScene &scene, bool otherLabelsAllowed,
                          MapSymbols &symbols, MapPaintCounts &counts)
{
    const QFont font = MapStyle::trainFont();
    painter->setFont(font);
    if (font != m_labelFont || m_labelParts.size() > maximumLabelParts ||
        m_labelsSeenOnce.size() > maximumLabelParts) {
        m_labelParts.clear();
        m_labelsSeenOnce.clear();
        m_labelFont = font;
    }
    const bool otherLabels = otherLabelsAllowed && scene.camera.scale() > labelScale;
    const QFontMetricsF metrics(painter->font(), painter->device());
    const QVector<MapOverlay::Train> &trains = scene.overlay->trains;

    // The selected train's label is placed first, so it is always drawn.
    RectGrid placed(scene.size, 64);
    for (const MapOverlay::Train &train : trains) {
        if (!train.selected)
            continue;
        const QPointF point = scene.screenPoint(train.node);
        if (MapCamera::isOnScreen(point, scene.size)) {
            placed.add(labelBox(train, point, metrics));
            counts.trainLabelBoxes.append(labelBox(train, point, metrics));
        }
    }

    const QPen labelPen(MapStyle::trainLabel);
    const double ascent = metrics.ascent();
    for (const MapOverlay::Train &train : trains) {
        const QPointF point = scene.screenPoint(train.node);
        if (!MapCamera::isOnScreen(point, scene.size))
            continue;
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
