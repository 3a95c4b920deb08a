#include "MapSymbols.h"

#include "MapStyle.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

#include <cmath>

namespace {

// Label stamps are kept for this many distinct states; past that they are drawn directly.
constexpr int maximumLabelStamps = 512;

using MapStyle::linePen;
using MapStyle::signalPen;

void drawPathPoint(QPainter *painter, const QPointF &point)
{
    painter->setPen(linePen(MapStyle::path, 3));
    painter->drawPoint(point);
}

void drawReservation(QPainter *painter, const QPointF &point)
{
    painter->setPen(linePen(MapStyle::reservation, 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawEllipse(point, 7.0, 7.0);
}

void drawOccupation(QPainter *painter, const QPointF &point)
{
    painter->setPen(linePen(MapStyle::occupation, 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRectF(point - QPointF(4, 4), QSizeF(8, 8)));
}

void drawStem(QPainter *painter, const QPointF &point, bool marker)
{
    painter->setPen(signalPen(marker));
    painter->setBrush(MapStyle::background);
    painter->drawLine(point, point + QPointF(0, -8));
}

void drawSignalSymbol(QPainter *painter, const QPointF &point, MapSymbols::SignalShape shape,
                      bool marker)
{
    drawStem(painter, point, marker);
    switch (shape) {
    case MapSymbols::SignalShape::Marker:
        painter->drawRect(QRectF(point + QPointF(-6, -23), QSizeF(12, 15)));
        painter->drawText(point + QPointF(-4, -11), QStringLiteral("M"));
        break;
    case MapSymbols::SignalShape::Balise:
        painter->drawRect(QRectF(point + QPointF(-3, -14), QSizeF(6, 6)));
        break;
    case MapSymbols::SignalShape::Circle:
        painter->drawEllipse(point + QPointF(0, -11), 3.0, 3.0);
        break;
    }
}

QString stateText(int state)
{
    return QStringLiteral("E%1").arg(state);
}

void drawStateLabel(QPainter *painter, const QPointF &point, bool marker, int state)
{
    painter->setPen(signalPen(marker));
    painter->drawText(point + QPointF(6, -9), stateText(state));
}

void drawTrainDisc(QPainter *painter, const QPointF &point, bool selected)
{
    painter->setPen(Qt::NoPen);
    painter->setBrush(selected ? MapStyle::selectedTrain : MapStyle::train);
    const double radius = selected ? 5.0 : 2.5;
    painter->drawEllipse(point, radius, radius);
}

// Pixels that a text drawn at the anchor may touch, with room for antialiasing.
QRect textBounds(const QFont &font, const QString &text, const QPointF &offset)
{
    const QRectF box = QFontMetricsF(font).boundingRect(text).translated(offset);
    return QRect(QPoint(int(std::floor(box.left())) - 3, int(std::floor(box.top())) - 3),
                 QPoint(int(std::ceil(box.right())) + 3, int(std::ceil(box.bottom())) + 3));
}

} // namespace

void MapSymbols::begin(QPainter *painter)
{
    m_stamping = SymbolStamp::suits(painter);
    if (!m_stamping)
        return;
    m_target = SymbolStamp::targetOf(painter);
    const QPaintDevice *device = painter->device();
    const int dotsPerMeter = device ? int(std::lround(device->logicalDpiY() / 0.0254)) : 0;
    const QTransform &transform = painter->worldTransform();
    if (dotsPerMeter != m_dotsPerMeter || painter->font() != m_font ||
        transform.m11() != m_scaleX || transform.m22() != m_scaleY)
        reset(dotsPerMeter, painter->font(), transform.m11(), transform.m22());
}

void MapSymbols::reset(int dotsPerMeter, const QFont &font, double scaleX, double scaleY)
{
    m_dotsPerMeter = dotsPerMeter;
    m_font = font;
    m_scaleX = scaleX;
    m_scaleY = scaleY;
    m_keyed.clear();
    m_pathPoint = SymbolStamp(QRect(-3, -3, 7, 7), drawPathPoint, dotsPerMeter, scaleX, scaleY);
    m_reservation =
        SymbolStamp(QRect(-10, -10, 21, 21), drawReservation, dotsPerMeter, scaleX, scaleY);
    m_occupation = SymbolStamp(QRect(-7, -7, 15, 15), drawOccupation, dotsPerMeter, scaleX, scaleY);
    for (int marker = 0; marker < 2; ++marker) {
        for (const SignalShape shape :
             {SignalShape::Circle, SignalShape::Balise, SignalShape::Marker}) {
            QRect bounds(-6, -17, 13, 20);
            if (shape == SignalShape::Marker)
                bounds = QRect(-9, -26, 19, 29)
                             .united(textBounds(font, QStringLiteral("M"), QPointF(-4, -11)));
            m_signals[int(shape)][marker] = SymbolStamp(
                bounds,
                [shape, marker, font](QPainter *painter, const QPointF &point) {
                    painter->setFont(font);
                    drawSignalSymbol(painter, point, shape, marker != 0);
                },
                dotsPerMeter, scaleX, scaleY);
        }
        m_stems[marker] = SymbolStamp(
            QRect(-3, -11, 7, 14),
            [marker](QPainter *painter, const QPointF &point) {
                drawStem(painter, point, marker != 0);
            },
            dotsPerMeter, scaleX, scaleY);
    }
    m_trains[0] = SymbolStamp(
        QRect(-5, -5, 11, 11),
        [](QPainter *painter, const QPointF &point) { drawTrainDisc(painter, point, false); },
        dotsPerMeter, scaleX, scaleY);
    m_trains[1] = SymbolStamp(
        QRect(-7, -7, 15, 15),
        [](QPainter *painter, const QPointF &point) { drawTrainDisc(painter, point, true); },
        dotsPerMeter, scaleX, scaleY);
    m_labels.clear();
}

void MapSymbols::pathPoint(QPainter *painter, const QPointF &point)
{
    if (m_stamping)
        m_pathPoint.stamp(painter, m_target, point);
    else
        drawPathPoint(painter, point);
}

void MapSymbols::reservation(QPainter *painter, const QPointF &point)
{
    if (m_stamping)
        m_reservation.stamp(painter, m_target, point);
    else
        drawReservation(painter, point);
}

void MapSymbols::occupation(QPainter *painter, const QPointF &point)
{
    if (m_stamping)
        m_occupation.stamp(painter, m_target, point);
    else
        drawOccupation(painter, point);
}

void MapSymbols::signalSymbol(QPainter *painter, const QPointF &point, SignalShape shape,
                              bool marker)
{
    if (m_stamping)
        m_signals[int(shape)][int(marker)].stamp(painter, m_target, point);
    else
        drawSignalSymbol(painter, point, shape, marker);
}

void MapSymbols::signalStem(QPainter *painter, const QPointF &point, bool marker)
{
    if (m_stamping)
        m_stems[int(marker)].stamp(painter, m_target, point);
    else
        drawStem(painter, point, marker);
}

quint64 MapSymbols::labelKey(bool marker, int state)
{
    // Unsigned: a negative state has no defined left shift.
    return quint64(quint32(state)) << 1 | quint64(marker);
}

SymbolStamp &MapSymbols::labelStamp(bool marker, int state)
{
    const quint64 key = labelKey(marker, state);
    auto found = m_labels.find(key);
    if (found == m_labels.end()) {
        const QFont font = m_font;
        found = m_labels.insert(key,
                                SymbolStamp(
                                    textBounds(font, stateText(state), QPointF(6, -9)),
                                    [font, marker, state](QPainter *painter, const QPointF &point) {
                                        painter->setFont(font);
                                        drawStateLabel(painter, point, marker, state);
                                    },
                                    m_dotsPerMeter, m_scaleX, m_scaleY));
    }
    return found.value();
}

void MapSymbols::stateLabel(QPainter *painter, const QPointF &point, bool marker, int state)
{
    const quint64 key = labelKey(marker, state);
    if (m_stamping && (m_labels.contains(key) || m_labels.size() < maximumLabelStamps))
        labelStamp(marker, state).stamp(painter, m_target, point);
    else
        drawStateLabel(painter, point, marker, state);
}

void MapSymbols::keyed(QPainter *painter, quint64 key, const QRect &bounds,
                       const SymbolStamp::Drawer &drawer, const QPointF &point)
{
    if (!m_stamping) {
        painter->save();
        drawer(painter, point);
        painter->restore();
        return;
    }
    auto found = m_keyed.find(key);
    if (found == m_keyed.end()) {
        if (m_keyed.size() >= 4096)
            m_keyed.clear();
        found =
            m_keyed.insert(key, SymbolStamp(bounds, drawer, m_dotsPerMeter, m_scaleX, m_scaleY));
    }
    found->stamp(painter, m_target, point);
}

void MapSymbols::trainDisc(QPainter *painter, const QPointF &point, bool selected)
{
    if (m_stamping)
        m_trains[int(selected)].stamp(painter, m_target, point);
    else
        drawTrainDisc(painter, point, selected);
}
