#pragma once

#include "Backend.h"

#include <atomic>

// The tests' window on Backend's private side: the state it shares with its reader thread, its
// stale timer, and the one entry of results. deliver() calls the very handler that the reader's
// queued signal reaches, so a test can hand in a result with a request word or view revision of
// its choosing.
class BackendProbe
{
public:
    static quint64 requestWord(const Backend &backend) { return backend.m_reader.request(); }
    static bool isPending(const Backend &backend) { return backend.m_reader.isPending(); }
    static bool staleTimerActive(const Backend &backend) { return backend.m_staleTimer.isActive(); }
    static void setReaderIdleInterval(Backend &backend, int milliseconds)
    {
        backend.m_reader.setIdleInterval(milliseconds);
    }
    static ViewParameters viewParameters(Backend &backend)
    {
        return backend.m_reader.withViewParameters([](const ViewParameters &view) { return view; });
    }
    static const QThread *readerThread(const Backend &backend) { return &backend.m_reader; }
    static void deliver(Backend &backend, quint64 request, const QVariantMap &data)
    {
        backend.acceptResult(request, data);
    }
};

// Shared by the Backend tests: the reader's "SDK snapshot:" lines (one per capture that starts a
// connection, written from its thread in the category zorvy.capture), counted by a message
// handler that passes everything on.
inline std::atomic<int> snapshotLines{0};
inline QtMessageHandler previousHandler = nullptr;

inline void countSnapshotLines(QtMsgType type, const QMessageLogContext &context,
                               const QString &message)
{
    if (type == QtInfoMsg && qstrcmp(context.category, "zorvy.capture") == 0 &&
        message.startsWith(QLatin1String("SDK snapshot:")))
        ++snapshotLines;
    if (previousHandler)
        previousHandler(type, context, message);
}

inline QString status(const Backend &backend)
{
    return backend.data().value(QStringLiteral("status")).toString();
}

inline bool isLive(const Backend &backend)
{
    return backend.data().value(QStringLiteral("live")).toBool();
}

#define WAIT_UNTIL_LIVE(backend, timeoutMs)                                                        \
    QTRY_VERIFY2_WITH_TIMEOUT(isLive(backend), qPrintable(status(backend)), timeoutMs)
