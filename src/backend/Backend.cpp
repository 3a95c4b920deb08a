#include "Backend.h"

#include "DataMap.h"
#include "DataMapKeys.h"
#include "ModelConstants.h"
#include "ViewChoices.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <utility>

using DataMap::baseDataMap;
using DataMap::clearPath;
using DataMap::clearUsage;
using DataMap::expireSignalStates;
using DataMap::idText;
using DataMap::parseIdText;

Backend::Backend(QObject *parent)
    : QObject(parent), m_data(baseDataMap(QStringLiteral("Déconnecté")))
{
    m_staleTimer.setSingleShot(true);
    m_staleTimer.setInterval(LiveData::staleIntervalMs);
    connect(&m_staleTimer, &QTimer::timeout, this, &Backend::ageData);
    connect(&m_reader, &ReaderThread::received, this, &Backend::acceptResult);
    m_reader.start();
}

Backend::~Backend()
{
    // stop() also ends the reader's wait between cycles; a capture under way is waited for.
    m_reader.stop();
    m_reader.wait();
}

bool Backend::stopReader(int milliseconds)
{
    m_reader.stop();
    return m_reader.wait(QDeadlineTimer(milliseconds));
}

void Backend::connectGame(const QString &pid)
{
    const QString trimmed = pid.trimmed();
    quint32 processId = 0;
    if (!trimmed.isEmpty()) {
        bool ok = false;
        processId = trimmed.toUInt(&ok, 10);
        if (!ok || processId == 0) {
            disconnectGame();
            publish(baseDataMap(QStringLiteral("PID invalide")));
            return;
        }
    }
    ++m_connectionCounter;
    const quint64 word =
        (static_cast<quint64>(m_connectionCounter & 0xFFFFFFFFu) << 32) | processId;
    m_reader.exchangeRequest(word);
    m_staleTimer.stop();
    markAlertsPrevious();
    publish(baseDataMap(QStringLiteral("Connexion…")));
}

void Backend::disconnectGame()
{
    m_reader.exchangeRequest(0);
    m_staleTimer.stop();
    markAlertsPrevious();
    publish(baseDataMap(QStringLiteral("Déconnecté")));
}

void Backend::setView(int scope, const QString &station, const QString &track, int page)
{
    const quint64 stationId = parseIdText(station);
    const quint64 trackId = parseIdText(track);
    m_reader.withViewParameters([&](ViewParameters &view) {
        view.scope = std::clamp(scope, int(ListScope::Trains), int(ListScope::Selection));
        view.page = std::max(page, 0);
        view.station = stationId;
        view.track = trackId;
        ++view.revision;
    });
}

void Backend::clearTrain()
{
    selectTrainId(ViewParameters::noTrain);
}

void Backend::selectTrain(const QString &train)
{
    selectTrainId(parseIdText(train));
}

void Backend::selectTrainId(quint64 trainId)
{
    m_reader.withViewParameters([&](ViewParameters &view) {
        view.train = trainId;
        ++view.revision;
    });
    m_staleTimer.stop();

    // Only what the selection changes is rewritten: the path, the usage and the signal states
    // (the whole-network table by a flag); everything else stays shared with the previous map.
    QVariantMap data = m_data;
    clearPath(data, false);
    clearUsage(data, false);
    expireSignalStates(data);

    const QString selectedId =
        trainId != 0 && trainId != ViewParameters::noTrain ? idText(trainId) : QString();
    data.insert(DataMapKeys::selectedTrainIdKey, selectedId);
    data.insert(DataMapKeys::selectedTrackIdKey, QString());
    data.insert(DataMapKeys::selectedTrainKey, QString());
    const QVariant trains = m_data.value(DataMapKeys::trainsKey);
    if (trains.metaType().id() == QMetaType::QVariantList) {
        // Read in place: the list of a large world has thousands of trains.
        for (const QVariant &entry : *static_cast<const QVariantList *>(trains.constData())) {
            const QVariantMap trainMap = entry.toMap();
            if (trainMap.value(DataMapKeys::idKey).toString() == selectedId) {
                data.insert(DataMapKeys::selectedTrainKey, trainMap.value(DataMapKeys::nameKey));
                data.insert(DataMapKeys::selectedTrackIdKey, trainMap.value(DataMapKeys::trackKey));
                break;
            }
        }
    }
    publish(std::move(data));
}

void Backend::setAlertDelay(int seconds)
{
    m_reader.setStoppedDelay(qint64(std::max(seconds, 1)) * 1000);
}

void Backend::acceptResult(quint64 request, const QVariantMap &data)
{
    // First of all, so that the reader is never left waiting, also for a result dropped below.
    m_reader.clearPending();

    // The alerts of every result of this connection count, also of one whose view is outdated.
    if (m_reader.request() == request) {
        // A replay that went back gives its alerts again from its beginning.
        const bool dropped =
            data.value(DataMapKeys::attentionRestartKey).toBool() && m_alerts.dropCurrent();
        if (m_alerts.take(data.value(DataMapKeys::attentionEventsKey).toList()) || dropped)
            emit alertsChanged();
    }

    const auto revision = data.constFind(DataMapKeys::viewRevisionKey);
    if (revision != data.constEnd()) {
        const quint64 resultRevision = revision->toULongLong();
        const bool outdated = m_reader.withViewParameters(
            [&](const ViewParameters &view) { return view.revision != resultRevision; });
        if (outdated) {
            releaseAfterDelivery(data);
            return;
        }
    }
    if (m_reader.request() != request) {
        releaseAfterDelivery(data);
        return;
    }

    QVariantMap accepted = data;
    const bool live = accepted.value(DataMapKeys::liveKey).toBool();
    // A failed capture ends the reader's session: its alerts are of a game seen before.
    if (!live && m_data.value(DataMapKeys::liveKey).toBool())
        markAlertsPrevious();
    if (!live || !accepted.value(DataMapKeys::pathAvailableKey).toBool() ||
        accepted.value(DataMapKeys::selectedTrainIdKey).toString().isEmpty())
        clearPath(accepted, false);

    m_staleTimer.stop();
    if (live && !m_replaying)
        m_staleTimer.start();
    publish(std::move(accepted));
}

void Backend::markAlertsPrevious()
{
    if (m_alerts.markPrevious())
        emit alertsChanged();
}

void Backend::ageData()
{
    if (!m_data.value(DataMapKeys::liveKey).toBool())
        return;
    QVariantMap data = m_data;
    clearPath(data, true);
    clearUsage(data, true);
    expireSignalStates(data);
    publish(std::move(data));
}

void Backend::publish(QVariantMap data)
{
    QVariantMap previous = std::exchange(m_data, std::move(data));
    emit changed();
    // Every reader has taken the new map by now; what it no longer shares dies on the reader
    // thread.
    m_reader.release(std::move(previous));
}

void Backend::releaseAfterDelivery(const QVariantMap &data)
{
    // The queued call that delivered the map holds a copy until it returns: hand the map over
    // after that, so that the reader's reference is the last one.
    QMetaObject::invokeMethod(
        this, [this, map = data]() mutable { m_reader.release(std::move(map)); },
        Qt::QueuedConnection);
}
