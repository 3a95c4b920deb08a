#pragma once

#include <QColor>
#include <QImage>

// The colour a signal's image shows lit: what a user reads from afar (red at danger, green at
// clear, yellow at caution), taken from the image alone so that it works with any game's
// pictures and any library's state numbers.
namespace LitColour {

// The dominant saturated, bright hue of the image: pixels that are opaque enough, bright enough
// and saturated enough vote for their hue (in 12 sectors of 30°), weighted by saturation and
// brightness; the winning sector's mean colour is returned. A picture without such pixels (a
// dark or grey head, an unlit balise) gives an invalid colour: no clear lit colour.
QColor of(const QImage &image);

// Whether a lit colour reads as danger: a red hue (within 25° of pure red), well saturated.
bool isDanger(const QColor &lit);

// The neutral grey drawn for a signal without a clear lit colour, image or state.
QColor neutral();

} // namespace LitColour
