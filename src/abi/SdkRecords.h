#pragma once

// The fixed binary records of the observation library. They are a binary contract with a closed
// component: every size and offset is checked at compile time below.

#include <cstddef>
#include <cstdint>

extern "C" {

struct SdkVersion
{
    uint32_t recordSize; // set to sizeof(SdkVersion) by the caller
    uint32_t abi;
    uint32_t major;
    uint32_t minor;
    uint32_t patch; // filled by the library, never read
};

enum SdkTrainFlag : uint32_t { SdkTrainPresent = 1u, SdkTrainPositioned = 2u };

struct SdkTrain
{
    uint64_t id;
    uint64_t trackId; // valid only when positioned
    double speed;     // m/s
    double fraction;
    int32_t sense;
    uint32_t flags;
    char name[257];
    char filler[7];
};

struct SdkTrack
{
    uint64_t id;
    uint64_t stationId; // 0 = none
    double speedLimit;  // m/s
};

struct SdkStation
{
    uint64_t id;
    char name[257];
    char filler[7];
};

struct SdkSignal
{
    uint64_t id;
    uint64_t trackId;
    double fraction;
    int32_t sense;
    uint32_t kind;
};

enum SdkSignalStateFlag : uint32_t { SdkStateLabelsValid = 2u, SdkStateNativeValid = 4u };

struct SdkSignalState
{
    uint64_t signalId;
    uint32_t flags;
    uint32_t reserved0;
    int32_t nativeState;
    uint32_t reserved1;
    char label1[32];
    char label2[64];
};

enum SdkSignalTextureFlag : uint32_t { SdkTexturePathValid = 2u };

struct SdkSignalTexture
{
    uint64_t signalId;
    unsigned char reserved0[16];
    uint32_t flags;
    unsigned char reserved1[908];
    char path[1024];
};

struct SdkTrackNode
{
    uint64_t id;
    uint64_t neighbour1;
    uint64_t neighbour2;
    double x;
    double y; // pointing up
};

struct SdkTrackUsage
{
    uint64_t trainId;
    uint64_t trackId;
    double begin;
    double end;
};

} // extern "C"

static_assert(sizeof(double) == 8, "the records carry IEEE doubles");

static_assert(sizeof(SdkVersion) == 20);
static_assert(offsetof(SdkVersion, abi) == 4 && offsetof(SdkVersion, major) == 8);
static_assert(offsetof(SdkVersion, minor) == 12 && offsetof(SdkVersion, patch) == 16);

static_assert(sizeof(SdkTrain) == 304);
static_assert(offsetof(SdkTrain, trackId) == 8 && offsetof(SdkTrain, speed) == 16);
static_assert(offsetof(SdkTrain, fraction) == 24 && offsetof(SdkTrain, sense) == 32);
static_assert(offsetof(SdkTrain, flags) == 36 && offsetof(SdkTrain, name) == 40);
static_assert(offsetof(SdkTrain, filler) == 297);

static_assert(sizeof(SdkTrack) == 24);
static_assert(offsetof(SdkTrack, stationId) == 8 && offsetof(SdkTrack, speedLimit) == 16);

static_assert(sizeof(SdkStation) == 272);
static_assert(offsetof(SdkStation, name) == 8 && offsetof(SdkStation, filler) == 265);

static_assert(sizeof(SdkSignal) == 32);
static_assert(offsetof(SdkSignal, trackId) == 8 && offsetof(SdkSignal, fraction) == 16);
static_assert(offsetof(SdkSignal, sense) == 24 && offsetof(SdkSignal, kind) == 28);

static_assert(sizeof(SdkSignalState) == 120);
static_assert(offsetof(SdkSignalState, flags) == 8 && offsetof(SdkSignalState, nativeState) == 16);
static_assert(offsetof(SdkSignalState, label1) == 24 && offsetof(SdkSignalState, label2) == 56);

static_assert(sizeof(SdkSignalTexture) == 1960);
static_assert(offsetof(SdkSignalTexture, flags) == 24 && offsetof(SdkSignalTexture, path) == 936);

static_assert(sizeof(SdkTrackNode) == 40);
static_assert(offsetof(SdkTrackNode, neighbour1) == 8 && offsetof(SdkTrackNode, neighbour2) == 16);
static_assert(offsetof(SdkTrackNode, x) == 24 && offsetof(SdkTrackNode, y) == 32);

static_assert(sizeof(SdkTrackUsage) == 32);
static_assert(offsetof(SdkTrackUsage, trackId) == 8 && offsetof(SdkTrackUsage, begin) == 16);
static_assert(offsetof(SdkTrackUsage, end) == 24);
