#include "ReaderThread.h"

#include "AttentionMap.h"
#include "AttentionTracker.h"
#include "ClosedImages.h"
#include "DataMap.h"
#include "DataMapKeys.h"
#include "GameProcessFinder.h"
#include "LogCategories.h"
#include "SdkApi.h"
#include "SdkCopy.h"
#include "SnapshotConverter.h"

#include <QDebug>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace {

const char noUniqueGameText[] = "Aucun jeu unique détecté · démarrer le jeu ou saisir son PID";

// Lists the running games under "gameProcesses" when there are several: the first few by start
// time, and how many more run under "moreGameProcesses".
void addRunningGames(QVariantMap &map)
{
    const RunningGames games = runningGameProcesses();
    if (games.count < 2)
        return;
    QVariantList ids;
    for (const quint32 game : games.first)
        ids.append(game);
    map.insert(DataMapKeys::gameProcessesKey, ids);
    if (games.count > games.first.size())
        map.insert(DataMapKeys::moreGameProcessesKey, games.count - int(games.first.size()));
}

void closeSession(SdkSession &session)
{
    if (session != 0)
        ZorvySdk_CloseSession(session);
    session = 0;
}

} // namespace

ReaderThread::ReaderThread(QObject *parent) : QThread(parent)
{
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<QVariantMap>("QVariantMap");
}

ReaderThread::~ReaderThread()
{
    stop();
    wait();
    dropReleased();
}

quint64 ReaderThread::exchangeRequest(quint64 word)
{
    const quint64 previous = m_request.exchange(word);
    wake();
    return previous;
}

void ReaderThread::stop()
{
    requestInterruption();
    wake();
}

void ReaderThread::wake()
{
    // The change is already stored. Taking the mutex makes sure that a pause which looked before
    // the change is inside its wait when notified, so that the notification is not lost.
    std::lock_guard<std::mutex> lock(m_wakeMutex);
    m_wakeCondition.notify_all();
}

void ReaderThread::release(QVariantMap map)
{
    {
        std::lock_guard<std::mutex> lock(m_releaseMutex);
        m_released.push_back(std::move(map));
        m_hasReleased.store(true);
    }
    wake();
}

void ReaderThread::dropReleased()
{
    std::vector<QVariantMap> released;
    {
        std::lock_guard<std::mutex> lock(m_releaseMutex);
        released.swap(m_released);
        m_hasReleased.store(false);
    }
    // The maps die here, outside the lock.
}

void ReaderThread::pause(qint64 milliseconds, uint64_t servedWord, bool heldByPending)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> lock(m_wakeMutex);
    for (;;) {
        const bool ended = m_wakeCondition.wait_until(lock, deadline, [&] {
            return m_request.load() != servedWord || isInterruptionRequested() ||
                   (heldByPending && !m_pending.load()) || m_hasReleased.load();
        });
        if (!ended || !m_hasReleased.load())
            return;
        // Maps to drop do not end the wait, they only interrupt it.
        lock.unlock();
        dropReleased();
        lock.lock();
    }
}

void ReaderThread::run()
{
    SdkSession session = 0;
    uint64_t lastRequest = 0;
    quint32 processId = 0;
    quint64 captureCount = 0;
    SnapshotRecords records; // memory kept from capture to capture
    AttentionTracker attention;
    ClosedImages closedImages;
    QElapsedTimer clock;
    clock.start();
    const auto readAttention = [&](const SnapshotRecords &captured, QVariantMap &data) {
        const qint64 now = clock.elapsed();
        AttentionTracker::Settings settings;
        settings.stoppedDelayMs = m_stoppedDelayMs.load();
        attention.setSettings(settings);
        attention.update(captured, now,
                         [&](QByteArrayView path) { return closedImages.closed(path, now); });
        AttentionMap::write(data, attention, captured, now);
    };

    while (!isInterruptionRequested()) {
        QElapsedTimer cycle;
        cycle.start();

        const uint64_t word = m_request.load();
        if (word != lastRequest) {
            closeSession(session);
            lastRequest = word;
            processId = 0;
            captureCount = 0;
            attention.reset();
        }

        // A new connection whose session is not open yet waits only for the pending result.
        const bool heldByPending = word != 0 && session == 0 && m_pending.load();
        if (word != 0 && !m_pending.load()) {
            bool searchFailed = false;
            try {
                if (session == 0) {
                    processId = static_cast<quint32>(word & 0xFFFFFFFFu);
                    if (processId == 0)
                        processId = findGameProcess();
                    searchFailed = processId == 0;
                    if (searchFailed)
                        throw std::runtime_error(noUniqueGameText);
                    session = SdkCopy::openSession(processId);
                }
                const ViewParameters view =
                    withViewParameters([](const ViewParameters &current) { return current; });
                const QVariantMap map = convertSnapshot(SdkFunctions::library(), session, processId,
                                                        view, records, readAttention);
                if (captureCount == 0) {
                    qCInfo(LogCategory::capture)
                        << "SDK snapshot:" << map.value(DataMapKeys::trainCountKey)
                        << map.value(DataMapKeys::trackCountKey)
                        << map.value(DataMapKeys::signalCountKey);
                }
                ++captureCount;
                m_pending.store(true);
                emit received(word, map);
            } catch (const std::exception &error) {
                closeSession(session);
                attention.reset();
                QVariantMap failure = DataMap::baseDataMap(QString::fromUtf8(error.what()));
                // Several games: their process ids, so that the user can choose one.
                if (searchFailed)
                    addRunningGames(failure);
                m_pending.store(true);
                emit received(word, failure);
            }
        }

        pause(session == 0
                  ? qint64(m_idleIntervalMs.load())
                  : std::max<qint64>(minimumPauseMs, m_capturePeriodMs.load() - cycle.elapsed()),
              word, heldByPending);
    }
    closeSession(session);
}
