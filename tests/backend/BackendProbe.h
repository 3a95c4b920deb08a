#pragma once

#include "Backend.h"

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
    static ViewParameters viewParameters(Backend &backend)
    {
        return backend.m_reader.withViewParameters([](const ViewParameters &view) { return view; });
    }
    static void deliver(Backend &backend, quint64 request, const QVariantMap &data)
    {
        backend.acceptResult(request, data);
    }
};
