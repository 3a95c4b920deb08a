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
    int cellColumn(double x) const;
    int cellRow(double y) const;

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
    int m_columns = 1;
    int m_rows = 1;
    QVector<QRectF> m_placed;
    QVector<QRectF> m_grown;              // placed rectangles grown by the clearance, in the grid
    QVector<QVector<int>> m_cells;        // per cell: indices into m_grown that reach into it
    QHash<SpotKey, int> m_firstCandidate; // per track point and size: first candidate not refused
};
