#pragma once

#include "AlertLog.h"
#include "ReaderThread.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <memory>

class BackendProbe;

// The one object through which the user interface sees the game. It turns the user's choices into
// the request word and view parameters that its reader thread reads, accepts only results that
// still match them, and ages the published map when live results stop arriving.
class Backend : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariantMap data READ data NOTIFY changed)
    // The alerts, newest first (see AlertLog).
    Q_PROPERTY(QVariantList alerts READ alerts NOTIFY alertsChanged)

public:
    explicit Backend(QObject *parent = nullptr);
    // Stops the reader thread and waits for it, also in the middle of a capture.
    ~Backend() override;

    // Asks the reader to stop and waits at most that long for it; false when it still runs (a
    // library call that does not return). The destructor still waits for it without a limit, so a
    // caller that gets false must end the process instead of destroying the Backend.
    bool stopReader(int milliseconds);

    // Each live capture is handed to sink as well (nullptr: to nothing).
    void setRecordSink(std::shared_ptr<RecordSink> sink)
    {
        m_reader.setRecordSink(std::move(sink));
    }
    // Captures come from source instead of the game (a replay); set before connectGame(). A
    // replayed capture does not age: a paused replay shows it as it was.
    void setRecordSource(std::shared_ptr<RecordSource> source)
    {
        m_replaying = source != nullptr;
        m_reader.setRecordSource(std::move(source));
    }

    // The latest data map; implicitly shared, so a copy costs a reference count.
    QVariantMap data() const { return m_data; }
    QVariantList alerts() const { return m_alerts.entries(); }

    // Connects to the given process id, or searches the game by name when pid is blank.
    Q_INVOKABLE void connectGame(const QString &pid);
    Q_INVOKABLE void disconnectGame();
    // Chooses the track list shown by the next captures: a scope of ListScope, station and track as
    // id texts (empty = none), page from 0.
    Q_INVOKABLE void setView(int scope, const QString &station, const QString &track, int page);
    // Makes the train with this id text the subject of the path and reservations (empty = let
    // the next capture choose) and shows the new selection at once.
    Q_INVOKABLE void selectTrain(const QString &train);
    // Seconds a train stands outside a station before it counts as held or stalled; from the next
    // capture on.
    Q_INVOKABLE void setAlertDelay(int seconds);
    // The user chose no train: no capture selects one until a train is chosen again.
    Q_INVOKABLE void clearTrain();

signals:
    void changed();
    void alertsChanged();

private:
    void acceptResult(quint64 request, const QVariantMap &data);
    void ageData();
    // Makes data the published map and emits changed(); the previous map is then released on the
    // reader thread, so that the GUI thread never frees a large map.
    void publish(QVariantMap data);
    // The view's train (an id, 0 or ViewParameters::noTrain), shown at once.
    void selectTrainId(quint64 trainId);
    // A result that is not published, released on the reader thread once its delivery is over.
    void releaseAfterDelivery(const QVariantMap &data);
    // A new game or connection: the alerts so far are of the previous one.
    void markAlertsPrevious();

    // The tests' view of the state shared with the reader thread and their way to deliver a
    // crafted result exactly as the reader's queued signal does (tests/backend/BackendProbe.h).
    friend class BackendProbe;

    ReaderThread m_reader;
    QVariantMap m_data;
    AlertLog m_alerts;
    quint64 m_connectionCounter = 0;
    bool m_replaying = false;
    QTimer m_staleTimer;
};
