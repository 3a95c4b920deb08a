#include "MapPreferences.h"

#include <QSettings>

#include <cmath>

namespace {

bool persistentPreferences = true;

const QString signalLayerKey = QStringLiteral("map/signalLayer");
const QString stationNamesKey = QStringLiteral("map/stationNames");
const QString cameraKeys[] = {QStringLiteral("railway"), QStringLiteral("x"), QStringLiteral("y"),
                              QStringLiteral("scale")};
const QString framedKey = QStringLiteral("framed");

// A camera with a railway and three finite numbers, the scale positive, and whether it framed the
// network; anything else is none.
QVariantMap sensibleCamera(const QVariantMap &camera)
{
    if (camera.value(cameraKeys[0]).toString().isEmpty())
        return {};
    QVariantMap result{{cameraKeys[0], camera.value(cameraKeys[0]).toString()}};
    for (int i = 1; i < 4; ++i) {
        bool ok = false;
        const double value = camera.value(cameraKeys[i]).toDouble(&ok);
        if (!ok || !std::isfinite(value) || (i == 3 && !(value > 0)))
            return {};
        result.insert(cameraKeys[i], value);
    }
    result.insert(framedKey, camera.value(framedKey).toBool());
    return result;
}

} // namespace

MapPreferences::MapPreferences(QObject *parent)
    : QObject(parent), m_persistent(persistentPreferences)
{
    if (!m_persistent)
        return;
    const QSettings settings;
    bool ok = false;
    const int layer = settings.value(signalLayerKey).toInt(&ok);
    if (ok && SignalLayer::isLayer(layer))
        m_signalLayer = SignalLayer::Layer(layer);
    // Only the texts a boolean is written as count; anything else keeps the default.
    const QString names = settings.value(stationNamesKey).toString();
    if (names == QLatin1String("true") || names == QLatin1String("false"))
        m_stationNames = names == QLatin1String("true");
    QVariantMap stored;
    for (const QString &key : cameraKeys)
        stored.insert(key, settings.value(QStringLiteral("map/camera/") + key));
    stored.insert(framedKey, settings.value(QStringLiteral("map/camera/") + framedKey));
    m_camera = sensibleCamera(stored);
}

void MapPreferences::setCamera(const QVariantMap &camera)
{
    const QVariantMap sensible = sensibleCamera(camera);
    if (sensible == m_camera)
        return;
    m_camera = sensible;
    save();
    emit changed();
}

void MapPreferences::setSignalLayer(int layer)
{
    if (!SignalLayer::isLayer(layer) || layer == m_signalLayer)
        return;
    m_signalLayer = SignalLayer::Layer(layer);
    save();
    emit changed();
}

void MapPreferences::setStationNames(bool shown)
{
    if (shown == m_stationNames)
        return;
    m_stationNames = shown;
    save();
    emit changed();
}

void MapPreferences::setPersistent(bool persistent)
{
    persistentPreferences = persistent;
}

bool MapPreferences::isPersistent()
{
    return persistentPreferences;
}

void MapPreferences::save() const
{
    if (!m_persistent)
        return;
    QSettings settings;
    settings.setValue(signalLayerKey, int(m_signalLayer));
    settings.setValue(stationNamesKey, m_stationNames);
    if (m_camera.isEmpty()) {
        settings.remove(QStringLiteral("map/camera"));
        return;
    }
    for (const QString &key : cameraKeys)
        settings.setValue(QStringLiteral("map/camera/") + key, m_camera.value(key));
    settings.setValue(QStringLiteral("map/camera/") + framedKey, m_camera.value(framedKey));
}
