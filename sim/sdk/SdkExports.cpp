// The exports of the stand-in observation library: the sixteen functions of the real one, plus
// ZorvySim_OpenSnapshotCount for tests. Each export checks its handles and pointers, so a wrong
// argument gives a status, and no exception ever crosses into the caller.

#include "HandleRegistry.h"
#include "SdkApi.h"
#include "StatusText.h"

#include <new>

namespace {

constexpr uint32_t supportedOpenMode = 1;

// Runs body(), turning an allocation failure into a status.
template <typename BodyFn> uint32_t guarded(BodyFn body)
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return StatusOutOfMemory;
    } catch (...) {
        return StatusCopyFailed;
    }
}

// Looks the snapshot up and runs copy(snapshot) on it.
template <typename CopyFn> uint32_t withSnapshot(SdkSnapshot handle, CopyFn copy)
{
    return guarded([&]() -> uint32_t {
        const std::shared_ptr<const Snapshot> snapshot =
            HandleRegistry::instance().snapshot(handle);
        if (!snapshot)
            return StatusUnknownSnapshot;
        return copy(*snapshot);
    });
}

} // namespace

extern "C" {

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_GetVersion(SdkVersion *version)
{
    if (!version || version->recordSize < sizeof(SdkVersion))
        return StatusInvalidArgument;
    version->abi = 1;
    version->major = 0;
    version->minor = 6;
    version->patch = 4;
    return StatusOk;
}

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_OpenProcess(uint32_t mode, uint32_t processId,
                                                SdkSession *session)
{
    if (!session)
        return StatusInvalidArgument;
    *session = 0;
    if (mode != supportedOpenMode)
        return StatusUnsupportedMode;
    return guarded([&]() -> uint32_t {
        uint32_t status = StatusOk;
        std::unique_ptr<GameRegion> region = GameRegion::open(processId, &status);
        if (!region)
            return status;
        *session =
            HandleRegistry::instance().addSession(std::make_shared<Session>(std::move(region)));
        return StatusOk;
    });
}

ZORVY_SDK_EXPORT void ZorvySdk_CloseSession(SdkSession session)
{
    HandleRegistry::instance().removeSession(session);
}

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CaptureSnapshot(SdkSession session, SdkSnapshot *snapshot)
{
    if (!snapshot)
        return StatusInvalidArgument;
    *snapshot = 0;
    return guarded([&]() -> uint32_t {
        const std::shared_ptr<Session> open = HandleRegistry::instance().session(session);
        if (!open)
            return StatusUnknownSession;
        std::shared_ptr<const Snapshot> captured;
        const uint32_t status = open->capture(&captured);
        if (status != StatusOk)
            return status;
        *snapshot = HandleRegistry::instance().addSnapshot(std::move(captured));
        return StatusOk;
    });
}

ZORVY_SDK_EXPORT void ZorvySdk_ReleaseSnapshot(SdkSnapshot snapshot)
{
    HandleRegistry::instance().removeSnapshot(snapshot);
}

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyTrains(SdkSnapshot snapshot, SdkTrain *buffer,
                                               uint32_t capacity, uint32_t *count)
{
    return withSnapshot(snapshot,
                        [&](const Snapshot &s) { return s.copyTrains(buffer, capacity, count); });
}

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyTracks(SdkSnapshot snapshot, SdkTrack *buffer,
                                               uint32_t capacity, uint32_t *count)
{
    return withSnapshot(snapshot,
                        [&](const Snapshot &s) { return s.copyTracks(buffer, capacity, count); });
}

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyStations(SdkSnapshot snapshot, SdkStation *buffer,
                                                 uint32_t capacity, uint32_t *count)
{
    return withSnapshot(snapshot,
                        [&](const Snapshot &s) { return s.copyStations(buffer, capacity, count); });
}

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopySignals(SdkSnapshot snapshot, SdkSignal *buffer,
                                                uint32_t capacity, uint32_t *count)
{
    return withSnapshot(snapshot,
                        [&](const Snapshot &s) { return s.copySignals(buffer, capacity, count); });
}

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopySignalStates(SdkSnapshot snapshot, SdkSignalState *buffer,
                                                     uint32_t capacity, uint32_t *count)
{
    return withSnapshot(
        snapshot, [&](const Snapshot &s) { return s.copySignalStates(buffer, capacity, count); });
}

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopySignalTextures(SdkSnapshot snapshot,
                                                       SdkSignalTexture *buffer, uint32_t capacity,
                                                       uint32_t *count)
{
    return withSnapshot(
        snapshot, [&](const Snapshot &s) { return s.copySignalTextures(buffer, capacity, count); });
}

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyTrackNodes(SdkSnapshot snapshot, SdkTrackNode *buffer,
                                                   uint32_t capacity, uint32_t *count)
{
    return withSnapshot(
        snapshot, [&](const Snapshot &s) { return s.copyTrackNodes(buffer, capacity, count); });
}

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyTrainPathTracks(SdkSnapshot snapshot, uint64_t trainId,
                                                        uint64_t *buffer, uint32_t capacity,
                                                        uint32_t *count)
{
    return withSnapshot(snapshot, [&](const Snapshot &s) {
        return s.copyTrainPathTracks(trainId, buffer, capacity, count);
    });
}

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyTrackReservations(SdkSnapshot snapshot,
                                                          SdkTrackUsage *buffer, uint32_t capacity,
                                                          uint32_t *count)
{
    return withSnapshot(snapshot, [&](const Snapshot &s) {
        return s.copyTrackReservations(buffer, capacity, count);
    });
}

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_CopyTrackOccupations(SdkSnapshot snapshot,
                                                         SdkTrackUsage *buffer, uint32_t capacity,
                                                         uint32_t *count)
{
    return withSnapshot(snapshot, [&](const Snapshot &s) {
        return s.copyTrackOccupations(buffer, capacity, count);
    });
}

ZORVY_SDK_EXPORT const char *ZorvySdk_StatusString(SdkStatus status)
{
    return statusText(status);
}

// For tests: snapshots captured and not yet released, over all sessions of the process.
ZORVY_SDK_EXPORT uint32_t ZorvySim_OpenSnapshotCount(void)
{
    return HandleRegistry::instance().snapshotCount();
}

} // extern "C"
