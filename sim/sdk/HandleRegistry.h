#pragma once

#include "Session.h"
#include "Snapshot.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

// The open sessions and snapshots of the process behind their opaque handles. Handles are never
// reused, so a released handle stays unknown; session and snapshot handles come from separate
// ranges, so one is never taken for the other.
class HandleRegistry
{
public:
    static HandleRegistry &instance();

    uint64_t addSession(std::shared_ptr<Session> session);
    std::shared_ptr<Session> session(uint64_t handle) const;
    bool removeSession(uint64_t handle);

    uint64_t addSnapshot(std::shared_ptr<const Snapshot> snapshot);
    std::shared_ptr<const Snapshot> snapshot(uint64_t handle) const;
    bool removeSnapshot(uint64_t handle);
    uint32_t snapshotCount() const;

private:
    HandleRegistry() = default;
    mutable std::mutex m_mutex;
    uint64_t m_nextSession = 0x5E55000000000001ULL;
    uint64_t m_nextSnapshot = 0x5A95000000000001ULL;
    std::map<uint64_t, std::shared_ptr<Session>> m_sessions;
    std::map<uint64_t, std::shared_ptr<const Snapshot>> m_snapshots;
};
