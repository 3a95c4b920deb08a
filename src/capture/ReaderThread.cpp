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

#include <QDateTime>
#include <QDebug>
#include <QElapsedTimer>
#include <QSet>

#include <algorithm>
#include <chrono>
#include <new>
#include <stdexcept>

namespace {

const char noUniqueGameText[] = "Aucun jeu unique détecté · démarrer le jeu ou saisir son PID";

const char severalGamesText[] = "Plusieurs jeux détectés · choisir le PID du jeu à observer";

// One running game as the window offers it: its process id and when it started.
QVariantMap gameEntry(quint32 pid, qint64 startedMs)
{
    return {{DataMapKeys::pidKey, pid}, {DataMapKeys::startedKey, startedMs}};
}

// Several running games: the status says so and "gameProcesses" lists the first few by start
// time, "moreGameProcesses" how many more run.
void addRunningGames(QVariantMap &map)
{
    const RunningGames games = runningGameProcesses();
    if (games.count < 2)
        return;
    QVariantList entries;
    for (qsizetype i = 0; i < games.first.size(); ++i)
        entries.append(gameEntry(games.first.at(i), games.started.value(i)));
    map.insert(DataMapKeys::statusKey, QString::fromUtf8(severalGamesText));
    map.insert(DataMapKeys::gameProcessesKey, entries);
    if (games.count > games.first.size())
        map.insert(DataMapKeys::moreGameProcessesKey, games.count - int(games.first.size()));
}

// The game chosen by its process id does not run (any more): the status says so instead of the
// library's error, and "endedGame" holds the id, so that the window offers the automatic search.
void reportEndedGame(QVariantMap &map, quint32 pid, bool wasSeen)
{
    if (pid == 0 || gameProcessRunning(pid))
        return;
    map.insert(DataMapKeys::statusKey,
               wasSeen ? QStringLiteral("Le jeu PID %1 s’est arrêté · relancer la recherche "
                                        "automatique ou saisir un autre PID")
                             .arg(pid)
                       : QStringLiteral("Aucun jeu en cours sous le PID %1 · lancer la recherche "
                                        "automatique ou saisir un autre PID")
                             .arg(pid));
    map.insert(DataMapKeys::endedGameKey, pid);
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

void ReaderThread::setRecordSink(std::shared_ptr<RecordSink> sink)
{
    std::lock_guard<std::mutex> lock(m_streamMutex);
    m_sink = std::move(sink);
}

void ReaderThread::setRecordSource(std::shared_ptr<RecordSource> source)
{
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        m_source = std::move(source);
    }
    wake();
}

void ReaderThread::setStoppedDelay(qint64 milliseconds)
{
    m_stoppedDelayMs.store(milliseconds);
    std::shared_ptr<RecordSource> source;
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        source = m_source;
    }
    if (source)
        source->setStoppedDelay(milliseconds);
}

