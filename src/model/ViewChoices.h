#pragma once

#include <QObject>

// The named choices that the window, the map and the capture share. Each is a namespace of its
// own so that QML reads the values as ListScope.Selection or SignalLayer.Symbols (the window's
// and the map's modules register them); the numbers are those the user's settings hold.

// Which tracks the paged list shows.
namespace ListScope {
Q_NAMESPACE
enum Scope {
    Trains = 0,      // tracks with a positioned train
    WithSignals = 1, // tracks with a signal
    AllTracks = 2,
    Selection = 3 // the one selected track
};
Q_ENUM_NS(Scope)
constexpr bool isScope(int value)
{
    return value >= Trains && value <= Selection;
}
} // namespace ListScope

// How the map shows signals.
namespace SignalLayer {
Q_NAMESPACE
enum Layer {
    Images = 0,  // the game's images where they fit, symbols elsewhere
    Symbols = 1, // symbols only
    Hidden = 2,
    // By what fits on screen: images beside their signals where there is room, else a dot of each
    // signal's lit colour, else one dot per cell for the reddest (the default)
    Auto = 3
};
Q_ENUM_NS(Layer)
constexpr bool isLayer(int value)
{
    return value >= Images && value <= Auto;
}
} // namespace SignalLayer
