#pragma once

#include "ViewChoices.h"

#include <QObject>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

// The map's layer choices as the user left them: how signals are shown and whether station names
// are. Read from the user's settings at start and written back at each change, unless the program
// runs without persistence (verification runs, whose results must not depend on the last session).
// Values that make no sense in the settings fall back to the defaults.
class MapPreferences : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // Images by default; stored as its number.
    Q_PROPERTY(SignalLayer::Layer signalLayer READ signalLayer WRITE setSignalLayer NOTIFY changed)
    Q_PROPERTY(bool stationNames READ stationNames WRITE setStationNames NOTIFY changed)
    // The map's camera as the map item gives it ("railway", "x", "y", "scale", "framed"), taken
    // back when the same railway is found again; empty when none is remembered.
    Q_PROPERTY(QVariantMap camera READ camera WRITE setCamera NOTIFY changed)

public:
    static constexpr SignalLayer::Layer defaultSignalLayer = SignalLayer::Auto;
    static constexpr bool defaultStationNames = true;

    explicit MapPreferences(QObject *parent = nullptr);

    SignalLayer::Layer signalLayer() const { return m_signalLayer; }
    void setSignalLayer(int layer);
    bool stationNames() const { return m_stationNames; }
    void setStationNames(bool shown);
    QVariantMap camera() const { return m_camera; }
    void setCamera(const QVariantMap &camera);

    // Whether instances made from now on read and write the user's settings (on by default).
    static void setPersistent(bool persistent);
    static bool isPersistent();

signals:
    void changed();

private:
    void save() const;

    SignalLayer::Layer m_signalLayer = defaultSignalLayer;
    bool m_stationNames = defaultStationNames;
    QVariantMap m_camera;
    bool m_persistent;
};
