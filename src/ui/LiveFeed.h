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
    // What the train list shows: the trains whose name contains trainSearch (case and accents
    // ignored), in the game's order or in the order trainOrder names.
    Q_PROPERTY(QString trainSearch READ trainSearch WRITE setTrainSearch NOTIFY trainViewChanged)
    Q_PROPERTY(int trainOrder READ trainOrder WRITE setTrainOrder NOTIFY trainViewChanged)
    // The Backend's selected train ("selectedTrainId"), empty when none.
    Q_PROPERTY(QString selectedTrainId READ selectedTrainId NOTIFY changed)
    Q_PROPERTY(int reservationCount READ reservationCount NOTIFY changed)
    // The selected train's details: "train" its entry of the train list, "attention" its state
    // ("selectedAttention"), "reservations" the tracks it reserves, "path" the tracks of its path
    // (at most maxPathShown) with "pathSize" and "pathAvailable"; empty when no train is selected.
    Q_PROPERTY(QVariantMap trainDetails READ trainDetails NOTIFY changed)
    Q_PROPERTY(int occupationCount READ occupationCount NOTIFY changed)

public:
    // Orders of the train list; the game's own order is the default.
    enum TrainOrder { GameOrder = 0, ByName = 1, BySpeed = 2, StoppedFirst = 3 };
    Q_ENUM(TrainOrder)

    explicit LiveFeed(QObject *parent = nullptr);

    QString trainSearch() const { return m_trainSearch; }
    void setTrainSearch(const QString &text);
    int trainOrder() const { return m_trainOrder; }
    void setTrainOrder(int order);

    // The text as it is compared when searching: case-folded, without accents.
    static QString searchKey(const QString &text);
    // The shown train list: the trains whose name holds the search text, in the given order
    // (ties keep the game's order).
    static QVariantList arrangeTrains(const QVariantList &trains, const QString &search, int order);

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
    QVariantMap trainDetails() const { return m_trainDetails; }
    static constexpr int maxPathShown = 200;
    int occupationCount() const { return m_occupationCount; }

    // The first signal map with this id, in the order of the tracks and of each track's
    // signals; an empty map when the current page has none.
    Q_INVOKABLE QVariant findSignal(const QString &id) const;
    // The row of the train with this id in the train list, or -1.
    Q_INVOKABLE int trainRow(const QString &id) const;
    // The track of the train with this id while it is positioned, whether the list shows it or
    // not; empty otherwise.
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
    void trainViewChanged();

private slots:
    void reload();

private:
    void showTrains();

    QPointer<QObject> m_source;
    QVariantList m_allTrains;
    QString m_trainSearch;
    int m_trainOrder = GameOrder;
    QMetaObject::Connection m_connection;
    QVariantMap m_data;
    bool m_live = false;
    QVariantList m_stations;
    int m_reservationCount = 0;
    QVariantMap m_trainDetails;
    void readTrainDetails(const QVariantMap &map);
    int m_occupationCount = 0;
    MapListModel m_trains;
    MapListModel m_tracks;
};
