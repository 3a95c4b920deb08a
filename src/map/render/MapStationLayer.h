#pragma once

#include "MapPaintScene.h"

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QString>

class QFontMetricsF;
class QPainter;

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
};
