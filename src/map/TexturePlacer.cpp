#include "TexturePlacer.h"

#include <algorithm>
#include <cmath>

namespace {
// Above this many cells the grid is coarsened; a huge item must not cost a huge grid.
constexpr qint64 maximumCellCount = 1 << 15;
} // namespace

TexturePlacer::TexturePlacer(const QSizeF &itemSize, double signalSize)
    : m_itemSize(itemSize), m_step(signalSize + 6)
{
    const double width = std::max(0.0, itemSize.width());
    const double height = std::max(0.0, itemSize.height());
    m_cellSize = std::max(4.0, std::isfinite(m_step) ? m_step / 4 : 4.0);
    while (true) {
        const qint64 columns = qint64(width / m_cellSize) + 1;
        const qint64 rows = qint64(height / m_cellSize) + 1;
        if (columns * rows <= maximumCellCount) {
            m_columns = int(columns);
            m_rows = int(rows);
            break;
        }
        m_cellSize *= 2;
    }
    m_cellsPerPixel = 1 / m_cellSize;
    for (int column = 0; column <= m_columns; ++column)
        m_columnEdges.append(column * m_cellSize);
    for (int row = 0; row <= m_rows; ++row)
        m_rowEdges.append(row * m_cellSize);
    m_cells.resize(m_columns * m_rows);
    m_covered.fill(false, m_columns * m_rows);
    m_coveredSums.fill(0, (m_columns + 1) * (m_rows + 1));
}

int TexturePlacer::columnOffset(int i)
{
    const int a = i % columnCount;
    return (a % 2 == 1) ? (a + 1) / 2 : -(a / 2);
}

int TexturePlacer::rowOffset(int i)
{
    const int b = i / columnCount;
    if (b == 0)
        return 0;
    return (b % 2 == 1) ? -((b + 1) / 2) : (b + 1) / 2;
}

// Any monotonic mapping of coordinates to cells keeps the grid exact: an overlap of two
// rectangles has a point whose cell lies in the cell ranges of both.
inline int TexturePlacer::cellIndex(double coordinate, int count) const
{
    const double cell = std::floor(coordinate * m_cellsPerPixel);
    if (!(cell >= 0))
        return 0;
    return cell >= count - 1 ? count - 1 : int(cell);
}

void TexturePlacer::rebuildCoveredSums()
{
    const int stride = m_columns + 1;
    for (int row = 0; row < m_rows; ++row) {
        int rowSum = 0;
        for (int column = 0; column < m_columns; ++column) {
            rowSum += m_covered[row * m_columns + column] ? 1 : 0;
            m_coveredSums[(row + 1) * stride + column + 1] =
                m_coveredSums[row * stride + column + 1] + rowSum;
        }
    }
    m_sumsStale = false;
}

// The cell holding the coordinate low, the first one whose inside an interval starting at low
// overlaps; settled on the cell edges themselves, so that no rounding of the look-up widens a
// range.
int TexturePlacer::firstCellInside(double low, const QVector<double> &edges, int count) const
{
    int cell = cellIndex(low, count);
    while (cell > 0 && edges[cell] > low)
        --cell;
    while (cell < count - 1 && edges[cell + 1] <= low)
        ++cell;
    return cell;
}

// The last cell whose inside an interval ending at high overlaps.
int TexturePlacer::lastCellInside(double high, const QVector<double> &edges, int count) const
{
    int cell = cellIndex(high, count);
    while (cell > 0 && !(edges[cell] < high))
        --cell;
    while (cell < count - 1 && edges[cell + 1] < high)
        ++cell;
    return cell;
}

int TexturePlacer::coveredCellsIn(int firstColumn, int lastColumn, int firstRow, int lastRow)
{
    if (firstColumn > lastColumn || firstRow > lastRow)
        return 0;
    if (m_sumsStale)
        rebuildCoveredSums();
    const int stride = m_columns + 1;
    return m_coveredSums[(lastRow + 1) * stride + lastColumn + 1] -
           m_coveredSums[firstRow * stride + lastColumn + 1] -
           m_coveredSums[(lastRow + 1) * stride + firstColumn] +
           m_coveredSums[firstRow * stride + firstColumn];
}

