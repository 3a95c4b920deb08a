#pragma once

#include "MapListModel.h"

#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

// The window's view of the Backend's data map. It reads the source's `data` in C++ at each
// `changed()` and hands QML the map without the lists that only the map item and the
// verification runs read (the geometry blob, the map signals, the path), and the trains and the
// tracks as list models that update in place. Converting a whole large data map into JavaScript
// values at every capture is what would make the window slow.
class LiveFeed : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    // Any object with a `data` property (a map) and a `changed()` signal: the Backend.
    Q_PROPERTY(QObject *source READ source WRITE setSource NOTIFY changed)
    Q_PROPERTY(QVariantMap data READ data NOTIFY changed)
    Q_PROPERTY(bool live READ isLive NOTIFY changed)
    Q_PROPERTY(QAbstractItemModel *trains READ trains CONSTANT)
    Q_PROPERTY(QAbstractItemModel *tracks READ tracks CONSTANT)

public:
    explicit LiveFeed(QObject *parent = nullptr);

    QObject *source() const { return m_source; }
    void setSource(QObject *source);

    QVariantMap data() const { return m_data; }
    bool isLive() const { return m_live; }
    QAbstractItemModel *trains() { return &m_trains; }
    QAbstractItemModel *tracks() { return &m_tracks; }

    // The first signal map with this id, in the order of the tracks and of each track's
    // signals; an empty map when the current page has none.
    Q_INVOKABLE QVariantMap findSignal(const QString &id) const;

    // The source's data map as a QVariantMap, also when the source is a QML object whose `data`
    // holds a JavaScript value.
    static QVariantMap readSourceData(const QObject *source);

signals:
    void changed();

private slots:
    void reload();

private:
    QPointer<QObject> m_source;
    QMetaObject::Connection m_connection;
    QVariantMap m_data;
    bool m_live = false;
    MapListModel m_trains;
    MapListModel m_tracks;
};
