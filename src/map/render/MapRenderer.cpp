#include "MapRenderer.h"

#include "MapAttentionLayer.h"
#include "MapMessageLayer.h"

#include <QPainter>

void MapRenderer::paint(QPainter *painter, const Scene &scene)
{
    m_counts = Counts();
    const QSizeF size = scene.size;
    if (!(size.width() >= 1) || !(size.height() >= 1) || !scene.network || !scene.overlay)
        return;
    painter->save(); // the pens, brushes and font set here are not the caller's business
    const auto network = [&](QPainter *target, const MapCamera &camera,
                             const QVector<QRectF> &areas) {
        m_network.draw(target, *scene.network, camera, size, areas);
    };
    const auto layers = [&](QPainter *target, const MapCamera &camera, const QRectF &area) {
        Scene seen = scene;
        seen.camera = camera;
        seen.stretches = &m_stretches;
        paintLayers(target, seen, area);
    };
    m_frames.paint(painter, {scene.camera, size, scene.moving, frameKeyOf(scene), scene.network},
                   network, layers, m_counts);
    MapMessageLayer::paint(painter, *scene.overlay, size);
    painter->restore();
}

size_t MapRenderer::frameKeyOf(const Scene &scene) const
{
    return qHashMulti(0, quintptr(scene.network), scene.overlayGeneration, textureLoader()->epoch(),
                      scene.size.width(), scene.size.height(), scene.showCalculatedPath,
                      scene.signalSize, int(scene.signalLayer), scene.stationNames,
                      scene.byDensity);
}

void MapRenderer::paintLayers(QPainter *painter, const Scene &scene, const QRectF &area)
{
    // The layers set fonts and pens of their own; the next area of a movement begins with the
    // painter as it was, and so keeps the symbols' stamps, which are made for one font.
    painter->save();
    paintLayersOnce(painter, scene, area);
    painter->restore();
}

void MapRenderer::paintLayersOnce(QPainter *painter, const Scene &scene, const QRectF &area)
{
    painter->setRenderHint(QPainter::Antialiasing, true);
    m_symbols.begin(painter);
    // At rest the network lies exactly under the layers: the usage strokes over it are kept.
    m_usage.paint(painter, scene, area, m_symbols,
                  scene.moving ? nullptr : &m_frames.networkImage());
    m_signals.paint(painter, scene, area, m_symbols, m_counts);
    // Labels and names are placed against one another over the whole item: a strip uncovered by
    // a movement draws no new ones (they would be placed without knowing the others), until the
    // view rests.
    const bool wholeItem = area == scene.view();
    if (scene.byDensity) {
        // What needs attention under the trains' markers, which stay visible over its rings.
        MapAttentionLayer::paint(painter, scene);
        // Labels by priority: the selected train's, then station names, then the other trains'.
        // The names go under the trains' markers, which stay visible over them.
        if (wholeItem)
            m_stations.paint(painter, scene, m_counts, m_trains.selectedLabelBoxes(painter, scene));
        m_trains.paint(painter, scene, area, m_symbols, m_counts, m_counts.stationNameBoxes);
        return;
    }
    m_trains.paint(painter, scene, area, m_symbols, m_counts);
    MapAttentionLayer::paint(painter, scene);
    // Names last: a handful of boxed labels that must stay readable over a crowd of trains.
    if (wholeItem)
        m_stations.paint(painter, scene, m_counts);
}
