#pragma once

#include "ViewChoices.h"

#include <QObject>
#include <QRect>
#include <QtQml/qqmlregistration.h>

// The window's choices as the user left them: its place and size, list or map, the signal size,
// the list's scope and station, and the alerts' delay and kinds. Read from the user's settings at
// start and written back at each change, under the same switch as the map's choices
// (MapPreferences): runs without persistence (verification and smoke runs) start from the defaults
// and write nothing. Values that make no sense in the settings (negative sizes, a window off every
// screen, unknown modes) fall back to the defaults.
class WindowPreferences : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // An empty rectangle when the window has no remembered place.
    Q_PROPERTY(QRect geometry READ geometry NOTIFY changed)
    Q_PROPERTY(bool panelMode READ panelMode WRITE setPanelMode NOTIFY changed)
    Q_PROPERTY(double signalSize READ signalSize WRITE setSignalSize NOTIFY changed)
    // Stored as its number.
    Q_PROPERTY(ListScope::Scope scope READ scope WRITE setScope NOTIFY changed)
    // The station filter's id text and the station's name (shown until the game lists it).
    Q_PROPERTY(QString station READ station NOTIFY changed)
    Q_PROPERTY(QString stationName READ stationName NOTIFY changed)
    // Seconds a train stands outside a station before it counts as held or stalled.
    Q_PROPERTY(int alertDelay READ alertDelay WRITE setAlertDelay NOTIFY changed)
    // The alerts the list shows: a sum of AlertKinds.
    Q_PROPERTY(int alertKinds READ alertKinds WRITE setAlertKinds NOTIFY changed)
    // The order of the train list (0: the game's, 1: name, 2: speed, 3: stopped first).
    Q_PROPERTY(int trainOrder READ trainOrder WRITE setTrainOrder NOTIFY changed)
    // "Carte seule": the map takes the whole window.
    Q_PROPERTY(bool mapOnly READ mapOnly WRITE setMapOnly NOTIFY changed)
    // The tab of the side column: 0 the trains, 1 the alerts.
    Q_PROPERTY(int sideTab READ sideTab WRITE setSideTab NOTIFY changed)

public:
    static constexpr bool defaultPanelMode = true;
    static constexpr double defaultSignalSize = 64;
    static constexpr double minimumSignalSize = 24;
    static constexpr double maximumSignalSize = 96;
    static constexpr ListScope::Scope defaultScope = ListScope::Trains;
    static constexpr int trainOrderCount = 4;
    static constexpr int minimumWidth = 1060;
    static constexpr int defaultAlertDelay = 10;
    static constexpr int minimumAlertDelay = 1;
    static constexpr int maximumAlertDelay = 3600;
    enum AlertKinds { HeldAlerts = 1, StalledAlerts = 2, DeadlockAlerts = 4, AllAlerts = 7 };
    Q_ENUM(AlertKinds)
    static constexpr int minimumHeight = 650;

    explicit WindowPreferences(QObject *parent = nullptr);

    QRect geometry() const { return m_geometry; }
    bool panelMode() const { return m_panelMode; }
    void setPanelMode(bool panelMode);
    double signalSize() const { return m_signalSize; }
    void setSignalSize(double size);
    ListScope::Scope scope() const { return m_scope; }
    void setScope(int scope);
    QString station() const { return m_station; }
    QString stationName() const { return m_stationName; }
    int alertDelay() const { return m_alertDelay; }
    void setAlertDelay(int seconds);
    int alertKinds() const { return m_alertKinds; }
    void setAlertKinds(int kinds);
    int trainOrder() const { return m_trainOrder; }
    void setTrainOrder(int order);
    bool mapOnly() const { return m_mapOnly; }
    void setMapOnly(bool mapOnly);
    int sideTab() const { return m_sideTab; }
    void setSideTab(int tab);

    // The window's place and size when it closes.
    Q_INVOKABLE void setGeometry(int x, int y, int width, int height);
    // An empty id is "Toutes les gares".
    Q_INVOKABLE void setStation(const QString &id, const QString &name);
    // Back to the defaults (and, when persistent, forgets the stored choices).
    Q_INVOKABLE void reset();

    // Where a first window of the given size goes, when nothing is remembered: within the primary
    // screen's free area (a small laptop screen must not cut the window), centred. Without
    // persistence (verification runs, tests) an empty rectangle: the window keeps its fixed size.
    Q_INVOKABLE QRect firstGeometry(int width, int height) const;
    // The size wanted within area, centred there; never below the minimum size.
    static QRect fitInto(const QSize &wanted, const QRect &area);
    // A remembered geometry that a window can take: at least the minimum size, not absurdly
    // large, and enough of it on one of the given screens' areas.
    static bool isUsableGeometry(const QRect &geometry, const QList<QRect> &screens);

signals:
    void changed();

private:
    void save() const;

    QRect m_geometry;
    bool m_panelMode = defaultPanelMode;
    double m_signalSize = defaultSignalSize;
    ListScope::Scope m_scope = defaultScope;
    QString m_station;
    QString m_stationName;
    int m_alertDelay = defaultAlertDelay;
    int m_alertKinds = AllAlerts;
    int m_trainOrder = 0;
    bool m_mapOnly = false;
    int m_sideTab = 0;
    bool m_persistent;
};
