#pragma once

#include "ViewParameters.h"

#include <QThread>
#include <QVariantMap>

#include <atomic>
#include <cstdint>
#include <mutex>

// The worker thread that talks to the observation library. It keeps one library session on the
// game, captures and converts a snapshot about four times a second and hands each data map to the
// GUI thread through received(). The GUI thread only writes the request word and the view
// parameters and clears the pending flag; it never waits for the library.
class ReaderThread : public QThread
{
    Q_OBJECT

public:
    explicit ReaderThread(QObject *parent = nullptr);
    // Interrupts and waits, so that the thread never outlives its object.
    ~ReaderThread() override;

    // What to observe: 0 = nothing; otherwise the process id in the low 32 bits (0 = find the game
    // by name) and a connection counter in the high 32 bits.
    quint64 request() const { return m_request.load(); }
    quint64 exchangeRequest(quint64 word) { return m_request.exchange(word); }

    // Set from the moment a map is emitted until the GUI thread has taken it; no capture starts
    // while it is set, so at most one result waits in the GUI thread's queue.
    bool isPending() const { return m_pending.load(); }
    void clearPending() { m_pending.store(false); }

    // Runs access(viewParameters) with the mutex held; keep it to copies and stores.
    template <typename Access> auto withViewParameters(Access access)
    {
        std::lock_guard<std::mutex> lock(m_viewMutex);
        return access(m_viewParameters);
    }

signals:
    void received(uint64_t request, QVariantMap data);

protected:
    void run() override;

private:
    // Sleeps between cycles; returns early when the thread is asked to stop.
    void pause(qint64 milliseconds);

    std::atomic<uint64_t> m_request{0};
    std::mutex m_viewMutex;
    ViewParameters m_viewParameters{};
    std::atomic<bool> m_pending{false};
};
