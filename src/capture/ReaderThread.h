#pragma once

#include "AttentionTracker.h"
#include "RecordStream.h"
#include "ViewParameters.h"

#include <QThread>
#include <QVariantMap>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// The worker thread that talks to the observation library. It keeps one library session on the
// game, captures and converts a snapshot about four times a second and hands each data map to the
// GUI thread through received(). The GUI thread only writes the request word and the view
// parameters and clears the pending flag; it never waits for the library.
//
// Between cycles the thread waits: idleIntervalMs without a session (after a failure, or with
// nothing to observe), otherwise what is left of capturePeriodMs since the cycle began, but at
// least minimumPauseMs. A new request word or stop() ends the wait at once, so a connection starts
// without waiting out the idle second.
class ReaderThread : public QThread
{
    Q_OBJECT

public:
    static constexpr int idleIntervalMs = 1000;
    static constexpr int capturePeriodMs = 250;
    static constexpr int minimumPauseMs = 20;

    explicit ReaderThread(QObject *parent = nullptr);
    // Stops and waits, so that the thread never outlives its object.
    ~ReaderThread() override;

    // What to observe: 0 = nothing; otherwise the process id in the low 32 bits (0 = find the game
    // by name) and a connection counter in the high 32 bits. A new word wakes the thread.
    quint64 request() const { return m_request.load(); }
    quint64 exchangeRequest(quint64 word);

    // Requests interruption and ends the wait between cycles; the thread finishes after its
    // current capture, if any. QThread::requestInterruption alone is seen only when the wait ends.
    void stop();

    // The wait without a session and the capture period; the defaults above unless a test needs
    // waits longer than it runs. May be changed while the thread runs; the next wait uses them.
    void setIdleInterval(int milliseconds) { m_idleIntervalMs.store(milliseconds); }
    void setCapturePeriod(int milliseconds) { m_capturePeriodMs.store(milliseconds); }

    // How long a train stands outside a station before it counts as held or stalled; the next
    // capture uses it.
    void setStoppedDelay(qint64 milliseconds);

    // Set from the moment a map is emitted until the GUI thread has taken it; no capture starts
    // while it is set, so at most one result waits in the GUI thread's queue.
    bool isPending() const { return m_pending.load(); }
    // Taking the result also wakes a reader that waits only for it (a new connection whose first
    // capture was held back by the result still in the queue).
    void clearPending()
    {
        m_pending.store(false);
        wake();
    }

    // Hands over a data map to be dropped on this thread: freeing the tens of thousands of values
    // of a large map takes milliseconds that the GUI thread should not spend. The thread drops it
    // in its next wait between cycles (at once when waiting), or when the object is destroyed.
    // Only the reference given here is dropped there: a copy kept elsewhere keeps its values.
    void release(QVariantMap map);

    // Runs access(viewParameters) with the mutex held; keep it to copies and stores.
    template <typename Access> auto withViewParameters(Access access)
    {
        std::lock_guard<std::mutex> lock(m_viewMutex);
        return access(m_viewParameters);
    }

    // Where each live capture goes as well (nullptr: nowhere). May change while the thread runs.
    void setRecordSink(std::shared_ptr<RecordSink> sink);
    // Captures taken from this source instead of the library, while a request word is set
    // (nullptr: the library). Set before a connection; the thread then opens no session.
    void setRecordSource(std::shared_ptr<RecordSource> source);

signals:
    void received(uint64_t request, QVariantMap data);

protected:
    void run() override;

private:
    // Waits between cycles; returns early when the request word is no longer servedWord or the
    // thread is asked to stop, and, when heldByPending, once the pending result is taken.
    void pause(qint64 milliseconds, uint64_t servedWord, bool heldByPending);
    // Wakes a pause so that it looks at the request word and the interruption request again.
    void wake();
    // Drops the maps handed over by release().
    void dropReleased();

    std::atomic<uint64_t> m_request{0};
    std::mutex m_viewMutex;
    ViewParameters m_viewParameters{};
    std::atomic<bool> m_pending{false};
    std::atomic<qint64> m_stoppedDelayMs{AttentionTracker::Settings{}.stoppedDelayMs};

    // Only for the wait between cycles and the wake-ups that end it.
    std::mutex m_wakeMutex;
    std::condition_variable m_wakeCondition;
    std::atomic<int> m_idleIntervalMs{idleIntervalMs};
    std::atomic<int> m_capturePeriodMs{capturePeriodMs};

    // What a live connection keeps from cycle to cycle.
    struct Live;
    // One capture of the game, its session opened first when needed; emits the data map, or the
    // failure with the session closed.
    void captureLive(Live &live, uint64_t word, RecordSink *sink);

    // One cycle of a replay: the source's due capture, converted when it or the view changed.
    // What a replay showed last: the capture (-2 none, not even the -1 of a failure), the view's
    // revision and the alerts.
    struct Shown
    {
        qint64 capture = -2;
        quint64 revision = 0;
        AttentionProgress attention;
    };
    void replayCycle(RecordSource &source, uint64_t word, Shown &shown);

    std::mutex m_streamMutex;
    std::shared_ptr<RecordSink> m_sink;
    std::shared_ptr<RecordSource> m_source;

    // Maps handed over to be dropped here.
    std::mutex m_releaseMutex;
    std::vector<QVariantMap> m_released;
    std::atomic<bool> m_hasReleased{false};
};
