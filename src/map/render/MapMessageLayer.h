#pragma once

#include "MapOverlay.h"

#include <QSizeF>
#include <QString>

class QPainter;

// The text the map shows in its middle, in a box, while its data are not live: why (searching
// for the game, connection lost, …).
class MapMessageLayer
{
public:
    // The text to show; empty while the data are live.
    static QString waitingText(const MapOverlay &overlay);
    static void paint(QPainter *painter, const MapOverlay &overlay, const QSizeF &size);
};