void ReaderThread::replayCycle(RecordSource &source, uint64_t word, Shown &shown)
{
    const ViewParameters view =
        withViewParameters([](const ViewParameters &current) { return current; });
    QString error;
    const qint64 due = source.dueCapture();
    // Nothing new to show (also the same failure again), nor new alerts derived for it.
    if (due == shown.capture && view.revision == shown.revision &&
        !source.attentionMoved(due, shown.attention))
        return;
    QVariantMap map;
    const CapturedRecords *capture = due >= 0 ? source.load(due, &error) : nullptr;
    if (capture) {
        try {
            map = convertRecords(capture->records, capture->processId, view);
            stampCapture(map, capture->durationMs, capture->timeMs + capture->durationMs);
            // The status line says what the window shows: no connection, a recorded game.
            map.insert(
                DataMapKeys::statusKey,
                QStringLiteral("Relecture · jeu enregistré, PID %1").arg(capture->processId));
            source.addAttention(due, capture->records, map, shown.attention);
        } catch (const std::bad_alloc &) {
            error = QStringLiteral("Relecture : mémoire insuffisante pour convertir la capture");
        }
    } else if (error.isEmpty()) {
        error = QStringLiteral("Relecture : l’enregistrement ne contient aucune capture");
    }
    shown.capture = due;
    shown.revision = view.revision;
    if (!error.isEmpty())
        map = DataMap::baseDataMap(error);
    m_pending.store(true);
    emit received(word, map);
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

// What a live connection keeps from cycle to cycle.
struct ReaderThread::Live
{
    SdkSession session = 0;
    quint32 processId = 0;
    quint64 captureCount = 0;
    SnapshotRecords records; // memory kept from capture to capture
    AttentionTracker attention;
    ClosedImages closedImages;
    QElapsedTimer clock;
    // The games that ran beside this one when it was first seen, and those started since (shown
    // by the window as a notice); looked at once a second.
    QSet<quint32> gamesAtStart;
    QVariantList newGames;
    qint64 gamesCheckedMs = -1;

    void checkOtherGames(bool firstCapture)
    {
        const qint64 now = clock.elapsed();
        if (!firstCapture && gamesCheckedMs >= 0 && now - gamesCheckedMs < 1000)
            return;
        gamesCheckedMs = now;
        const RunningGames games = runningGameProcesses(listedGameProcesses + 1);
        if (firstCapture)
            gamesAtStart = QSet<quint32>(games.first.cbegin(), games.first.cend());
        newGames.clear();
        for (qsizetype i = 0; i < games.first.size(); ++i) {
            const quint32 pid = games.first.at(i);
            if (pid != processId && !gamesAtStart.contains(pid))
                newGames.append(gameEntry(pid, games.started.value(i)));
        }
    }

    // Follows the trains needing attention in one capture and writes them into its data map.
    void readAttention(const SnapshotRecords &captured, QVariantMap &data, qint64 stoppedDelayMs)
    {
        const qint64 now = clock.elapsed();
        AttentionTracker::Settings settings;
        settings.stoppedDelayMs = stoppedDelayMs;
        attention.setSettings(settings);
        attention.update(captured, now,
                         [&](QByteArrayView path) { return closedImages.closed(path, now); });
        AttentionMap::write(data, attention, captured,
                            {now, QDateTime::currentMSecsSinceEpoch(), false});
    }
};

void ReaderThread::captureLive(Live &live, uint64_t word, RecordSink *sink)
{
    bool searchFailed = false;
    try {
        if (live.session == 0) {
            live.processId = static_cast<quint32>(word & 0xFFFFFFFFu);
            if (live.processId == 0)
                live.processId = findGameProcess();
            searchFailed = live.processId == 0;
            if (searchFailed)
                throw std::runtime_error(noUniqueGameText);
            live.session = SdkCopy::openSession(live.processId);
        }
        const ViewParameters view =
            withViewParameters([](const ViewParameters &current) { return current; });
        const auto readAttention = [&](const SnapshotRecords &captured, QVariantMap &data) {
            live.readAttention(captured, data, m_stoppedDelayMs.load());
        };
        QVariantMap map = convertSnapshot(SdkFunctions::library(), live.session, live.processId,
                                          view, live.records, readAttention, sink);
        live.checkOtherGames(live.captureCount == 0);
        if (!live.newGames.isEmpty())
            map.insert(DataMapKeys::newGameProcessesKey, live.newGames);
        if (live.captureCount == 0) {
            qCInfo(LogCategory::capture)
                << "SDK snapshot:" << map.value(DataMapKeys::trainCountKey)
                << map.value(DataMapKeys::trackCountKey) << map.value(DataMapKeys::signalCountKey);
        }
        ++live.captureCount;
        m_pending.store(true);
        emit received(word, map);
    } catch (const std::exception &error) {
        closeSession(live.session);
        live.attention.reset();
        QVariantMap failure = DataMap::baseDataMap(QString::fromUtf8(error.what()));
        // Several games: their process ids, so that the user can choose one.
        if (searchFailed)
            addRunningGames(failure);
        else
            reportEndedGame(failure, quint32(word & 0xFFFFFFFFu), live.captureCount > 0);
        m_pending.store(true);
        emit received(word, failure);
    }
}

void ReaderThread::run()
{
    Live live;
    uint64_t lastRequest = 0;
    Shown shown;
    live.clock.start();

    while (!isInterruptionRequested()) {
        QElapsedTimer cycle;
        cycle.start();

        const uint64_t word = m_request.load();
        if (word != lastRequest) {
            closeSession(live.session);
            lastRequest = word;
            live.processId = 0;
            live.captureCount = 0;
            live.attention.reset();
            shown = Shown();
        }

        std::shared_ptr<RecordSink> sink;
        std::shared_ptr<RecordSource> source;
        {
            std::lock_guard<std::mutex> lock(m_streamMutex);
            sink = m_sink;
            source = m_source;
        }
        if (source) {
            closeSession(live.session);
            if (word != 0 && !m_pending.load())
                replayCycle(*source, word, shown);
            // A result still queued: the next one is made as soon as it is taken.
            const bool heldByPending = word != 0 && m_pending.load();
            pause(word == 0 ? qint64(m_idleIntervalMs.load())
                            : std::max<qint64>(
                                  1, std::min<qint64>(source->waitMs(), m_capturePeriodMs.load())),
                  word, heldByPending);
            continue;
        }

        // A new connection whose session is not open yet waits only for the pending result.
        const bool heldByPending = word != 0 && live.session == 0 && m_pending.load();
        if (word != 0 && !m_pending.load())
            captureLive(live, word, sink.get());

        pause(live.session == 0
                  ? qint64(m_idleIntervalMs.load())
                  : std::max<qint64>(minimumPauseMs, m_capturePeriodMs.load() - cycle.elapsed()),
              word, heldByPending);
    }
    closeSession(live.session);
}
