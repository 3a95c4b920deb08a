#include "TexturePlacer.h"

#include <algorithm>
#include <cmath>

namespace {
// Above this many cells the grid is coarsened; a huge item must not cost a huge grid.
constexpr qint64 maximumCellCount = 1 << 16;
} // namespace

TexturePlacer::TexturePlacer(const QSizeF &itemSize, double signalSize)
    : m_itemSize(itemSize), m_step(signalSize + 6)
{
    const double width = std::max(0.0, itemSize.width());
    const double height = std::max(0.0, itemSize.height());
    m_cellSize = std::max(8.0, std::isfinite(m_step) ? m_step / 2 : 8.0);
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
    m_cells.resize(m_columns * m_rows);
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

int TexturePlacer::cellColumn(double x) const
{
    const double cell = std::floor(x / m_cellSize);
    if (!(cell >= 0))
        return 0;
    return cell >= m_columns - 1 ? m_columns - 1 : int(cell);
}

int TexturePlacer::cellRow(double y) const
{
    const double cell = std::floor(y / m_cellSize);
    if (!(cell >= 0))
        return 0;
    return cell >= m_rows - 1 ? m_rows - 1 : int(cell);
}

bool TexturePlacer::collides(const QRectF &candidate) const
{
    // Any overlap of two rectangles lies inside the item here (the candidate does), so the cells
    // that the candidate reaches hold every grown rectangle it could overlap.
    const int left = cellColumn(candidate.left());
    const int right = cellColumn(candidate.right());
    const int top = cellRow(candidate.top());
    const int bottom = cellRow(candidate.bottom());
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

void TexturePlacer::remember(const QRectF &rectangle, bool alreadyInGrid)
{
    m_placed.append(rectangle);
    if (alreadyInGrid)
        return;
    const QRectF grown = rectangle.adjusted(-clearance, -clearance, clearance, clearance);
    // Only candidates inside the item are ever accepted, so a grown rectangle that does not reach
    // into the item can never refuse one.
    if (!(grown.left() < m_itemSize.width() && grown.right() > 0 &&
          grown.top() < m_itemSize.height() && grown.bottom() > 0))
        return;
    const int index = int(m_grown.size());
    m_grown.append(grown);
    const int left = cellColumn(grown.left());
    const int right = cellColumn(grown.right());
    const int top = cellRow(grown.top());
    const int bottom = cellRow(grown.bottom());
    for (int row = top; row <= bottom; ++row) {
        for (int column = left; column <= right; ++column)
            m_cells[row * m_columns + column].append(index);
    }
}

QRectF TexturePlacer::place(const QPointF &trackPoint, const QSizeF &textureSize)
{
    const double w = textureSize.width();
    const double h = textureSize.height();
    const QRectF base(trackPoint + QPointF(-w / 2, -h - 3), textureSize);

    // The placed rectangles only ever grow, so a candidate refused for this spot earlier in the
    // paint is refused again: start where the last search for the same spot ended.
    const SpotKey key{trackPoint.x(), trackPoint.y(), w, h};
    const auto known = m_firstCandidate.constFind(key);
    const int first = known == m_firstCandidate.constEnd() ? 0 : known.value();

    // Whether a candidate lies inside the item depends on its column for x and on its row for y.
    bool columnInside[columnCount];
    for (int a = 0; a < columnCount; ++a) {
        const QRectF moved = base.translated(columnOffset(a) * m_step, 0);
        columnInside[a] = moved.left() >= 0 && moved.right() <= m_itemSize.width();
    }

    for (int i = first; i < candidateCount; ++i) {
        const int a = i % columnCount;
        if (!columnInside[a])
            continue;
        const QRectF candidate = base.translated(columnOffset(i) * m_step, rowOffset(i) * m_step);
        if (!(candidate.top() >= 0 && candidate.bottom() <= m_itemSize.height()))
            continue;
        if (collides(candidate))
            continue;
        m_firstCandidate.insert(key, i);
        remember(candidate, false);
        return candidate;
    }

    const int last = candidateCount - 1;
    const QRectF fallback = base.translated(columnOffset(last) * m_step, rowOffset(last) * m_step);
    // The same spot refused everything before: the same fallback rectangle is already in the grid.
    const bool alreadyInGrid = first == candidateCount;
    m_firstCandidate.insert(key, candidateCount);
    remember(fallback, alreadyInGrid);
    return fallback;
}
