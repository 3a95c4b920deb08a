#include "MapPreferences.h"

#include <QSettings>

namespace {

bool persistentPreferences = true;

const QString signalLayerKey = QStringLiteral("map/signalLayer");
const QString stationNamesKey = QStringLiteral("map/stationNames");

} // namespace

MapPreferences::MapPreferences(QObject *parent)
    : QObject(parent), m_persistent(persistentPreferences)
{
    if (!m_persistent)
        return;
    const QSettings settings;
    bool ok = false;
    const int layer = settings.value(signalLayerKey, defaultSignalLayer).toInt(&ok);
    if (ok && layer >= 0 && layer <= 2)
        m_signalLayer = layer;
    // Only the texts a boolean is written as count; anything else keeps the default.
    const QString names = settings.value(stationNamesKey).toString();
    if (names == QLatin1String("true") || names == QLatin1String("false"))
        m_stationNames = names == QLatin1String("true");
}

void MapPreferences::setSignalLayer(int layer)
{
    if (layer < 0 || layer > 2 || layer == m_signalLayer)
        return;
    m_signalLayer = layer;
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
    settings.setValue(signalLayerKey, m_signalLayer);
    settings.setValue(stationNamesKey, m_stationNames);
}
