#pragma once

#include <QColor>
#include <QFont>
#include <QPen>

// Every colour, pen and font of the map, in one place. The painted item, the network, the symbols
// and the texts all take theirs from here.
namespace MapStyle {

// The map's background, under the network and inside symbols.
extern const QColor background;

// The network.
extern const QColor edge;
extern const QColor junction;

// Path and usage.
extern const QColor path;
extern const QColor reservation;
extern const QColor occupation;

// Signals.
extern const QColor marker;
extern const QColor plainSignal; // any signal but a marker

// Trains and their labels.
extern const QColor selectedTrain;
extern const QColor train;
extern const QColor trainMarker; // with the level of detail by density
extern const QColor trainRim;
extern const QColor trainLabel;

// Trains that need attention: rings by state, and the loop of a wait cycle.
extern const QColor heldRing;
extern const QColor stalledRing;
extern const QColor deadlockLoop;
constexpr double attentionRingRadius = 11;
constexpr double attentionRingWidth = 2.5;
constexpr double deadlockLoopWidth = 3;

// Station names: text on a translucent box.
extern const QColor stationName;
extern const QColor stationBox;

// The text shown in the middle while the data are not live.
extern const QColor message;
extern const QColor messageBox;
extern const QColor messageBorder;

// The pen of every line of the map: square caps, bevelled joins. One pixel wide or less, the
// raster engine draws it on its fast path for thin antialiased lines.
QPen linePen(const QColor &colour, double width);
// Outlines and texts of signals: markers in their own colour.
QPen signalPen(bool marker);

QFont trainFont();
QFont stationFont();
QFont messageFont();

} // namespace MapStyle
