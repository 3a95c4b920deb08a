#pragma once

#include <QHash>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QVector>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

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
    // nearOnly: only the candidates within one step of the first (no long leader line).
    std::optional<QRectF> place(const QPointF &trackPoint, const QSizeF &textureSize,
                                bool nearOnly = false);
    // Takes this spot when it lies inside the item and is free (a spot kept from an earlier
    // placement); false, remembering nothing, otherwise.
    bool take(const QRectF &spot);

    const QVector<QRectF> &placedRectangles() const { return m_placed; }

    // Offsets of candidate i in steps: columns 0, +1, -1, +2, -2 …; rows 0, -1, +1, -2, +2 ….
    static constexpr int columnOffset(int i)
    {
        const int a = i % columnCount;
        return (a % 2 == 1) ? (a + 1) / 2 : -(a / 2);
    }
    static constexpr int rowOffset(int i)
    {
        const int b = i / columnCount;
        if (b == 0)
            return 0;
        return (b % 2 == 1) ? -((b + 1) / 2) : (b + 1) / 2;
    }

private:
    bool collides(const QRectF &candidate) const;
    void remember(const QRectF &rectangle);
    int cellIndex(double coordinate, int count) const;
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
    // Per grid column: the cover version at which a cell of it was last covered.
    QVector<int> m_columnVersion;
    QHash<SpotKey, int> m_firstCandidate; // per track point and size: first candidate not refused

    // Per range of grid columns that a candidate overlaps: which grid rows hold a covered cell in
    // those columns (as running sums), and the longest run of rows without one. A column of
    // candidates whose rectangles need more rows than that run has no free candidate at all, so
    // it is skipped whole: once the item is full, a search ends after nine look-ups instead of
    // 256 tests. Made again only after a cell of those columns became covered.
    struct ColumnRows
    {
        int version = -1;
        QVector<int> blockedSums; // rows + 1
        int longestFreeRun = 0;
    };
    // The rows of a column range, or nothing when no run of free rows is rowsNeeded long.
    const ColumnRows *columnRows(int firstColumn, int lastColumn, int rowsNeeded);
    // Ranges up to narrowRanges columns wide sit in a table by first column and width (textures
    // are about one size in a paint); wider ones in a map. Entries stay put: pointers are kept.
    static constexpr int narrowRanges = 32;
    std::vector<std::unique_ptr<ColumnRows>> m_narrowColumnRows;
    std::unordered_map<quint32, ColumnRows> m_wideColumnRows;
    int m_coverVersion = 0;
};
