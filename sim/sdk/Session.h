#pragma once

#include "BlockCopy.h"
#include "GameRegion.h"
#include "Snapshot.h"

#include <memory>
#include <mutex>

// One observation of one game: its mapped region and the last static block read from it, which
// the captures share until the game publishes a new one. Nothing here is shared with another
// session.
class Session
{
public:
    explicit Session(std::unique_ptr<GameRegion> region);

    // One consistent state of the game, copied whole into a new snapshot.
    uint32_t capture(std::shared_ptr<const Snapshot> *snapshot);

private:
    bool refreshStatic(uint64_t sequence, uint32_t *status);

    std::mutex m_mutex; // one capture at a time
    std::unique_ptr<GameRegion> m_region;
    std::shared_ptr<const BlockCopy> m_static;
    uint64_t m_staticSequence = 0;
};
