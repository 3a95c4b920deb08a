#pragma once

#include <QRectF>
#include <QSizeF>
#include <QVector>

// Rectangles placed on the item during one paint (labels, names), found again through a coarse
// grid over the item, so that asking whether a new one overlaps any of them looks only at its
// neighbours.
class RectGrid
{
public:
    RectGrid(const QSizeF &size, double cell);

    bool overlapsAny(const QRectF &rect) const;
    void add(const QRectF &rect);

private:
    int clampedCell(double coordinate, int count) const;
    template <typename Visit> void forCells(const QRectF &rect, Visit visit) const
    {
        const int left = clampedCell(rect.left(), m_columns);
        const int right = clampedCell(rect.right(), m_columns);
        const int top = clampedCell(rect.top(), m_rows);
        const int bottom = clampedCell(rect.bottom(), m_rows);
        for (int row = top; row <= bottom; ++row)
            for (int column = left; column <= right; ++column)
                if (!visit(row * m_columns + column))
                    return;
    }

    double m_cell;
    int m_columns;
    int m_rows;
    QVector<QVector<int>> m_cells;
    QVector<QRectF> m_rects;
};
