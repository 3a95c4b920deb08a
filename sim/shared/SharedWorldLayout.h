#pragma once

// The shared-memory format between the simulated game (the only writer) and the stand-in
// observation library (its readers). Both sides are built from this one header.
//
// The region holds a header, one static area (network, signals, label and texture-path tables,
// test faults: written before the first frame and only when it changes) and three frame slots
// (trains, signal states, textures, paths, reservations, occupations: one slot is rewritten at
// every publication). Every area is guarded by its own sequence number: odd while the writer is
// inside, so a reader that sees the same even number before and after its copy got a whole area.
// Three slots mean that a slot is rewritten only two publications after it was announced, so a
// reader has more than one publication period to copy the latest one.

#include "SdkRecords.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace SharedWorld {

constexpr char Magic[16] = "ZorvyRailsWorld";
constexpr uint32_t FormatVersion = 1;
constexpr uint32_t SlotCount = 3;

// Region name of the game with this process id (POSIX shared memory).
inline std::string regionName(uint32_t processId)
{
    return "/ZorvyRails-" + std::to_string(processId);
}

// The same region on Windows: a named file mapping in the session's namespace.
inline std::wstring regionMappingName(uint32_t processId)
{
    return L"Local\\ZorvyRails-" + std::to_wstring(processId);
}

enum class RegionState : uint32_t { Starting = 0, Publishing = 1, Closed = 2 };

// One sequence-locked area of the region. `used` is read inside the sequence lock.
struct Area
{
    std::atomic<uint64_t> sequence;
    uint64_t offset;   // from the start of the region
    uint64_t capacity; // bytes
    uint64_t used;     // bytes of the block written last
};

struct RegionHeader
{
    char magic[16];
    uint32_t formatVersion;
    uint32_t processId;
    uint64_t processStartTicks; // ProcessStart.h, to tell a reused pid apart
    uint64_t regionSize;
    std::atomic<uint32_t> state; // RegionState
    uint32_t slotCount;
    std::atomic<uint64_t> latestFrame; // number of the last whole frame; its slot is n % SlotCount
    Area staticArea;
    Area frameSlots[SlotCount];
};

static_assert(std::atomic<uint64_t>::is_always_lock_free, "atomics must work across processes");
static_assert(std::atomic<uint32_t>::is_always_lock_free, "atomics must work across processes");

// A block is what one area holds: this header, then the lists it describes.
enum StaticList : uint32_t {
    Tracks,
    TrackNodes,
    Stations,
    Signals,
    LabelPairs,
    TexturePaths,
    Faults,
    StaticListCount
};

enum FrameList : uint32_t {
    Trains,
    SignalStates,
    SignalTextures,
    Reservations,
    Occupations,
    Paths,
    PathTracks,
    FrameListCount
};

constexpr uint32_t MaxLists = 12;

struct ListDesc
{
    uint64_t offset; // from the start of the block, 8-aligned
    uint64_t count;
    uint64_t stride;
};

enum FrameFlag : uint32_t { ReservationsAvailable = 1u, OccupationsAvailable = 2u };

struct BlockHeader
{
    uint64_t magic;          // BlockMagic
    uint64_t staticSequence; // in a frame: the static area sequence it belongs to
    uint64_t frameNumber;
    uint32_t flags; // FrameFlag, in frames
    uint32_t listCount;
    ListDesc lists[MaxLists];
};

constexpr uint64_t BlockMagic = 0x4B434F4C42525A5AULL; // "ZZRBLOCK"

// Compact signal state: the labels live once in the static label table.
struct StateEntry
{
    uint64_t signalId;
    uint32_t flags;
    int32_t nativeState;
    uint32_t labelPair; // index into LabelPairs
    uint32_t reserved;
};

struct LabelPair
{
    char label1[32];
    char label2[64];
};

// Compact signal texture: the path lives once in the static texture-path table.
struct TextureEntry
{
    uint64_t signalId;
    uint32_t flags;
    uint32_t path; // index into TexturePaths
};

struct TexturePath
{
    char bytes[1024];
};

// The calculated path of one train: `count` track ids from `first` in PathTracks.
struct PathEntry
{
    uint64_t trainId;
    uint32_t hasPath; // 0: the train has no path
    uint32_t count;
    uint64_t first;
};

// Test faults, carried from a scenario file to the library.
// Stall: the named copy export sleeps value milliseconds before it answers.
enum class FaultKind : uint32_t { FailCopy = 1, InflateCount = 2, Stall = 3 };

struct Fault
{
    char exportName[64];
    uint32_t kind; // FaultKind
    uint32_t value;
};

static_assert(sizeof(StateEntry) == 24 && sizeof(TextureEntry) == 16 && sizeof(PathEntry) == 24);
static_assert(sizeof(LabelPair) == 96 && sizeof(Fault) == 72 && sizeof(BlockHeader) % 8 == 0);

inline uint64_t alignedTo8(uint64_t value)
{
    return (value + 7u) & ~uint64_t(7u);
}

} // namespace SharedWorld
