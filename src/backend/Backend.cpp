#include "Backend.h"

#include "DataMap.h"
#include "DataMapKeys.h"
#include "ModelConstants.h"

#include <algorithm>

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

void Backend::connectGame(const QString &pid)
{
    const QString trimmed = pid.trimmed();
    quint32 processId = 0;
    if (!trimmed.isEmpty()) {
        bool ok = false;
        processId = trimmed.toUInt(&ok, 10);
        if (!ok || processId == 0) {
            disconnectGame();
            m_data = baseDataMap(QStringLiteral("PID invalide"));
            emit changed();
            return;
        }
    }
    ++m_connectionCounter;
    const quint64 word =
        (static_cast<quint64>(m_connectionCounter & 0xFFFFFFFFu) << 32) | processId;
    m_reader.exchangeRequest(word);
    m_staleTimer.stop();
    m_data = baseDataMap(QStringLiteral("Connexion…"));
    emit changed();
}

void Backend::disconnectGame()
{
    m_reader.exchangeRequest(0);
    m_staleTimer.stop();
    m_data = baseDataMap(QStringLiteral("Déconnecté"));
    emit changed();
}

void Backend::setView(int scope, const QString &station, const QString &track, int page)
{
    const quint64 stationId = parseIdText(station);
    const quint64 trackId = parseIdText(track);
    m_reader.withViewParameters([&](ViewParameters &view) {
        view.scope = std::clamp(scope, 0, 3);
        view.page = std::max(page, 0);
        view.station = stationId;
        view.track = trackId;
        ++view.revision;
    });
}

void Backend::selectTrain(const QString &train)
{
    const quint64 trainId = parseIdText(train);
    m_reader.withViewParameters([&](ViewParameters &view) {
        view.train = trainId;
        ++view.revision;
    });
    m_staleTimer.stop();

    clearPath(m_data, false);
    clearUsage(m_data, false);
    expireSignalStates(m_data);

    const QString selectedId = trainId != 0 ? idText(trainId) : QString();
    m_data.insert(DataMapKeys::selectedTrainIdKey, selectedId);
    m_data.insert(DataMapKeys::selectedTrackIdKey, QString());
    m_data.insert(DataMapKeys::selectedTrainKey, QString());
    const QVariantList trains = m_data.value(DataMapKeys::trainsKey).toList();
    for (const QVariant &entry : trains) {
        const QVariantMap trainMap = entry.toMap();
        if (trainMap.value(DataMapKeys::idKey).toString() == selectedId) {
            m_data.insert(DataMapKeys::selectedTrainKey, trainMap.value(DataMapKeys::nameKey));
            m_data.insert(DataMapKeys::selectedTrackIdKey, trainMap.value(DataMapKeys::trackKey));
            break;
        }
    }
    emit changed();
}

void Backend::acceptResult(quint64 request, const QVariantMap &data)
{
    // First of all, so that the reader is never left waiting, also for a result dropped below.
    m_reader.clearPending();

    const auto revision = data.constFind(DataMapKeys::viewRevisionKey);
    if (revision != data.constEnd()) {
        const quint64 resultRevision = revision->toULongLong();
        const bool outdated = m_reader.withViewParameters(
            [&](const ViewParameters &view) { return view.revision != resultRevision; });
        if (outdated)
            return;
    }
    if (m_reader.request() != request)
        return;

    m_data = data;
    const bool live = m_data.value(DataMapKeys::liveKey).toBool();
    if (!live || !m_data.value(DataMapKeys::pathAvailableKey).toBool() ||
        m_data.value(DataMapKeys::selectedTrainIdKey).toString().isEmpty())
        clearPath(m_data, false);

    m_staleTimer.stop();
    if (live)
        m_staleTimer.start();
    emit changed();
}

void Backend::ageData()
{
    if (!m_data.value(DataMapKeys::liveKey).toBool())
        return;
    clearPath(m_data, true);
    clearUsage(m_data, true);
    expireSignalStates(m_data);
    emit changed();
}
