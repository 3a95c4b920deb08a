#include "RectGrid.h"

#include <algorithm>
#include <cmath>

RectGrid::RectGrid(const QSizeF &size, double cell)
    : m_cell(cell), m_columns(std::max(1, int(size.width() / cell) + 1)),
      m_rows(std::max(1, int(size.height() / cell) + 1)), m_cells(m_columns * m_rows)
{
}

bool RectGrid::overlapsAny(const QRectF &rect) const
{
    bool found = false;
    forCells(rect, [&](int cell) {
        for (const int index : m_cells[cell]) {
            if (rect.intersects(m_rects[index])) {
                found = true;
                return false;
            }
        }
        return true;
    });
    return found;
}

void RectGrid::add(const QRectF &rect)
{
    const int index = int(m_rects.size());
    m_rects.append(rect);
    forCells(rect, [&](int cell) {
        m_cells[cell].append(index);
        return true;
    });
}

int RectGrid::clampedCell(double coordinate, int count) const
{
    // Not a number counts as the first cell; beyond the item, as the last.
    const double cell = std::floor(coordinate / m_cell);
    if (!(cell >= 0))
        return 0;
    return cell >= count - 1 ? count - 1 : int(cell);
}
