#pragma once

#include "MapCamera.h"
#include "MapNetwork.h"
#include "MapOverlay.h"

#include <QHash>
#include <QRectF>
#include <QSizeF>
#include <QVector>

// How signals are shown: the game's images where they fit (symbols elsewhere), symbols only, or
// not at all.
enum class MapSignalMode { Images = 0, Symbols = 1, Hidden = 2, Auto = 3 };

class TrackStretches;

// Everything one paint of the map shows.
struct MapPaintScene
{
    const MapNetwork *network = nullptr;
    const MapOverlay *overlay = nullptr;
    MapCamera camera;
    QSizeF size;
    bool showCalculatedPath = false;
    double signalSize = 64;
    MapSignalMode signalLayer = MapSignalMode::Images;
    bool stationNames = true;
    // The camera is moving: the network image drawn for an earlier camera may be shifted or
    // scaled instead of redrawn, and the last frame moved with the view while the data stay
    // the same. A paint that is not moving always shows the exact drawing.
    bool moving = false;
    // Changes whenever the overlay's content may have changed (a new data map).
    quint64 overlayGeneration = 0;
    // The level of detail follows what fits on screen: usage as strokes along the tracks, trains
    // at their place on the track, signals that pile up as dots in the colour they show. Off, the
    // map keeps its plain drawing (usage marks and trains at the track's point, every signal's
    // symbol or image).
    bool byDensity = false;
    // Where the tracks' stretches of the drawing are kept, if anywhere.
    TrackStretches *stretches = nullptr;

    QRectF view() const { return QRectF(QPointF(0, 0), size); }
    QPointF screenPoint(int node) const
    {
        const SdkTrackNode &record = network->nodes()[node];
        return camera.toScreen(record.x, record.y, size);
    }
};

// What the last paint drew, for tests and benchmarks.
struct MapPaintCounts
{
    int texturesDrawn = 0;
    int texturesWithoutSpot = 0; // drawn as their symbol instead
    int trainLabelsDrawn = 0;
    int trainLabelsLeftOut = 0; // would have covered a label drawn before
    int stationNamesDrawn = 0;
    int signalDots = 0;                 // dots drawn for signals that pile up (one per cell)
    bool networkRedrawn = false;        // the whole network image was drawn again
    bool networkShifted = false;        // the cached image was moved and its uncovered edges drawn
    bool networkScaled = false;         // the cached image was drawn scaled
    bool frameShifted = false;          // the last frame was moved and its uncovered edges drawn
    bool signalLayerReused = false;     // the signal layer of the last paint was used again
    bool frameScaled = false;           // the last frame was drawn scaled (a zoom in progress)
    QVector<QRectF> trainLabelBoxes;    // where the drawn train labels lie
    QVector<QRectF> stationNameBoxes;   // where the drawn station names lie
    QHash<int, QPointF> textureOffsets; // by signal: where its image lies from its track point
};
