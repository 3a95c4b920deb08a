#pragma once

// The writer's side of the shared region (SharedWorldLayout.h), on memory that the caller has
// mapped: the simulated game writes through it into POSIX shared memory, the Windows test
// publisher into a named file mapping. Plain C++, no Qt.

#include "SharedWorldLayout.h"
#include "World.h"

#include <array>
#include <cstring>

namespace SharedWorld {

struct ListSource
{
    const void *data;
    uint64_t count;
    uint64_t stride;
};

template <typename T> ListSource listOf(const std::vector<T> &items)
{
    return {items.data(), items.size(), sizeof(T)};
}

inline std::array<ListSource, StaticListCount> staticLists(const World &world)
{
    std::array<ListSource, StaticListCount> lists{};
    lists[Tracks] = listOf(world.tracks);
    lists[TrackNodes] = listOf(world.nodes);
    lists[Stations] = listOf(world.stations);
    lists[Signals] = listOf(world.signals);
    lists[LabelPairs] = listOf(world.labelPairs);
    lists[TexturePaths] = listOf(world.texturePaths);
    lists[Faults] = listOf(world.faults);
    return lists;
}

inline std::array<ListSource, FrameListCount> frameLists(const World &world)
{
    std::array<ListSource, FrameListCount> lists{};
    lists[Trains] = listOf(world.trains);
    lists[SignalStates] = listOf(world.signalStates);
    lists[SignalTextures] = listOf(world.signalTextures);
    lists[Reservations] = listOf(world.reservations);
    lists[Occupations] = listOf(world.occupations);
    lists[Paths] = listOf(world.paths);
    lists[PathTracks] = listOf(world.pathTracks);
    return lists;
}

template <size_t N> uint64_t blockSize(const std::array<ListSource, N> &lists)
{
    uint64_t size = alignedTo8(sizeof(BlockHeader));
    for (const ListSource &list : lists)
        size += alignedTo8(list.count * list.stride);
    return size;
}

inline uint64_t staticBlockSize(const World &world)
{
    return blockSize(staticLists(world));
}

inline uint64_t frameBlockSize(const World &world)
{
    return blockSize(frameLists(world));
}

// Lays the header and the lists out one after the other; returns the bytes written.
template <size_t N>
uint64_t writeBlock(unsigned char *destination, BlockHeader header,
                    const std::array<ListSource, N> &lists)
{
    static_assert(N <= MaxLists);
    header.magic = BlockMagic;
    header.listCount = N;
    uint64_t offset = alignedTo8(sizeof(BlockHeader));
    for (size_t i = 0; i < N; ++i) {
        const uint64_t bytes = lists[i].count * lists[i].stride;
        header.lists[i] = {offset, lists[i].count, lists[i].stride};
        if (bytes)
            std::memcpy(destination + offset, lists[i].data, bytes);
        offset += alignedTo8(bytes);
    }
    std::memcpy(destination, &header, sizeof header);
    return offset;
}

// Writer side of the sequence lock: odd while writing, the next even number once done.
template <typename WriteFn> void writeLocked(Area &area, WriteFn write)
{
    const uint64_t sequence = area.sequence.load(std::memory_order_relaxed);
    area.sequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    area.used = write();
    area.sequence.store(sequence + 2, std::memory_order_release);
}

// The bytes a region needs for a static block and frames of at most these sizes.
inline uint64_t regionSize(uint64_t staticCapacity, uint64_t frameCapacity)
{
    return alignedTo8(sizeof(RegionHeader)) + alignedTo8(staticCapacity) +
           SlotCount * alignedTo8(frameCapacity);
}

// Writes into a mapped, zero-filled region of regionSize(staticCapacity, frameCapacity) bytes.
class RegionWriter
{
public:
    RegionWriter() = default;
    RegionWriter(unsigned char *region, uint64_t size) : m_region(region), m_size(size) {}

    // Lays out the header of a fresh region; the atomics start at 0 and the state is Starting.
    void start(uint32_t processId, uint64_t processStartTicks, uint64_t staticCapacity,
               uint64_t frameCapacity)
    {
        staticCapacity = alignedTo8(staticCapacity);
        frameCapacity = alignedTo8(frameCapacity);
        const uint64_t headerSize = alignedTo8(sizeof(RegionHeader));
        RegionHeader *h = header();
        std::memcpy(h->magic, Magic, sizeof h->magic);
        h->formatVersion = FormatVersion;
        h->processId = processId;
        h->processStartTicks = processStartTicks;
        h->regionSize = m_size;
        h->slotCount = SlotCount;
        h->staticArea.offset = headerSize;
        h->staticArea.capacity = staticCapacity;
        for (uint32_t slot = 0; slot < SlotCount; ++slot) {
            h->frameSlots[slot].offset = headerSize + staticCapacity + slot * frameCapacity;
            h->frameSlots[slot].capacity = frameCapacity;
        }
        h->state.store(uint32_t(RegionState::Starting), std::memory_order_release);
    }

    // False when the block does not fit the capacity given to start (nothing is written then).
    bool publishStatic(const World &world)
    {
        const auto lists = staticLists(world);
        Area &area = header()->staticArea;
        if (blockSize(lists) > area.capacity)
            return false;
        ++m_staticSequence;
        writeLocked(area, [&] {
            BlockHeader block{};
            block.staticSequence = m_staticSequence;
            return writeBlock(m_region + area.offset, block, lists);
        });
        return true;
    }

    bool publishFrame(const World &world)
    {
        const auto lists = frameLists(world);
        const uint64_t frameNumber = m_frameNumber + 1;
        Area &area = header()->frameSlots[frameNumber % SlotCount];
        if (blockSize(lists) > area.capacity)
            return false;
        // The static area's sequence once written is even and stable until the next static block.
        const uint64_t staticSequence =
            header()->staticArea.sequence.load(std::memory_order_relaxed);
        writeLocked(area, [&] {
            BlockHeader block{};
            block.staticSequence = staticSequence;
            block.frameNumber = frameNumber;
            block.flags = (world.reservationsAvailable ? ReservationsAvailable : 0u) |
                          (world.occupationsAvailable ? OccupationsAvailable : 0u);
            return writeBlock(m_region + area.offset, block, lists);
        });
        m_frameNumber = frameNumber;
        header()->latestFrame.store(frameNumber, std::memory_order_release);
        header()->state.store(uint32_t(RegionState::Publishing), std::memory_order_release);
        return true;
    }

    void markClosed()
    {
        header()->state.store(uint32_t(RegionState::Closed), std::memory_order_release);
    }

private:
    RegionHeader *header() const { return reinterpret_cast<RegionHeader *>(m_region); }

    unsigned char *m_region = nullptr;
    uint64_t m_size = 0;
    uint64_t m_staticSequence = 0;
    uint64_t m_frameNumber = 0;
};

} // namespace SharedWorld
