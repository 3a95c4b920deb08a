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

    // Rows present before and after are announced as changed without comparing them: a deep
    // comparison of thousands of maps costs more than the view's refresh, which only touches the
    // delegates it has created.
    if (common > 0) {
        for (int row = 0; row < common; ++row)
            m_rows[row] = rows.at(row);
        emit dataChanged(index(0), index(common - 1));
    }

    if (newCount > oldCount) {
        beginInsertRows(QModelIndex(), oldCount, newCount - 1);
        m_rows = rows;
        endInsertRows();
    } else {
        m_rows = rows; // equal content; keeps sharing the caller's storage
    }
}
