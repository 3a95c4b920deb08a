#pragma once

#include "SharedWorldLayout.h"

#include <cstdint>
#include <memory>
#include <vector>

// The game's shared-memory region, mapped read-only. The mapping outlives the game: once the
// game has removed the region's name, the pages stay readable until this object unmaps them.
class GameRegion
{
public:
    ~GameRegion();
    GameRegion(const GameRegion &) = delete;
    GameRegion &operator=(const GameRegion &) = delete;

    // The region of a running game that publishes, or null with the status in *status.
    static std::unique_ptr<GameRegion> open(uint32_t processId, uint32_t *status);

    // The process that published the region still runs (same process, not a reused id) and has
    // not closed it.
    bool gameRunning() const;

    uint64_t staticSequence() const;
    uint64_t latestFrame() const;
    // Copies one area whole. False when the writer was inside it (try again); *sequence is the
    // even sequence number of the copied version.
    bool copyStatic(uint64_t *sequence, std::vector<unsigned char> *bytes) const;
    bool copyFrame(uint64_t frameNumber, std::vector<unsigned char> *bytes) const;

private:
    GameRegion(const unsigned char *region, uint64_t size, uint32_t processId);
    const SharedWorld::RegionHeader &header() const;
    bool copyArea(const SharedWorld::Area &area, uint64_t *sequence,
                  std::vector<unsigned char> *bytes) const;

    const unsigned char *m_region;
    uint64_t m_size;
    uint32_t m_processId;
};
