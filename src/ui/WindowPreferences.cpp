#include "WindowPreferences.h"

#include "MapPreferences.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>

#include <algorithm>
#include <cmath>

namespace {

const QString geometryKey = QStringLiteral("window/geometry");
const QString panelModeKey = QStringLiteral("window/panelMode");
const QString trainOrderKey = QStringLiteral("window/trainOrder");
const QString mapOnlyKey = QStringLiteral("window/mapOnly");
const QString signalSizeKey = QStringLiteral("window/signalSize");
const QString scopeKey = QStringLiteral("window/scope");
const QString stationKey = QStringLiteral("window/station");
const QString stationNameKey = QStringLiteral("window/stationName");
const QString alertDelayKey = QStringLiteral("alerts/delay");
const QString alertKindsKey = QStringLiteral("alerts/kinds");
const QString sideTabKey = QStringLiteral("window/sideTab");

// Pixels of the window's top band that must lie on a screen, so that it can be grabbed.
constexpr int visibleWidth = 120;
constexpr int visibleHeight = 40;
constexpr int largestSide = 32768;

bool validSignalSize(double size)
{
    return std::isfinite(size) && size >= WindowPreferences::minimumSignalSize &&
           size <= WindowPreferences::maximumSignalSize;
}

bool validAlertDelay(int seconds)
{
    return seconds >= WindowPreferences::minimumAlertDelay &&
           seconds <= WindowPreferences::maximumAlertDelay;
}

bool validAlertKinds(int kinds)
{
    return kinds >= 0 && kinds <= WindowPreferences::AllAlerts;
}

bool validStationId(const QString &id)
{
    static const QRegularExpression idText(QStringLiteral("^[0-9A-F]{16}$"));
    return id.isEmpty() || idText.match(id).hasMatch();
}

QList<QRect> screenAreas()
{
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas.append(screen->availableGeometry());
    return areas;
}

} // namespace

WindowPreferences::WindowPreferences(QObject *parent)
    : QObject(parent), m_persistent(MapPreferences::isPersistent())
{
    if (!m_persistent)
        return;
    const QSettings settings;
    const QRect geometry = settings.value(geometryKey).toRect();
    if (isUsableGeometry(geometry, screenAreas()))
        m_geometry = geometry;
    // Only the texts a boolean is written as count.
    const QString panel = settings.value(panelModeKey).toString();
    if (panel == QLatin1String("true") || panel == QLatin1String("false"))
        m_panelMode = panel == QLatin1String("true");
    const QString mapOnly = settings.value(mapOnlyKey).toString();
    if (mapOnly == QLatin1String("true") || mapOnly == QLatin1String("false"))
        m_mapOnly = mapOnly == QLatin1String("true");
    bool ok = false;
    const int order = settings.value(trainOrderKey).toInt(&ok);
    if (ok && order >= 0 && order < trainOrderCount)
        m_trainOrder = order;
    const double size = settings.value(signalSizeKey).toDouble(&ok);
    if (ok && validSignalSize(size))
        m_signalSize = size;
    const int scope = settings.value(scopeKey).toInt(&ok);
    if (ok && ListScope::isScope(scope))
        m_scope = ListScope::Scope(scope);
    const int delay = settings.value(alertDelayKey).toInt(&ok);
    if (ok && validAlertDelay(delay))
        m_alertDelay = delay;
    const int kinds = settings.value(alertKindsKey).toInt(&ok);
    if (ok && validAlertKinds(kinds))
        m_alertKinds = kinds;
    const int tab = settings.value(sideTabKey).toInt(&ok);
    if (ok && (tab == 0 || tab == 1))
        m_sideTab = tab;
    const QString station = settings.value(stationKey).toString();
    if (!station.isEmpty() && validStationId(station)) {
        m_station = station;
        m_stationName = settings.value(stationNameKey).toString();
    }
}

QRect WindowPreferences::firstGeometry(int width, int height) const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!m_persistent || !screen)
        return QRect();
    return fitInto(QSize(width, height), screen->availableGeometry());
}

QRect WindowPreferences::fitInto(const QSize &wanted, const QRect &area)
{
    const QSize size = wanted.boundedTo(area.size()).expandedTo(QSize(minimumWidth, minimumHeight));
    QRect placed(QPoint(0, 0), size);
    placed.moveCenter(area.center());
    // A screen smaller than the minimum: the title bar and the left edge stay on it.
    placed.moveTopLeft(
        QPoint(std::max(placed.left(), area.left()), std::max(placed.top(), area.top())));
    return placed;
}

