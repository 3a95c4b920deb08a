#pragma once

#include "MapPaintScene.h"

#include <QLineF>
#include <QPointF>

#include <algorithm>
#include <cmath>

// A track's stretch of the drawing: from the middle of the edge to its first neighbour, through
// its node, to the middle of the edge to its second neighbour (screen points). A track without a
// neighbour ends at its node on that side.
struct TrackStretch
{
    QPointF start;
    QPointF node;
    QPointF end;

    static TrackStretch of(const MapPaintScene &scene, int node);
    static TrackStretch drawn(const MapPaintScene &scene, int node)
    {
        const QVector<SdkTrackNode> &nodes = scene.network->nodes();
        const SdkTrackNode &record = nodes[node];
        const QPointF point = scene.screenPoint(node);
        const auto half = [&](quint64 id) {
            const int other = id != record.id ? scene.network->indexOf(id) : -1;
            if (other < 0)
                return point;
            const QPointF neighbour = scene.screenPoint(other);
            return MapCamera::isDrawable(neighbour) ? (point + neighbour) / 2 : point;
        };
        return {half(record.neighbour1), point, half(record.neighbour2)};
    }

    // The point at this fraction of the stretch's length (0 at start), and the direction of
    // growing fractions there.
    QPointF at(double fraction, QPointF *heading = nullptr) const
    {
        const double first = QLineF(start, node).length();
        const double second = QLineF(node, end).length();
        const double total = first + second;
        const double along = std::clamp(fraction, 0.0, 1.0) * total;
        const bool onFirst = along <= first && first > 0;
        const QPointF from = onFirst ? start : node;
        const QPointF to = onFirst ? node : end;
        const double length = onFirst ? first : second;
        if (heading)
            *heading = length > 0 ? (to - from) / length : QPointF(1, 0);
        if (!(total > 0) || !(length > 0))
            return node;
        return from + (to - from) * ((onFirst ? along : along - first) / length);
    }
};

// The stretches of one camera's drawing, each worked out at its first use and kept while the
// camera, the item's size and the network stay the same: the usage strokes and the trains of
// every snapshot at rest ask for the same ones.
class TrackStretches
{
public:
    const TrackStretch &of(const MapPaintScene &scene, int node)
    {
        const QVector<SdkTrackNode> &nodes = scene.network->nodes();
        if (scene.camera != m_camera || scene.size != m_size || scene.network != m_network ||
            nodes.constData() != m_nodes || nodes.size() != m_stamps.size())
            reset(scene);
        if (m_stamps[node] != m_generation) {
            m_slots[node] = int(m_stretches.size());
            m_stretches.append(TrackStretch::drawn(scene, node));
            m_stamps[node] = m_generation;
        }
        return m_stretches[m_slots[node]];
    }
    // Forgets them all (a new geometry).
    void invalidate() { m_network = nullptr; }

private:
    void reset(const MapPaintScene &scene)
    {
        const QVector<SdkTrackNode> &nodes = scene.network->nodes();
        m_camera = scene.camera;
        m_size = scene.size;
        m_network = scene.network;
        m_nodes = nodes.constData();
        m_stretches.clear();
        if (m_stamps.size() != nodes.size() || ++m_generation == 0) {
            m_stamps.fill(0, nodes.size());
            m_slots.resize(nodes.size());
            m_generation = 1;
        }
    }

    MapCamera m_camera;
    QSizeF m_size;
    const MapNetwork *m_network = nullptr;
    const SdkTrackNode *m_nodes = nullptr;
    QVector<TrackStretch> m_stretches; // those worked out, in turn
    QVector<int> m_slots;              // by node: where its stretch lies among them
    QVector<quint32> m_stamps;         // by node: the generation its stretch was worked out in
    quint32 m_generation = 0;
};

inline TrackStretch TrackStretch::of(const MapPaintScene &scene, int node)
{
    return scene.stretches ? scene.stretches->of(scene, node) : drawn(scene, node);
}
