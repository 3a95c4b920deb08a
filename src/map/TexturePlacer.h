#pragma once

#include <QHash>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QVector>

// Chooses, for each signal texture of one paint, a spot beside the track that lies inside the item
// and keeps 3 pixels away from every texture placed before it. Candidates are tried in a fixed
// order around the spot above the track point; the first free one wins, and when none is free the
// last one tried is used all the same.
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

    // Places a texture of this size for the track point and remembers the result.
    QRectF place(const QPointF &trackPoint, const QSizeF &textureSize);

    const QVector<QRectF> &placedRectangles() const { return m_placed; }

    // Offsets of candidate i in steps: columns 0, +1, -1, +2, -2 …; rows 0, -1, +1, -2, +2 ….
    static int columnOffset(int i);
    static int rowOffset(int i);

private:
    bool collides(const QRectF &candidate) const;
    void remember(const QRectF &rectangle, bool alreadyInGrid);
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
};
