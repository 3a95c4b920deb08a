#pragma once

#include "MapPaintScene.h"

#include <QHash>
#include <QStaticText>
#include <QString>

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
    QHash<QString, Name> m_names; // laid out once, by station name
};