bool TexturePlacer::collides(const QRectF &candidate) const
{
    // Any overlap of two rectangles lies inside the item here (the candidate does), so the cells
    // that the candidate reaches hold every grown rectangle it could overlap.
    const int left = cellIndex(candidate.left(), m_columns);
    const int right = cellIndex(candidate.right(), m_columns);
    const int top = cellIndex(candidate.top(), m_rows);
    const int bottom = cellIndex(candidate.bottom(), m_rows);
    for (int row = top; row <= bottom; ++row) {
        for (int column = left; column <= right; ++column) {
            for (const int index : m_cells[row * m_columns + column]) {
                if (candidate.intersects(m_grown[index]))
                    return true;
            }
        }
    }
    return false;
}

void TexturePlacer::remember(const QRectF &rectangle)
{
    m_placed.append(rectangle);
    const QRectF grown = rectangle.adjusted(-clearance, -clearance, clearance, clearance);
    // Only candidates inside the item are ever accepted, so a grown rectangle that does not reach
    // into the item can never refuse one.
    if (!(grown.left() < m_itemSize.width() && grown.right() > 0 &&
          grown.top() < m_itemSize.height() && grown.bottom() > 0))
        return;
    const int index = int(m_grown.size());
    m_grown.append(grown);
    const double grownLeft = grown.left();
    const double grownRight = grown.right();
    const double grownTop = grown.top();
    const double grownBottom = grown.bottom();
    const int left = cellIndex(grownLeft, m_columns);
    const int right = cellIndex(grownRight, m_columns);
    const int top = cellIndex(grownTop, m_rows);
    const int bottom = cellIndex(grownBottom, m_rows);
    for (int row = top; row <= bottom; ++row) {
        const bool rowHeld = grownTop <= m_rowEdges[row] && m_rowEdges[row + 1] <= grownBottom;
        for (int column = left; column <= right; ++column) {
            const int cell = row * m_columns + column;
            m_cells[cell].append(index);
            if (rowHeld && grownLeft <= m_columnEdges[column] &&
                m_columnEdges[column + 1] <= grownRight && !m_covered[cell]) {
                m_covered[cell] = true;
                m_sumsStale = true;
            }
        }
    }
}

std::optional<QRectF> TexturePlacer::place(const QPointF &trackPoint, const QSizeF &textureSize)
{
    const double w = textureSize.width();
    const double h = textureSize.height();
    if (m_noRoom.contains(textureSize))
        return std::nullopt;
    const QRectF base(trackPoint + QPointF(-w / 2, -h - 3), textureSize);

    // The placed rectangles only ever grow, so a candidate refused for this spot earlier in the
    // paint is refused again: start where the last search for the same spot ended.
    const SpotKey key{trackPoint.x(), trackPoint.y(), w, h};
    const auto known = m_firstCandidate.constFind(key);
    const int first = known == m_firstCandidate.constEnd() ? 0 : known.value();

    // Whether a candidate lies inside the item, and which cells it overlaps, depends on its column
    // for x and on its row for y: worked out once per column and once per row.
    const bool positiveArea = w > 0 && h > 0;
    bool columnInside[columnCount];
    int columnFirstCell[columnCount] = {};
    int columnLastCell[columnCount] = {};
    for (int a = 0; a < columnCount; ++a) {
        const QRectF moved = base.translated(columnOffset(a) * m_step, 0);
        columnInside[a] = moved.left() >= 0 && moved.right() <= m_itemSize.width();
        if (columnInside[a] && positiveArea) {
            columnFirstCell[a] = firstCellInside(moved.left(), m_columnEdges, m_columns);
            columnLastCell[a] = lastCellInside(moved.right(), m_columnEdges, m_columns);
        }
    }
    int rowFor = -1; // the row index b that the three values below describe
    bool rowInside = false;
    int rowFirstCell = 0;
    int rowLastCell = 0;

    for (int i = first; i < candidateCount; ++i) {
        const int a = i % columnCount;
        if (!columnInside[a])
            continue;
        const QRectF candidate = base.translated(columnOffset(i) * m_step, rowOffset(i) * m_step);
        if (rowFor != i / columnCount) {
            rowFor = i / columnCount;
            rowInside = candidate.top() >= 0 && candidate.bottom() <= m_itemSize.height();
            if (rowInside && positiveArea) {
                rowFirstCell = firstCellInside(candidate.top(), m_rowEdges, m_rows);
                rowLastCell = lastCellInside(candidate.bottom(), m_rowEdges, m_rows);
            }
        }
        if (!rowInside)
            continue;
        // A covered cell whose inside the candidate overlaps lies within some grown rectangle,
        // so the candidate overlaps that rectangle.
        if (positiveArea &&
            coveredCellsIn(columnFirstCell[a], columnLastCell[a], rowFirstCell, rowLastCell) > 0)
            continue;
        if (collides(candidate))
            continue;
        m_firstCandidate.insert(key, i);
        remember(candidate);
        return candidate;
    }

    m_firstCandidate.insert(key, candidateCount);
    if (++m_refusalsSinceCheck >= m_nextCheck) {
        m_refusalsSinceCheck = 0;
        m_nextCheck *= 2;
        if (!hasRoomFor(textureSize))
            m_noRoom.append(textureSize);
    }
    return std::nullopt;
}

