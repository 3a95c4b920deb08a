#include "GameRegion.h"

#include "ProcessStart.h"
#include "StatusText.h"

#include <cstring>

#ifndef _WIN32 // ProcessStart.h has included windows.h
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace SharedWorld;

namespace {

#ifdef _WIN32

// The game's named file mapping, mapped read-only whole. The view keeps the mapping alive once
// its handle is closed. The size is that of the view, rounded up to whole pages.
const unsigned char *mapRegion(uint32_t processId, uint64_t *size)
{
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, regionMappingName(processId).c_str());
    if (!mapping)
        return nullptr;
    void *view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(mapping);
    if (!view)
        return nullptr;
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(view, &info, sizeof info) == 0 || info.RegionSize < sizeof(RegionHeader)) {
        UnmapViewOfFile(view);
        return nullptr;
    }
    *size = info.RegionSize;
    return static_cast<const unsigned char *>(view);
}

void unmapRegion(const unsigned char *region, uint64_t)
{
    UnmapViewOfFile(region);
}

// A view ends on a page boundary: the region may be shorter than it by less than a page.
bool sizeMatches(uint64_t regionSize, uint64_t mappedSize)
{
    return regionSize <= mappedSize && mappedSize - regionSize < 65536;
}

#else

const unsigned char *mapRegion(uint32_t processId, uint64_t *size)
{
    const int fd = ::shm_open(regionName(processId).c_str(), O_RDONLY, 0);
    if (fd < 0)
        return nullptr;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || uint64_t(info.st_size) < sizeof(RegionHeader)) {
        ::close(fd);
        return nullptr;
    }
    void *mapping = ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapping == MAP_FAILED)
        return nullptr;
    *size = uint64_t(info.st_size);
    return static_cast<const unsigned char *>(mapping);
}

void unmapRegion(const unsigned char *region, uint64_t size)
{
    ::munmap(const_cast<unsigned char *>(region), size);
}

bool sizeMatches(uint64_t regionSize, uint64_t mappedSize)
{
    return regionSize == mappedSize;
}

#endif

} // namespace

GameRegion::GameRegion(const unsigned char *region, uint64_t size, uint32_t processId)
    : m_region(region), m_size(size), m_processId(processId)
{
}

GameRegion::~GameRegion()
{
    unmapRegion(m_region, m_size);
}

const RegionHeader &GameRegion::header() const
{
    return *reinterpret_cast<const RegionHeader *>(m_region);
}

namespace {

bool areaFits(const Area &area, uint64_t size)
{
    return area.offset >= sizeof(RegionHeader) && area.offset <= size &&
           area.capacity <= size - area.offset;
}

} // namespace

std::unique_ptr<GameRegion> GameRegion::open(uint32_t processId, uint32_t *status)
{
    *status = StatusGameNotFound;
    if (processId == 0)
        return nullptr;
    uint64_t size = 0;
    const unsigned char *mapping = mapRegion(processId, &size);
    if (!mapping)
        return nullptr;
    std::unique_ptr<GameRegion> region(new GameRegion(mapping, size, processId));

    const RegionHeader &h = region->header();
    if (std::memcmp(h.magic, Magic, sizeof h.magic) != 0 || h.formatVersion != FormatVersion ||
        h.processId != processId || !sizeMatches(h.regionSize, size) || h.slotCount != SlotCount) {
        *status = StatusUnreadableData;
        return nullptr;
    }
    if (!areaFits(h.staticArea, size))
        return *status = StatusUnreadableData, nullptr;
    for (const Area &slot : h.frameSlots) {
        if (!areaFits(slot, size))
            return *status = StatusUnreadableData, nullptr;
    }
    // Only a game that runs and has published its first frame can be observed.
    if (h.state.load(std::memory_order_acquire) != uint32_t(RegionState::Publishing) ||
        !region->gameRunning())
        return nullptr;
    *status = StatusOk;
    return region;
}

bool GameRegion::gameRunning() const
{
    if (header().state.load(std::memory_order_acquire) == uint32_t(RegionState::Closed))
        return false;
    const ProcessStart process = processStart(m_processId);
    return process.running && process.startTicks == header().processStartTicks;
}

uint64_t GameRegion::staticSequence() const
{
    return header().staticArea.sequence.load(std::memory_order_acquire);
}

uint64_t GameRegion::latestFrame() const
{
    return header().latestFrame.load(std::memory_order_acquire);
}

bool GameRegion::copyArea(const Area &area, uint64_t *sequence,
                          std::vector<unsigned char> *bytes) const
{
    // Reader side of the sequence lock: an even number that has not moved during the copy.
    const uint64_t before = area.sequence.load(std::memory_order_acquire);
    if (before & 1u)
        return false;
    const uint64_t used = *static_cast<const volatile uint64_t *>(&area.used);
    if (used > area.capacity)
        return false;
    bytes->resize(used);
    std::memcpy(bytes->data(), m_region + area.offset, used);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (area.sequence.load(std::memory_order_relaxed) != before)
        return false;
    *sequence = before;
    return true;
}

bool GameRegion::copyStatic(uint64_t *sequence, std::vector<unsigned char> *bytes) const
{
    return copyArea(header().staticArea, sequence, bytes);
}

bool GameRegion::copyFrame(uint64_t frameNumber, std::vector<unsigned char> *bytes) const
{
    uint64_t sequence = 0;
    return copyArea(header().frameSlots[frameNumber % SlotCount], &sequence, bytes);
}
