#pragma once

#include "MapListModel.h"

#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

// The window's view of the Backend's data map. It reads the source's `data` in C++ at each
// `changed()` and hands QML the map without its long lists: the trains and the tracks come as
// list models that update in place, the stations only when they change, the reservations and
// occupations as their counts; the lists that only the map item and the verification runs read
// (the geometry blob, the map signals, the path) stay out. Converting a whole large data map
// into JavaScript values at every capture is what would make the window slow.
class LiveFeed : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    // Any object with a `data` property (a map) and a `changed()` signal: the Backend.
    Q_PROPERTY(QObject *source READ source WRITE setSource NOTIFY changed)
    Q_PROPERTY(QVariantMap data READ data NOTIFY changed)
    Q_PROPERTY(bool live READ isLive NOTIFY changed)
    // List models (MapListModel), given to QML as plain objects.
    Q_PROPERTY(QObject *trains READ trains CONSTANT)
    Q_PROPERTY(QObject *tracks READ tracks CONSTANT)
    Q_PROPERTY(QVariantList stations READ stations NOTIFY stationsChanged)
    // The station chooser's entries: "Toutes les gares" (empty id), then the stations.
    Q_PROPERTY(QVariantList stationChoices READ stationChoices NOTIFY stationsChanged)
    // The Backend's selected train ("selectedTrainId"), empty when none.
    Q_PROPERTY(QString selectedTrainId READ selectedTrainId NOTIFY changed)
    Q_PROPERTY(int reservationCount READ reservationCount NOTIFY changed)
    Q_PROPERTY(int occupationCount READ occupationCount NOTIFY changed)

public:
    explicit LiveFeed(QObject *parent = nullptr);

    QObject *source() const { return m_source; }
    void setSource(QObject *source);

    QVariantMap data() const { return m_data; }
    bool isLive() const { return m_live; }
    QObject *trains() { return &m_trains; }
    QObject *tracks() { return &m_tracks; }
    QVariantList stations() const { return m_stations; }
    QVariantList stationChoices() const;
    QString selectedTrainId() const;
    int reservationCount() const { return m_reservationCount; }
    int occupationCount() const { return m_occupationCount; }

    // The first signal map with this id, in the order of the tracks and of each track's
    // signals; an empty map when the current page has none.
    Q_INVOKABLE QVariant findSignal(const QString &id) const;
    // The row of the train with this id in the train list, or -1.
    Q_INVOKABLE int trainRow(const QString &id) const;
    // The track of the train with this id while it is positioned; empty otherwise.
    Q_INVOKABLE QString trainTrack(const QString &id) const;
    // The index in stationChoices() of the station with this id (0 for the empty id), or -1.
    Q_INVOKABLE int stationChoiceIndex(const QString &id) const;

    // The source's data map as a QVariantMap, also when the source is a QML object whose `data`
    // holds a JavaScript value.
    static QVariantMap readSourceData(const QObject *source);

signals:
    void changed();
    // Only when the station list really changes, so that an open chooser is left alone.
    void stationsChanged();

private slots:
    void reload();

private:
    QPointer<QObject> m_source;
    QMetaObject::Connection m_connection;
    QVariantMap m_data;
    bool m_live = false;
    QVariantList m_stations;
    int m_reservationCount = 0;
    int m_occupationCount = 0;
    MapListModel m_trains;
    MapListModel m_tracks;
};
