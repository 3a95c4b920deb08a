#pragma once

#include "MapPaintScene.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QStaticText>
#include <QString>

class QFontMetricsF;

// Station names, each in a box at the middle of its tracks, the larger stations first; a name
// that would come near one already drawn is left out at this zoom.
class MapStationLayer
{
public:
    static constexpr double nameWidth = 240; // longer names are elided

    // keepClear: boxes that no name may cover (the selected train's label).
    void paint(QPainter *painter, const MapPaintScene &scene, MapPaintCounts &counts,
               const QVector<QRectF> &keepClear = {});

private:
    struct Name
    {
        QStaticText text;
        double advance;
    };
    // A name placed for the last camera: its box, with the air it keeps around it, and its text.
    struct Placed
    {
        QRectF box;
        QRectF spaced;
        QStaticText text;
    };
    // What the names' places depend on, but the boxes they keep clear of.
    struct Placing
    {
        QVector<MapOverlay::Station> stations; // kept, so that its data is not another list's
        MapCamera camera;
        QSizeF size;
        QFont font;
        int dpiX = 0;
        int dpiY = 0;
        bool operator==(const Placing &other) const;
    };
    // The names of the stations in view, where each would go, the larger stations first.
    QVector<Placed> candidates(const MapPaintScene &scene, const QFontMetricsF &metrics);
    // The candidates placed in turn clear of the boxes and of one another.
    QVector<Placed> place(const QSizeF &size, const QVector<QRectF> &keepClear) const;
    // The names placed clear of these boxes.
    const QVector<Placed> &placed(const MapPaintScene &scene, Placing placing,
                                  const QFontMetricsF &metrics, const QVector<QRectF> &keepClear);

    // Draws the names one by one, each box then its text (they lie apart: the same pixels as
    // all boxes, then all texts), where the painter draws into an image without clip or
    // transform. A name whose pixels underneath are those it was drawn over at the last paint
    // gets the pixels it gave then, copied instead of drawn.
    bool drawKept(QPainter *painter, const QVector<Placed> &names);
    void drawName(QPainter *painter, const Placed &name);

    QHash<QString, Name> m_names; // laid out once, by station name
    // The names only move with the camera or the station list: placed once for both, and again
    // only where the boxes to keep clear of (the selected train's label, which moves with each
    // snapshot) cover one of them.
    Placing m_placing;
    bool m_placingValid = false;
    QVector<Placed> m_candidates;
    QVector<Placed> m_free; // placed as if nothing were to be kept clear
    QVector<QRectF> m_keptClear;
    QVector<Placed> m_placed; // placed clear of m_keptClear
    // The names of the last paint, in order, with the pixels under and over each.
    struct Kept
    {
        QRectF box;
        QString text;
        QRect pixels;
        QImage under;
        QImage over;
    };
    QVector<Kept> m_kept;
    QImage::Format m_keptFormat = QImage::Format_Invalid;
    QPainter::RenderHints m_keptHints;
};
