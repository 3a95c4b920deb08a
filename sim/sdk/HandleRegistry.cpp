#include "HandleRegistry.h"

HandleRegistry &HandleRegistry::instance()
{
    static HandleRegistry registry;
    return registry;
}

uint64_t HandleRegistry::addSession(std::shared_ptr<Session> session)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint64_t handle = m_nextSession++;
    m_sessions.emplace(handle, std::move(session));
    return handle;
}

std::shared_ptr<Session> HandleRegistry::session(uint64_t handle) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_sessions.find(handle);
    return it == m_sessions.end() ? nullptr : it->second;
}

bool HandleRegistry::removeSession(uint64_t handle)
{
    std::shared_ptr<Session> removed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_sessions.find(handle);
        if (it == m_sessions.end())
            return false;
        removed = std::move(it->second);
        m_sessions.erase(it);
    }
    // A capture still running on another thread keeps its own reference; the mapping goes
    // when the last one is dropped, outside the lock.
    return true;
}

uint64_t HandleRegistry::addSnapshot(std::shared_ptr<const Snapshot> snapshot)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint64_t handle = m_nextSnapshot++;
    m_snapshots.emplace(handle, std::move(snapshot));
    return handle;
}

std::shared_ptr<const Snapshot> HandleRegistry::snapshot(uint64_t handle) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_snapshots.find(handle);
    return it == m_snapshots.end() ? nullptr : it->second;
}

bool HandleRegistry::removeSnapshot(uint64_t handle)
{
    std::shared_ptr<const Snapshot> removed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_snapshots.find(handle);
        if (it == m_snapshots.end())
            return false;
        removed = std::move(it->second);
        m_snapshots.erase(it);
    }
    return true;
}

uint32_t HandleRegistry::snapshotCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return uint32_t(m_snapshots.size());
}
