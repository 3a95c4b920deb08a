#pragma once

#include "MapCamera.h"
#include "MapNetwork.h"

#include <QSizeF>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

// What lies under a point of the map: the item asks it when the user clicks.
namespace MapHitTest {

// Trains are picked within this many pixels of their point.
constexpr double pickRadius = 10.0;

// The positioned trains of the data map shown within the pick radius of the screen point (x, y),
// nearest first (trains at the same distance in their order in "trains"), each as its whole map.
// placeOf: where a train on this node at this fraction is drawn (its node's point unless given).
QVariantList trainsAt(const QVariantMap &data, const MapNetwork &network, const MapCamera &camera,
                      const QSizeF &itemSize, double x, double y,
                      const std::function<QPointF(int node, double fraction)> &placeOf = {});

// Signals are picked within this many pixels of their point.
constexpr double signalPickRadius = 8.0;

// The map signal entry of the signal nearest to (x, y) within the pick radius; empty if none.
QVariantMap signalAt(const QVariantMap &data, const MapNetwork &network, const MapCamera &camera,
                     const QSizeF &itemSize, double x, double y);

} // namespace MapHitTest
