#pragma once

#include "MapFrameCache.h"
#include "MapNetworkLayer.h"
#include "MapPaintScene.h"
#include "MapSignalLayer.h"
#include "MapStationLayer.h"
#include "MapSymbols.h"
#include "MapTrainLayer.h"
#include "MapUsageLayer.h"
#include "TextureLoader.h"
#include "TrackStretch.h"

#include <QImage>

class QPainter;

// Draws the whole-network map with a QPainter, without Qt Quick, layer by layer: the network
// (background, track edges, junction dots) into a cached image, and over it at every paint the
// calculated path and track usage, signals, trains and station names, then the waiting text. The
// frame cache keeps what a moving view lets it reuse. The map item owns one and hands it a scene
// per paint; tests and benchmarks draw into a QImage with it.
class MapRenderer
{
public:
    using SignalLayer = MapSignalMode;
    using Scene = MapPaintScene;
    using Counts = MapPaintCounts;
    static constexpr int maxTextureFiles = SignalTextures::maxTextureFiles;

    void paint(QPainter *painter, const Scene &scene);

    // The network image is redrawn at the next paint (a new geometry).
    void invalidateNetwork()
    {
        m_frames.invalidateNetwork();
        m_stretches.invalidate();
    }
    // A new geometry: the network image and the signals' places are made again.
    void invalidateGeometry()
    {
        invalidateNetwork();
        m_signals.invalidatePlaces();
    }
    // Whether the next paint for this camera and size redraws the network image.
    bool needsNetworkRedraw(const MapCamera &camera, const QSizeF &size,
                            const MapNetwork *network) const
    {
        return m_frames.needsNetworkRedraw(camera, size, network);
    }
    const QImage &networkImage() const { return m_frames.networkImage(); }

    // Where the signal images come from (the process's shared loader unless set).
    void setTextureLoader(TextureLoader *loader) { m_signals.textures().setLoader(loader); }
    TextureLoader *textureLoader() const { return m_signals.textures().loader(); }
    // The last paint met images still loading: a paint after the loader's next file shows more.
    bool texturesPending() const { return m_signals.textures().pending(); }
    const Counts &lastCounts() const { return m_counts; }

private:
    // The layers over the network, in order; only what reaches into area is drawn.
    void paintLayers(QPainter *painter, const Scene &scene, const QRectF &area);
    void paintLayersOnce(QPainter *painter, const Scene &scene, const QRectF &area);
    size_t frameKeyOf(const Scene &scene) const;

    MapFrameCache m_frames;
    MapNetworkLayer m_network;
    MapSymbols m_symbols; // stamped symbols, kept between paints, shared by the layers
    TrackStretches m_stretches;
    MapUsageLayer m_usage;
    MapSignalLayer m_signals;
    MapTrainLayer m_trains;
    MapStationLayer m_stations;
    Counts m_counts;
};
