#include "TexturePlacer.h"

#include "MapCamera.h"

#include <algorithm>
#include <cmath>

namespace {
// Above this many cells the grid is coarsened; a huge item must not cost a huge grid.
constexpr qint64 maximumCellCount = 1 << 15;

// A point or size that is not a number, or far beyond the item, has no spot (and must not reach
// the conversions to cells).
inline bool hasNoSpot(const QPointF &trackPoint, double w, double h)
{
    return !MapCamera::isDrawable(trackPoint) || !MapCamera::isDrawable(QPointF(w, h)) || w < 0 ||
           h < 0;
}

// Whether any of the rows from firstRow to lastRow is blocked, by the running sums of blocked rows.
inline bool anyRowBlocked(const QVector<int> &blockedSums, int firstRow, int lastRow)
{
    return blockedSums[lastRow + 1] - blockedSums[firstRow] > 0;
}
} // namespace

TexturePlacer::TexturePlacer(const QSizeF &itemSize, double signalSize)
    : m_itemSize(itemSize), m_step(signalSize + 6)
{
    const double width = std::max(0.0, itemSize.width());
    const double height = std::max(0.0, itemSize.height());
    m_cellSize = std::max(4.0, std::isfinite(m_step) ? m_step / 8 : 4.0);
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
    m_columnVersion.fill(0, m_columns);
    // A grid of one row and thousands of columns (a degenerate item) keeps to the map.
    if (qint64(m_columns) * narrowRanges <= maximumCellCount * 8)
        m_narrowColumnRows.resize(size_t(m_columns) * narrowRanges);
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

// The cell holding the coordinate low, the first one whose inside an interval starting at low
// overlaps; settled on the cell edges themselves, so that no rounding of the look-up widens a
// range.
inline int TexturePlacer::firstCellInside(double low, const QVector<double> &edges, int count) const
{
    int cell = cellIndex(low, count);
    while (cell > 0 && edges[cell] > low)
        --cell;
    while (cell < count - 1 && edges[cell + 1] <= low)
        ++cell;
    return cell;
}

// The last cell whose inside an interval ending at high overlaps.
inline int TexturePlacer::lastCellInside(double high, const QVector<double> &edges, int count) const
{
    int cell = cellIndex(high, count);
    while (cell > 0 && !(edges[cell] < high))
        --cell;
    while (cell < count - 1 && edges[cell + 1] < high)
        ++cell;
    return cell;
}

const TexturePlacer::ColumnRows *TexturePlacer::columnRows(int firstColumn, int lastColumn,
                                                           int rowsNeeded)
{
    const int width = lastColumn - firstColumn;
    ColumnRows *rows;
    if (width < narrowRanges && !m_narrowColumnRows.empty()) {
        std::unique_ptr<ColumnRows> &entry =
            m_narrowColumnRows[size_t(firstColumn) * narrowRanges + size_t(width)];
        if (!entry)
            entry = std::make_unique<ColumnRows>();
        rows = entry.get();
    } else {
        rows = &m_wideColumnRows[quint32(firstColumn) << 16 | quint32(lastColumn)];
    }
    // Cells are only ever covered, so free runs only ever shorten: columns without room for the
    // texture stay so, however old the figure is.
    if (rows->version >= 0 && rows->longestFreeRun < rowsNeeded)
        return nullptr;
    // Still right unless a cell of these columns was covered since it was made.
    bool current = rows->version >= 0;
    for (int column = firstColumn; current && column <= lastColumn; ++column)
        current = m_columnVersion[column] <= rows->version;
    if (current)
        return rows;
    rows->version = m_coverVersion;
    rows->blockedSums.resize(m_rows + 1);
    rows->blockedSums[0] = 0;
    rows->longestFreeRun = 0;
    int run = 0;
    for (int row = 0; row < m_rows; ++row) {
        const bool *cells = m_covered.constData() + row * m_columns;
        bool blocked = false;
        for (int column = firstColumn; !blocked && column <= lastColumn; ++column)
            blocked = cells[column];
        rows->blockedSums[row + 1] = rows->blockedSums[row] + (blocked ? 1 : 0);
        run = blocked ? 0 : run + 1;
        rows->longestFreeRun = std::max(rows->longestFreeRun, run);
    }
    return rows->longestFreeRun < rowsNeeded ? nullptr : rows;
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
                m_columnVersion[column] = ++m_coverVersion;
            }
        }
    }
}

