#include "MapNetwork.h"

#include "GeometryBlob.h"

#include <algorithm>
#include <cmath>

bool MapNetwork::setGeometry(const QByteArray &blob)
{
    // Same buffer or same bytes: the network did not change.
    const bool sameBuffer =
        blob.size() == m_bytes.size() && blob.constData() == m_bytes.constData();
    if (sameBuffer || blob == m_bytes)
        return false;
    m_bytes = blob;
    m_nodes = GeometryBlob::toNodes(m_bytes);
    rebuildIndex();
    rebuildEdges();
    rebuildDegrees();
    return true;
}

void MapNetwork::rebuildIndex()
{
    m_index.clear();
    m_denseIndex.clear();
    m_lowestId = 0;
    if (m_nodes.isEmpty())
        return;
    quint64 lowest = quint64(m_nodes[0].id);
    quint64 highest = quint64(m_nodes[0].id);
    for (const SdkTrackNode &node : std::as_const(m_nodes)) {
        lowest = std::min(lowest, quint64(node.id));
        highest = std::max(highest, quint64(node.id));
    }
    const quint64 span = highest - lowest;
    const bool close = span < quint64(m_nodes.size()) * 4 + 1024;
    // The first record of a duplicated id keeps the entry: walk backwards so that it is written
    // last.
    if (close) {
        m_lowestId = lowest;
        m_denseIndex.fill(-1, qsizetype(span) + 1);
        for (int i = int(m_nodes.size()) - 1; i >= 0; --i)
            m_denseIndex[qsizetype(m_nodes[i].id - lowest)] = i;
    } else {
        m_index.reserve(m_nodes.size());
        for (int i = int(m_nodes.size()) - 1; i >= 0; --i)
            m_index[m_nodes[i].id] = i;
    }
}

void MapNetwork::rebuildEdges()
{
    m_edges.clear();
    m_edges.reserve(m_nodes.size());
    for (int a = 0; a < m_nodes.size(); ++a) {
        const SdkTrackNode &nodeA = m_nodes[a];
        for (const quint64 link : {nodeA.neighbour1, nodeA.neighbour2}) {
            const int b = indexOf(link);
            if (b < 0)
                continue;
            const SdkTrackNode &nodeB = m_nodes[b];
            if (nodeA.id > link && (nodeB.neighbour1 == nodeA.id || nodeB.neighbour2 == nodeA.id))
                continue;
            m_edges.append({a, b});
        }
    }
}

void MapNetwork::rebuildDegrees()
{
    // Every edge is one distinct link, counted once at each end.
    m_degrees.fill(0, m_nodes.size());
    for (const Edge &edge : std::as_const(m_edges)) {
        ++m_degrees[edge.a];
        ++m_degrees[edge.b];
    }
}

MapNetwork::Bounds MapNetwork::mapBounds() const
{
    // Nodes whose coordinates are not numbers are left out: one of them must not lose the others.
    Bounds bounds;
    bool first = true;
    for (const SdkTrackNode &node : m_nodes) {
        if (!std::isfinite(node.x) || !std::isfinite(node.y))
            continue;
        if (first) {
            bounds.minX = bounds.maxX = node.x;
            bounds.minY = bounds.maxY = -node.y;
            bounds.valid = true;
            first = false;
            continue;
        }
        bounds.minX = std::min(bounds.minX, node.x);
        bounds.maxX = std::max(bounds.maxX, node.x);
        bounds.minY = std::min(bounds.minY, -node.y);
        bounds.maxY = std::max(bounds.maxY, -node.y);
    }
    return bounds;
}