bool TexturePlacer::hasRoomFor(const QSizeF &textureSize) const
{
    const double w = textureSize.width();
    const double h = textureSize.height();
    const double xLimit = m_itemSize.width() - w;
    const double yLimit = m_itemSize.height() - h;
    if (!(xLimit >= 0) || !(yLimit >= 0))
        return false;
    if (!(w > 0) || !(h > 0))
        return true; // a rectangle without area overlaps nothing

    // A texture with its top-left corner at (x, y) overlaps a grown rectangle g exactly when
    // g.left - w < x < g.right and g.top - h < y < g.bottom: open intervals, since touching is
    // allowed. If some (x, y) is free, sliding it left stays free until it meets x = 0 or the
    // right end of one of those intervals, so those are the only columns to look at. The
    // intervals are narrowed by a hair so that rounding never hides a real spot.
    const double hair = 1e-9 * std::max(1.0, m_itemSize.width() + m_itemSize.height());
    QVector<double> columns{0.0};
    for (const QRectF &g : m_grown) {
        if (g.right() <= xLimit)
            columns.append(std::max(0.0, g.right()));
    }
    struct Interval
    {
        double low, high;
    };
    QVector<Interval> blocked;
    QVector<int> seen(m_grown.size(), -1);
    for (int c = 0; c < columns.size(); ++c) {
        const double x = columns[c];
        // The grown rectangles whose interval holds x all reach into the strip [x, x + w], so
        // the grid cells of that strip hold them.
        blocked.clear();
        const int first = cellIndex(x, m_columns);
        const int last = cellIndex(x + w, m_columns);
        for (int row = 0; row < m_rows; ++row) {
            for (int column = first; column <= last; ++column) {
                for (const int index : m_cells[row * m_columns + column]) {
                    if (seen[index] == c)
                        continue;
                    seen[index] = c;
                    const QRectF &g = m_grown[index];
                    if (g.left() - w + hair < x && x < g.right() - hair)
                        blocked.append({g.top() - h + hair, g.bottom() - hair});
                }
            }
        }
        std::sort(blocked.begin(), blocked.end(),
                  [](const Interval &a, const Interval &b) { return a.low < b.low; });
        // Walk up from y = 0 through the intervals that hold the current y.
        double y = 0;
        double reach = 0;
        int next = 0;
        while (true) {
            while (next < blocked.size() && blocked[next].low < y)
                reach = std::max(reach, blocked[next++].high);
            if (reach > y)
                y = reach;
            else
                break;
        }
        if (y <= yLimit)
            return true;
    }
    return false;
}
