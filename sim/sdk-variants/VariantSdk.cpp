// A deliberately small observation library whose version answer and set of exports are chosen at
// build time. The loader's tests copy one variant next to the program to see each way a library
// can be unfit. Every call it does export answers "not connected" — unless VARIANT_WORLD is
// defined: then it opens a session on any process and serves a tiny fixed world, with the faults
// of a hostile library that these switches choose:
//   VARIANT_OVERRUN=<export>     that list export writes one record past the capacity it is given
//   VARIANT_SHORT_FILL=<export>  that list export fills, and reports, one record fewer than it
//                                announced
//   VARIANT_NAN_NODES            one of the two track nodes lies at NaN, NaN
//   VARIANT_NATIVE_STATE=<int>   the signal's native state (9 otherwise)
//   VARIANT_UNMASK_FP            the version query unmasks floating-point exceptions
//   VARIANT_SELF_CALL            the version query calls the library's own status text export (a
//                                library linked without symbolic binding reaches the program's
//                                function of that name, unless it is loaded with deep binding)
// (<export> is an SdkEntryPoint name, e.g. CopyTrains.)

#include "SdkApi.h"
#include "SdkEntryPoints.h"

#include <cfenv>
#include <climits>
#include <cmath>
#include <cstring>

#ifndef VARIANT_ABI
#define VARIANT_ABI 1
#endif
#ifndef VARIANT_MAJOR
#define VARIANT_MAJOR 0
#endif
#ifndef VARIANT_MINOR
#define VARIANT_MINOR 6
#endif
#ifndef VARIANT_PATCH
#define VARIANT_PATCH 3
#endif
#ifndef VARIANT_VERSION_STATUS
#define VARIANT_VERSION_STATUS 0
#endif

namespace {
constexpr SdkStatus NotConnected = 2;

#ifdef VARIANT_WORLD
#ifndef VARIANT_NATIVE_STATE
#define VARIANT_NATIVE_STATE 9
#endif
#ifdef VARIANT_NAN_NODES
constexpr double farX = NAN, farY = NAN;
#else
constexpr double farX = 400.0, farY = 0.0;
#endif

const SdkTrain trains[] = {{1, 10, 12.5, 0.25, 1, 3, "IC 1", {}},
                           {2, 11, 0.0, 0.5, -1, 3, "TER 2", {}},
                           {3, 0, 0.0, 0.0, 0, 1, "Fret 3", {}}};
const SdkTrack tracks[] = {{10, 20, 22.5}, {11, 20, 30.0}};
const SdkStation stations[] = {{20, "Gare Variante", {}}};
const SdkSignal signalRecords[] = {{30, 11, 0.5, 1, 1}};
const SdkSignalState states[] = {
    {30, SdkStateLabelsValid | SdkStateNativeValid, 0, VARIANT_NATIVE_STATE, 0, "Voie", "libre"}};
const SdkSignalTexture textures[] = {{30, {}, 0, {}, ""}};
const SdkTrackNode nodes[] = {{10, 11, 0, 0.0, 0.0}, {11, 10, 0, farX, farY}};
const uint64_t path[] = {10, 11};
const SdkTrackUsage reservations[] = {{1, 10, 0.25, 1.0}, {1, 11, 0.0, 0.5}};
const SdkTrackUsage occupations[] = {{1, 10, 0.2, 0.3}, {2, 11, 0.4, 0.6}};

// The copy protocol over one list, with the faults chosen for that export.
template <typename Record, std::size_t N>
SdkStatus serve(SdkEntryPoint point, const Record (&list)[N], Record *buffer, uint32_t capacity,
                uint32_t *count)
{
    *count = N;
    if (!buffer)
        return 0;
    uint32_t written = capacity < N ? capacity : uint32_t(N);
#ifdef VARIANT_SHORT_FILL
    if (point == SdkEntryPoint::VARIANT_SHORT_FILL && written > 0)
        *count = --written;
#endif
    std::memcpy(static_cast<void *>(buffer), list, written * sizeof(Record));
#ifdef VARIANT_OVERRUN
    if (point == SdkEntryPoint::VARIANT_OVERRUN)
        std::memcpy(static_cast<void *>(buffer + capacity), list, sizeof(Record));
#endif
    (void)point;
    return 0;
}
#endif
} // namespace

extern "C" {

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_GetVersion(SdkVersion *version)
{
    if (!version)
        return 1;
#ifdef VARIANT_UNMASK_FP
    feenableexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW);
#endif
#ifdef VARIANT_SELF_CALL
    // Its own "OK", or nothing from a program that refuses the call; anything else is wrong.
    const char *own = ZorvySdk_StatusString(0);
    if (own && std::strcmp(own, "OK") != 0)
        return 1;
#endif
    version->abi = VARIANT_ABI;
    version->major = VARIANT_MAJOR;
    version->minor = VARIANT_MINOR;
    version->patch = VARIANT_PATCH;
    return VARIANT_VERSION_STATUS;
}

