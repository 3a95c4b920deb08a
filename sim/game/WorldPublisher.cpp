#include "WorldPublisher.h"

#include "ProcessStart.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace SharedWorld;

namespace {

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

std::array<ListSource, StaticListCount> staticLists(const World &world)
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

std::array<ListSource, FrameListCount> frameLists(const World &world)
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

} // namespace

WorldPublisher::~WorldPublisher()
{
    close();
}

RegionHeader *WorldPublisher::header() const
{
    return reinterpret_cast<RegionHeader *>(m_region);
}

QString WorldPublisher::regionName() const
{
    return QString::fromStdString(SharedWorld::regionName(m_processId));
}

uint64_t WorldPublisher::staticBlockSize(const World &world)
{
    return blockSize(staticLists(world));
}

uint64_t WorldPublisher::frameBlockSize(const World &world)
{
    return blockSize(frameLists(world));
}

bool WorldPublisher::open(uint64_t staticCapacity, uint64_t frameCapacity, QString *error)
{
    close();
    m_processId = uint32_t(::getpid());
    const std::string name = SharedWorld::regionName(m_processId);
    staticCapacity = alignedTo8(staticCapacity);
    frameCapacity = alignedTo8(frameCapacity);
    const uint64_t headerSize = alignedTo8(sizeof(RegionHeader));
    const uint64_t size = headerSize + staticCapacity + SlotCount * frameCapacity;

    // A region of this name can only be left over from an earlier process that had our id and
    // was killed; it is stale.
    ::shm_unlink(name.c_str());
    const int fd = ::shm_open(name.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
    if (fd < 0) {
        *error = QStringLiteral("shm_open %1: %2")
                     .arg(QString::fromStdString(name), QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (::ftruncate(fd, off_t(size)) != 0) {
        *error = QStringLiteral("ftruncate: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        ::close(fd);
        ::shm_unlink(name.c_str());
        return false;
    }
    void *mapping = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapping == MAP_FAILED) {
        *error = QStringLiteral("mmap: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        ::shm_unlink(name.c_str());
        return false;
    }
    m_region = static_cast<unsigned char *>(mapping);
    m_size = size;

    // The fresh region is zero-filled; the atomics start at 0.
    RegionHeader *h = header();
    std::memcpy(h->magic, Magic, sizeof h->magic);
    h->formatVersion = FormatVersion;
    h->processId = m_processId;
    h->processStartTicks = processStart(m_processId).startTicks;
    h->regionSize = size;
    h->slotCount = SlotCount;
    h->staticArea.offset = headerSize;
    h->staticArea.capacity = staticCapacity;
    for (uint32_t slot = 0; slot < SlotCount; ++slot) {
        h->frameSlots[slot].offset = headerSize + staticCapacity + slot * frameCapacity;
        h->frameSlots[slot].capacity = frameCapacity;
    }
    h->state.store(uint32_t(RegionState::Starting), std::memory_order_release);
    return true;
}

bool WorldPublisher::publishStatic(const World &world)
{
    if (!m_region)
        return false;
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

bool WorldPublisher::publishFrame(const World &world)
{
    if (!m_region)
        return false;
    const auto lists = frameLists(world);
    const uint64_t frameNumber = m_frameNumber + 1;
    Area &area = header()->frameSlots[frameNumber % SlotCount];
    if (blockSize(lists) > area.capacity)
        return false;
    // The static area's sequence once written is even and stable until the next publishStatic.
    const uint64_t staticSequence = header()->staticArea.sequence.load(std::memory_order_relaxed);
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

void WorldPublisher::close()
{
    if (!m_region)
        return;
    header()->state.store(uint32_t(RegionState::Closed), std::memory_order_release);
    ::shm_unlink(SharedWorld::regionName(m_processId).c_str());
    ::munmap(m_region, m_size);
    m_region = nullptr;
    m_size = 0;
}
