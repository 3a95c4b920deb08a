#pragma once

#include "RegionWriter.h"
#include "World.h"

#include <QString>

#include <cstdint>

// Writes the world into the shared-memory region named after the game's process id, for the
// observation library to read. The static part is written by publishStatic, the moving part by
// publishFrame into the next of three sequence-locked slots.
class WorldPublisher
{
public:
    WorldPublisher() = default;
    ~WorldPublisher(); // close()
    WorldPublisher(const WorldPublisher &) = delete;
    WorldPublisher &operator=(const WorldPublisher &) = delete;

    // Creates the region with room for a static block and frames of at most these sizes.
    bool open(uint64_t staticCapacity, uint64_t frameCapacity, QString *error);
    // False when the block does not fit the capacity given to open (nothing is written then).
    bool publishStatic(const World &world);
    bool publishFrame(const World &world);
    // Marks the region closed, removes its name and unmaps it. Idempotent.
    void close();

    static uint64_t staticBlockSize(const World &world);
    static uint64_t frameBlockSize(const World &world);
    QString regionName() const;

private:
    unsigned char *m_region = nullptr;
    uint64_t m_size = 0;
    SharedWorld::RegionWriter m_writer;
    uint32_t m_processId = 0;
};
