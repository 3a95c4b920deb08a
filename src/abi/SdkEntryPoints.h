#pragma once

// The observation library's entry points as the loader resolves them: the version query first,
// then these fifteen in this order, which is part of the contract — the first missing name is the
// one reported. Plain C++, shared with the Windows probe of the stand-in library.
//
// A scoped enumeration: its names (OpenProcess above all) stay clear of the Win32 functions of the
// same names that windows.h declares.

#include <cstdint>
#include <type_traits>

enum class SdkEntryPoint : int {
    OpenProcess,
    CloseSession,
    CaptureSnapshot,
    ReleaseSnapshot,
    CopyTrains,
    CopyTracks,
    CopyStations,
    CopySignals,
    CopySignalStates,
    CopySignalTextures,
    CopyTrackNodes,
    CopyTrainPathTracks,
    CopyTrackReservations,
    CopyTrackOccupations,
    StatusString,
};

namespace SdkEntryPoints {

constexpr const char *versionQuery = "ZorvySdk_GetVersion";
constexpr int count = int(SdkEntryPoint::StatusString) + 1;

// Indexed by SdkEntryPoint.
constexpr const char *names[count] = {"ZorvySdk_OpenProcess",
                                      "ZorvySdk_CloseSession",
                                      "ZorvySdk_CaptureSnapshot",
                                      "ZorvySdk_ReleaseSnapshot",
                                      "ZorvySdk_CopyTrains",
                                      "ZorvySdk_CopyTracks",
                                      "ZorvySdk_CopyStations",
                                      "ZorvySdk_CopySignals",
                                      "ZorvySdk_CopySignalStates",
                                      "ZorvySdk_CopySignalTextures",
                                      "ZorvySdk_CopyTrackNodes",
                                      "ZorvySdk_CopyTrainPathTracks",
                                      "ZorvySdk_CopyTrackReservations",
                                      "ZorvySdk_CopyTrackOccupations",
                                      "ZorvySdk_StatusString"};

// What a forwarding function answers, without calling anything, while its entry point is not
// resolved: a library that calls its own export before the loader has resolved it (one linked
// without symbolic binding, from its version query) reaches the program's function of that name.
// A status export answers unresolvedStatus, the status text export a null text, the others
// return at once.
constexpr uint32_t unresolvedStatus = 0xFFFFFFFFu;

template <typename Result> Result unresolvedResult()
{
    if constexpr (std::is_pointer_v<Result>)
        return nullptr;
    else if constexpr (!std::is_void_v<Result>)
        return Result(unresolvedStatus);
}

} // namespace SdkEntryPoints
