#include "MapListModel.h"

namespace {
constexpr int EntryRole = Qt::UserRole + 1;
}

MapListModel::MapListModel(QObject *parent) : QAbstractListModel(parent) {}

int MapListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant MapListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() ||
        (role != EntryRole && role != Qt::DisplayRole))
        return {};
    return m_rows.at(index.row());
}

QHash<int, QByteArray> MapListModel::roleNames() const
{
    return {{EntryRole, QByteArrayLiteral("modelData")}};
}

void MapListModel::setRows(const QVariantList &rows)
{
    const int oldCount = int(m_rows.size());
    const int newCount = int(rows.size());
    const int common = qMin(oldCount, newCount);

    if (newCount < oldCount) {
        beginRemoveRows(QModelIndex(), newCount, oldCount - 1);
        m_rows.resize(newCount);
        endRemoveRows();
    }

    // Rows present before and after: only runs of rows that differ are announced.
    int runStart = -1;
    for (int row = 0; row <= common; ++row) {
        const bool differs = row < common && m_rows.at(row) != rows.at(row);
        if (differs) {
            m_rows[row] = rows.at(row);
            if (runStart < 0)
                runStart = row;
        } else if (runStart >= 0) {
            emit dataChanged(index(runStart), index(row - 1));
            runStart = -1;
        }
    }

    if (newCount > oldCount) {
        beginInsertRows(QModelIndex(), oldCount, newCount - 1);
        m_rows = rows;
        endInsertRows();
    } else {
        m_rows = rows; // equal content; keeps sharing the caller's storage
    }
}
