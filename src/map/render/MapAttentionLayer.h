#pragma once

#include "MapPaintScene.h"

class QPainter;

// What needs attention: a ring in the colour of its state round each train held at a signal,
// stalled or locked, and a red loop through the trains of each wait cycle, at every zoom.
namespace MapAttentionLayer {

void paint(QPainter *painter, const MapPaintScene &scene);

} // namespace MapAttentionLayer
