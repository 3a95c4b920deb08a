#pragma once

#include <QAbstractListModel>
#include <QVariantList>

// A list of maps (train maps, track maps) for a QML view, updated in place: a new list of the
// same length changes the rows' data instead of resetting the model, so the view keeps its
// delegates and its scroll position while the game publishes four times a second. Delegates read
// the whole map as `modelData`.
class MapListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit MapListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QVariantList &rows() const { return m_rows; }
    void setRows(const QVariantList &rows);

private:
    QVariantList m_rows;
};
