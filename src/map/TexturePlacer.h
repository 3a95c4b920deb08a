#pragma once

#include <QHash>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QVector>

#include <optional>

// Chooses, for each signal texture of one paint, a spot beside the track that lies inside the item
// and keeps 3 pixels away from every texture placed before it. Candidates are tried in a fixed
// order around the spot above the track point; the first free one wins. When none is free there
// is no spot: the caller draws the signal's symbol instead, since a texture pushed outside the item
// or over other textures only hides the map behind a line leading nowhere.
//
// The rule compares a candidate with every rectangle placed before it. A grid of the placed
// rectangles, covering the item, answers the same question while looking only at the rectangles
// near the candidate, and candidates outside the item are skipped by rows and columns.
class TexturePlacer
{
public:
    static constexpr int candidateCount = 256;
    static constexpr int columnCount = 9;
    static constexpr double clearance = 3.0;

    TexturePlacer(const QSizeF &itemSize, double signalSize);

    // Places a texture of this size for the track point and remembers the result; nothing when
    // no candidate is free.
    std::optional<QRectF> place(const QPointF &trackPoint, const QSizeF &textureSize);

    // Whether a texture of this size still fits anywhere in the item, clear of every texture
    // placed so far. Exact: false only when no position at all is left.
    bool hasRoomFor(const QSizeF &textureSize) const;

    const QVector<QRectF> &placedRectangles() const { return m_placed; }

    // Offsets of candidate i in steps: columns 0, +1, -1, +2, -2 …; rows 0, -1, +1, -2, +2 ….
    static int columnOffset(int i);
    static int rowOffset(int i);

private:
    bool collides(const QRectF &candidate) const;
    void remember(const QRectF &rectangle);
    int cellIndex(double coordinate, int count) const;
    void rebuildCoveredSums();
    int coveredCellsIn(int firstColumn, int lastColumn, int firstRow, int lastRow);
    int firstCellInside(double low, const QVector<double> &edges, int count) const;
    int lastCellInside(double high, const QVector<double> &edges, int count) const;

    struct SpotKey
    {
        double x, y, width, height;
        bool operator==(const SpotKey &other) const
        {
            return x == other.x && y == other.y && width == other.width && height == other.height;
        }
    };
    friend size_t qHash(const SpotKey &key, size_t seed)
    {
        return qHashMulti(seed, key.x, key.y, key.width, key.height);
    }

    QSizeF m_itemSize;
    double m_step;
    double m_cellSize = 1;
    double m_cellsPerPixel = 1;
    int m_columns = 1;
    int m_rows = 1;
    QVector<double> m_columnEdges; // left edge of each column, then the right edge of the last
    QVector<double> m_rowEdges;
    QVector<QRectF> m_placed;
    QVector<QRectF> m_grown;       // placed rectangles grown by the clearance, in the grid
    QVector<QVector<int>> m_cells; // per cell: indices into m_grown that reach into it
    // Per cell: some grown rectangle holds the whole cell, so any candidate that overlaps the
    // cell overlaps that rectangle; most refusals are settled by this flag alone.
    QVector<bool> m_covered;
    // Running sums of the covered flags, rebuilt when a flag changed: one look-up tells whether
    // any cell a candidate overlaps is covered.
    QVector<int> m_coveredSums; // (rows + 1) x (columns + 1)
    bool m_sumsStale = false;
    QHash<SpotKey, int> m_firstCandidate; // per track point and size: first candidate not refused

    // Once a size has no room left it never gets any (rectangles are only added), so its searches
    // stop. The question is asked again only after a number of refusals that doubles each time,
    // which keeps its cost small against the searches it saves.
    QVector<QSizeF> m_noRoom;
    int m_refusalsSinceCheck = 0;
    int m_nextCheck = 16;
};
