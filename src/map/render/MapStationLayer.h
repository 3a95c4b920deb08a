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
    // A name placed for the last camera: its box and its text.
    struct Placed
    {
        QRectF box;
        QStaticText text;
    };
    // What the names' places depend on.
    struct Placing
    {
        QVector<MapOverlay::Station> stations; // kept, so that its data is not another list's
        MapCamera camera;
        QSizeF size;
        QVector<QRectF> keepClear;
        QFont font;
        int dpiX = 0;
        int dpiY = 0;
        bool operator==(const Placing &other) const;
    };
    // Places the names anew.
    void place(const MapPaintScene &scene, const QFontMetricsF &metrics,
               const QVector<QRectF> &keepClear);

    QHash<QString, Name> m_names; // laid out once, by station name
    // The names only move with the camera or the station list: placed once for both.
    Placing m_placing;
    bool m_placingValid = false;
    QVector<Placed> m_placed;
};
