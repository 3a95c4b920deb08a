#pragma once

// The exports of the observation library. The executable defines functions of the same names and
// signatures that forward to the library loaded at run time; the rest of the program calls these.

#include "SdkRecords.h"

#include <cstdint>

#if defined(_WIN32)
#define ZORVY_SDK_EXPORT __declspec(dllexport)
#else
#define ZORVY_SDK_EXPORT __attribute__((visibility("default")))
#endif

using SdkStatus = uint32_t;
using SdkSession = uint64_t;  // opaque, 0 = none
using SdkSnapshot = uint64_t; // opaque, 0 = none

// The library answers this when reservations or occupations are not available.
constexpr SdkStatus SdkStatusNotAvailable = 8;

extern "C" {

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_OpenProcess(uint32_t mode, uint32_t processId,
                                                SdkSession *session);
ZORVY_SDK_EXPORT void ZorvySdk_CloseSession(SdkSession session);
ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CaptureSnapshot(SdkSession session, SdkSnapshot *snapshot);
ZORVY_SDK_EXPORT void ZorvySdk_ReleaseSnapshot(SdkSnapshot snapshot);
ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyTrains(SdkSnapshot snapshot, SdkTrain *buffer,
                                               uint32_t capacity, uint32_t *count);
ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyTracks(SdkSnapshot snapshot, SdkTrack *buffer,
                                               uint32_t capacity, uint32_t *count);
ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyStations(SdkSnapshot snapshot, SdkStation *buffer,
                                                 uint32_t capacity, uint32_t *count);
ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopySignals(SdkSnapshot snapshot, SdkSignal *buffer,
                                                uint32_t capacity, uint32_t *count);
ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopySignalStates(SdkSnapshot snapshot, SdkSignalState *buffer,
                                                     uint32_t capacity, uint32_t *count);
ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopySignalTextures(SdkSnapshot snapshot,
                                                       SdkSignalTexture *buffer, uint32_t capacity,
                                                       uint32_t *count);
ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyTrackNodes(SdkSnapshot snapshot, SdkTrackNode *buffer,
                                                   uint32_t capacity, uint32_t *count);
ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyTrainPathTracks(SdkSnapshot snapshot, uint64_t trainId,
                                                        uint64_t *buffer, uint32_t capacity,
                                                        uint32_t *count);
ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyTrackReservations(SdkSnapshot snapshot,
                                                          SdkTrackUsage *buffer, uint32_t capacity,
                                                          uint32_t *count);
ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyTrackOccupations(SdkSnapshot snapshot,
                                                         SdkTrackUsage *buffer, uint32_t capacity,
                                                         uint32_t *count);
ZORVY_SDK_EXPORT const char *ZorvySdk_StatusString(SdkStatus status);

} // extern "C"

// The version query is resolved by the loader only; it has no forwarding function.
using SdkGetVersionFn = SdkStatus (*)(SdkVersion *version);
