#pragma once

#include "DataMap.h"
#include "SdkRecords.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

// The track network of the map: the node records taken from the geometry blob, the index from
// node id to record, and how many distinct links touch each node. Rebuilt only when the blob's
// bytes change, since the same network arrives with every snapshot.
class MapNetwork
{
public:
    // Takes the blob over; returns false, doing nothing, when the bytes equal the current ones.
    bool setGeometry(const QByteArray &blob);

    const QVector<SdkTrackNode> &nodes() const { return m_nodes; }
    const QVector<quint32> &degrees() const { return m_degrees; }
    // The edges to draw, as positions of their two nodes: each link that finds a node, in table
    // order, an edge named by both of its nodes only once (from the node with the smaller id).
    struct Edge
    {
        int a;
        int b;
    };
    const QVector<Edge> &edges() const { return m_edges; }
    bool isEmpty() const { return m_nodes.isEmpty(); }

    // Position of the first record carrying this id, or -1.
    int indexOf(quint64 id) const
    {
        if (m_denseIndex.isEmpty())
            return m_index.value(id, -1);
        const quint64 offset = id - m_lowestId; // ids below the lowest wrap around to large
        return offset < quint64(m_denseIndex.size()) ? m_denseIndex[qsizetype(offset)] : -1;
    }
    int indexOfIdText(const QString &idText) const { return indexOf(DataMap::parseIdText(idText)); }

    // Bounds of the nodes in map coordinates (y flipped), starting from the first node; nodes
    // whose coordinates are not finite are left out (valid is false when no node is left).
    struct Bounds
    {
        double minX = 0, maxX = 0, minY = 0, maxY = 0;
        bool valid = false;
    };
    Bounds mapBounds() const;

private:
    void rebuildIndex();
    void rebuildDegrees();
    void rebuildEdges();

    QByteArray m_bytes;
    QVector<SdkTrackNode> m_nodes;
    QVector<quint32> m_degrees;
    QVector<Edge> m_edges;
    // Ids that lie close together (as a game hands them out) are looked up in a plain array,
    // which is several times faster than the hash for the tens of thousands of look-ups of a
    // paint; scattered ids use the hash.
    QHash<quint64, int> m_index;
    QVector<int> m_denseIndex;
    quint64 m_lowestId = 0;
};
