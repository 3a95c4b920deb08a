#pragma once

#include "MapCamera.h"
#include "MapNetwork.h"

#include <QSizeF>
#include <QVariantList>
#include <QVariantMap>

// What lies under a point of the map: the item asks it when the user clicks.
namespace MapHitTest {

// Trains are picked within this many pixels of their point.
constexpr double pickRadius = 10.0;

// The positioned trains of the data map shown within the pick radius of the screen point (x, y),
// nearest first (trains at the same distance in their order in "trains"), each as its whole map.
QVariantList trainsAt(const QVariantMap &data, const MapNetwork &network, const MapCamera &camera,
                      const QSizeF &itemSize, double x, double y);

} // namespace MapHitTest