#ifdef VARIANT_WORLD
SdkStatus ZorvySdk_OpenProcess(uint32_t, uint32_t, SdkSession *session)
{
    *session = 1;
    return 0;
}
void ZorvySdk_CloseSession(SdkSession) {}
SdkStatus ZorvySdk_CaptureSnapshot(SdkSession, SdkSnapshot *snapshot)
{
    *snapshot = 7;
    return 0;
}
void ZorvySdk_ReleaseSnapshot(SdkSnapshot) {}

#define VARIANT_LIST(Name, Record, list)                                                           \
    SdkStatus ZorvySdk_##Name(SdkSnapshot, Record *buffer, uint32_t capacity, uint32_t *count)     \
    {                                                                                              \
        return serve(SdkEntryPoint::Name, list, buffer, capacity, count);                          \
    }
VARIANT_LIST(CopyTrains, SdkTrain, trains)
VARIANT_LIST(CopyTracks, SdkTrack, tracks)
VARIANT_LIST(CopyStations, SdkStation, stations)
VARIANT_LIST(CopySignals, SdkSignal, signalRecords)
VARIANT_LIST(CopySignalStates, SdkSignalState, states)
VARIANT_LIST(CopySignalTextures, SdkSignalTexture, textures)
VARIANT_LIST(CopyTrackNodes, SdkTrackNode, nodes)
VARIANT_LIST(CopyTrackReservations, SdkTrackUsage, reservations)
VARIANT_LIST(CopyTrackOccupations, SdkTrackUsage, occupations)

SdkStatus ZorvySdk_CopyTrainPathTracks(SdkSnapshot, uint64_t train, uint64_t *buffer,
                                       uint32_t capacity, uint32_t *count)
{
    if (train != 1)
        return 10; // no calculated path
    return serve(SdkEntryPoint::CopyTrainPathTracks, path, buffer, capacity, count);
}
#else
#ifndef OMIT_OpenProcess
SdkStatus ZorvySdk_OpenProcess(uint32_t, uint32_t, SdkSession *)
{
    return NotConnected;
}
#endif
#ifndef OMIT_CloseSession
void ZorvySdk_CloseSession(SdkSession) {}
#endif
#ifndef OMIT_CaptureSnapshot
SdkStatus ZorvySdk_CaptureSnapshot(SdkSession, SdkSnapshot *)
{
    return NotConnected;
}
#endif
#ifndef OMIT_ReleaseSnapshot
void ZorvySdk_ReleaseSnapshot(SdkSnapshot) {}
#endif

#define VARIANT_COPY(Name, Record)                                                                 \
    SdkStatus ZorvySdk_##Name(SdkSnapshot, Record *, uint32_t, uint32_t *)                         \
    {                                                                                              \
        return NotConnected;                                                                       \
    }

#ifndef OMIT_CopyTrains
VARIANT_COPY(CopyTrains, SdkTrain)
#endif
#ifndef OMIT_CopyTracks
VARIANT_COPY(CopyTracks, SdkTrack)
#endif
#ifndef OMIT_CopyStations
VARIANT_COPY(CopyStations, SdkStation)
#endif
#ifndef OMIT_CopySignals
VARIANT_COPY(CopySignals, SdkSignal)
#endif
#ifndef OMIT_CopySignalStates
VARIANT_COPY(CopySignalStates, SdkSignalState)
#endif
#ifndef OMIT_CopySignalTextures
VARIANT_COPY(CopySignalTextures, SdkSignalTexture)
#endif
#ifndef OMIT_CopyTrackNodes
VARIANT_COPY(CopyTrackNodes, SdkTrackNode)
#endif
#ifndef OMIT_CopyTrainPathTracks
SdkStatus ZorvySdk_CopyTrainPathTracks(SdkSnapshot, uint64_t, uint64_t *, uint32_t, uint32_t *)
{
    return NotConnected;
}
#endif
#ifndef OMIT_CopyTrackReservations
VARIANT_COPY(CopyTrackReservations, SdkTrackUsage)
#endif
#ifndef OMIT_CopyTrackOccupations
VARIANT_COPY(CopyTrackOccupations, SdkTrackUsage)
#endif
#endif // VARIANT_WORLD

#ifndef OMIT_StatusString
const char *ZorvySdk_StatusString(SdkStatus status)
{
    return status == 0 ? "OK" : "Non connecté";
}
#endif

} // extern "C"