bool TexturePlacer::take(const QRectF &spot)
{
    if (!MapCamera::isDrawable(spot.topLeft()) || !MapCamera::isDrawable(spot.bottomRight()) ||
        spot.left() < 0 || spot.top() < 0 || spot.right() > m_itemSize.width() ||
        spot.bottom() > m_itemSize.height() || collides(spot))
        return false;
    remember(spot);
    return true;
}

std::optional<QRectF> TexturePlacer::place(const QPointF &trackPoint, const QSizeF &textureSize,
                                           bool nearOnly)
{
    const double w = textureSize.width();
    const double h = textureSize.height();
    if (hasNoSpot(trackPoint, w, h))
        return std::nullopt;
    const QRectF base(trackPoint + QPointF(-w / 2, -h - 3), textureSize);

    // Whether a candidate lies inside the item, and which cells it overlaps, depends on its column
    // for x and on its row for y: worked out once per column and once per row.
    const bool positiveArea = w > 0 && h > 0;
    // The fewest grid rows whose inside a rectangle of this height overlaps, wherever it lies.
    const int rowsNeeded = std::max(1, int(std::ceil(h * m_cellsPerPixel - 1e-9)));
    bool columnInside[columnCount];
    const ColumnRows *columnRowsOf[columnCount] = {};
    bool anyColumn = false;
    for (int a = 0; a < columnCount; ++a) {
        const QRectF moved = base.translated(columnOffset(a) * m_step, 0);
        columnInside[a] = moved.left() >= 0 && moved.right() <= m_itemSize.width();
        if (columnInside[a] && positiveArea) {
            // Nothing when every candidate of this column overlaps a covered cell: none can be
            // free.
            columnRowsOf[a] =
                columnRows(firstCellInside(moved.left(), m_columnEdges, m_columns),
                           lastCellInside(moved.right(), m_columnEdges, m_columns), rowsNeeded);
            columnInside[a] = columnRowsOf[a] != nullptr;
        }
        anyColumn = anyColumn || columnInside[a];
    }
    // No column left: the same spot asked again finds that as quickly, with nothing remembered.
    if (!anyColumn)
        return std::nullopt;
    // The placed rectangles only ever grow, so a candidate refused for this spot earlier in the
    // paint is refused again: start where the last search for the same spot ended.
    const SpotKey key{trackPoint.x(), trackPoint.y(), w, h};
    const auto known = m_firstCandidate.constFind(key);
    const int first = known == m_firstCandidate.constEnd() ? 0 : known.value();
    int rowFor = -1; // the row index b that the three values below describe
    bool rowInside = false;
    int rowFirstCell = 0;
    int rowLastCell = 0;

    // The nearest three columns and rows are the first 27 candidates' columns 0 to 2.
    const int last = nearOnly ? 3 * columnCount : candidateCount;
    for (int i = first; i < last; ++i) {
        const int a = i % columnCount;
        if (!columnInside[a] || (nearOnly && a > 2))
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
        if (positiveArea && anyRowBlocked(columnRowsOf[a]->blockedSums, rowFirstCell, rowLastCell))
            continue;
        if (collides(candidate))
            continue;
        m_firstCandidate.insert(key, i);
        remember(candidate);
        return candidate;
    }

    if (!nearOnly)
        m_firstCandidate.insert(key, candidateCount);
    return std::nullopt;
}
