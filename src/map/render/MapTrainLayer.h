#pragma once

#include "MapPaintScene.h"

#include <QFont>
#include <QHash>
#include <QSet>
#include <QStaticText>
#include <QString>

class MapSymbols;
class QFontMetricsF;
class QPainter;

// The trains: a disc at each train's track point, the selected one larger, and a label "name ·
// fraction%" beside it. Labels never cover one another: one that would cover a label already
// placed is left out at this zoom, the selected train's is placed first and always drawn, and
// the others appear only above a scale.
class MapTrainLayer
{
public:
    // Labels of trains that are not selected are drawn above this scale only.
    static constexpr double labelScale = 0.025;

    // area: what the paint covers; only the whole item places labels against one another (a
    // strip uncovered by a movement draws none but the selected train's).
    // keepClear: boxes that the labels of trains that are not selected keep clear of (station
    // names, which come before them).
    void paint(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
               MapSymbols &symbols, MapPaintCounts &counts, const QVector<QRectF> &keepClear = {});
    // Where the selected train's label goes (nothing when it is off screen).
    QVector<QRectF> selectedLabelBoxes(QPainter *painter, const MapPaintScene &scene);
    // Where a train is drawn: its track's point, or with the level of detail by density its place
    // along its track's stretch, and there the direction of growing fractions.
    static QPointF placeOf(const MapPaintScene &scene, const MapOverlay::Train &train,
                           QPointF *heading = nullptr);

private:
    // A marker of a readable size: an arrow in the sense of travel for a moving train, a square
    // for a stopped one, larger and in its own colour for the selected one, light on a dark rim.
    // size: half the marker's width for a train that is not selected.
    static void drawMarker(QPainter *painter, const MapOverlay::Train &train, const QPointF &point,
                           const QPointF &heading, double size, MapSymbols &symbols);
    // How far a marker of this size reaches from its point, in whole pixels.
    static int reachOf(double size);
    static void drawShape(QPainter *painter, const QPointF &anchor, bool selected, bool stopped,
                          int direction, double size);
    // Half the width of the markers of trains that are not selected: smaller where many trains
    // share the area they are shown in, never below 2.5 (5 pixels across, 6.5 with the rim).
    static double markerSize(const QVector<QPointF> &points);
    // The trains on screen: their index and point, and beside them their headings.
    using Shown = QVector<QPair<int, QPointF>>;
    static Shown shownTrains(const MapPaintScene &scene, QVector<QPointF> *headings);
    // The markers of the trains shown, the selected train's over the others.
    static void drawMarkers(QPainter *painter, const QVector<MapOverlay::Train> &trains,
                            const Shown &shown, const QVector<QPointF> &headings,
                            const QRectF &area, MapSymbols &symbols);

    struct LabelPart
    {
        QStaticText text;
        double advance;
    };
    const LabelPart &laidOut(const QString &text, const QFontMetricsF &metrics);
    QRectF labelBox(const MapOverlay::Train &train, const QPointF &point,
                    const QFontMetricsF &metrics);
    void drawLabel(QPainter *painter, const MapOverlay::Train &train, const QPointF &origin,
                   const QFontMetricsF &metrics);
    // Forgets the laid out labels when the font changes or when they grow too many.
    void keepLabelsFor(const QFont &font);

    // Labels are laid out once and kept (QStaticText): laying out thousands of texts at every
    // paint costs more than the rest of the dynamic layers together.
    QHash<QString, LabelPart> m_labelParts; // whole labels, names and label tails, by text
    QSet<QString> m_labelsSeenOnce;
    QFont m_labelFont;
};