bool WindowPreferences::isUsableGeometry(const QRect &geometry, const QList<QRect> &screens)
{
    if (geometry.width() < minimumWidth || geometry.height() < minimumHeight ||
        geometry.width() > largestSide || geometry.height() > largestSide)
        return false;
    const QRect topBand(geometry.x(), geometry.y(), geometry.width(), visibleHeight);
    for (const QRect &screen : screens) {
        const QRect shown = topBand.intersected(screen);
        if (shown.width() >= visibleWidth && shown.height() >= visibleHeight)
            return true;
    }
    return false;
}

void WindowPreferences::setPanelMode(bool panelMode)
{
    if (panelMode == m_panelMode)
        return;
    m_panelMode = panelMode;
    save();
    emit changed();
}

void WindowPreferences::setTrainOrder(int order)
{
    if (order < 0 || order >= trainOrderCount || order == m_trainOrder)
        return;
    m_trainOrder = order;
    save();
    emit changed();
}

void WindowPreferences::setMapOnly(bool mapOnly)
{
    if (mapOnly == m_mapOnly)
        return;
    m_mapOnly = mapOnly;
    save();
    emit changed();
}

void WindowPreferences::setSignalSize(double size)
{
    if (!validSignalSize(size) || size == m_signalSize)
        return;
    m_signalSize = size;
    save();
    emit changed();
}

void WindowPreferences::setScope(int scope)
{
    if (!ListScope::isScope(scope) || scope == m_scope)
        return;
    m_scope = ListScope::Scope(scope);
    save();
    emit changed();
}

void WindowPreferences::setAlertDelay(int seconds)
{
    if (!validAlertDelay(seconds) || seconds == m_alertDelay)
        return;
    m_alertDelay = seconds;
    save();
    emit changed();
}

void WindowPreferences::setAlertKinds(int kinds)
{
    if (!validAlertKinds(kinds) || kinds == m_alertKinds)
        return;
    m_alertKinds = kinds;
    save();
    emit changed();
}

void WindowPreferences::setSideTab(int tab)
{
    if ((tab != 0 && tab != 1) || tab == m_sideTab)
        return;
    m_sideTab = tab;
    save();
    emit changed();
}

void WindowPreferences::setGeometry(int x, int y, int width, int height)
{
    const QRect geometry(x, y, width, height);
    if (geometry == m_geometry)
        return;
    m_geometry = geometry;
    save();
    emit changed();
}

void WindowPreferences::setStation(const QString &id, const QString &name)
{
    if (!validStationId(id) || (id == m_station && (id.isEmpty() || name == m_stationName)))
        return;
    m_station = id;
    m_stationName = id.isEmpty() ? QString() : name;
    save();
    emit changed();
}

void WindowPreferences::reset()
{
    m_geometry = QRect();
    m_panelMode = defaultPanelMode;
    m_signalSize = defaultSignalSize;
    m_scope = defaultScope;
    m_station.clear();
    m_stationName.clear();
    m_alertDelay = defaultAlertDelay;
    m_alertKinds = AllAlerts;
    m_trainOrder = 0;
    m_mapOnly = false;
    m_sideTab = 0;
    if (m_persistent) {
        QSettings settings;
        for (const QString &key :
             {geometryKey, panelModeKey, signalSizeKey, scopeKey, stationKey, stationNameKey,
              alertDelayKey, alertKindsKey, trainOrderKey, mapOnlyKey, sideTabKey})
            settings.remove(key);
    }
    emit changed();
}

void WindowPreferences::save() const
{
    if (!m_persistent)
        return;
    QSettings settings;
    if (m_geometry.isValid())
        settings.setValue(geometryKey, m_geometry);
    settings.setValue(panelModeKey, m_panelMode);
    settings.setValue(signalSizeKey, m_signalSize);
    settings.setValue(scopeKey, int(m_scope));
    settings.setValue(stationKey, m_station);
    settings.setValue(stationNameKey, m_stationName);
    settings.setValue(alertDelayKey, m_alertDelay);
    settings.setValue(alertKindsKey, m_alertKinds);
    settings.setValue(trainOrderKey, m_trainOrder);
    settings.setValue(mapOnlyKey, m_mapOnly);
    settings.setValue(sideTabKey, m_sideTab);
}
