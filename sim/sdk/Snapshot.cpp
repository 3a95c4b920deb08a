#include "Snapshot.h"

#include "StatusText.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <thread>

using namespace SharedWorld;

Snapshot::Snapshot(std::shared_ptr<const BlockCopy> staticBlock,
                   std::shared_ptr<const BlockCopy> frame)
    : m_static(std::move(staticBlock)), m_frame(std::move(frame))
{
}

const Fault *Snapshot::fault(const char *exportName, FaultKind kind) const
{
    const Fault *faults = m_static->items<Fault>(Faults);
    const uint64_t count = m_static->count(Faults);
    for (uint64_t i = 0; i < count; ++i) {
        if (faults[i].kind == uint32_t(kind) &&
            strncmp(faults[i].exportName, exportName, sizeof faults[i].exportName) == 0)
            return &faults[i];
    }
    return nullptr;
}

template <typename Record, typename FillFn>
uint32_t Snapshot::copyRecords(const char *exportName, uint64_t available, Record *buffer,
                               uint32_t capacity, uint32_t *count, FillFn fill) const
{
    if (!count)
        return StatusInvalidArgument;
    if (const Fault *stall = fault(exportName, FaultKind::Stall))
        std::this_thread::sleep_for(std::chrono::milliseconds(stall->value));
    if (const Fault *failure = fault(exportName, FaultKind::FailCopy))
        return failure->value;
    if (available > std::numeric_limits<uint32_t>::max())
        return StatusBufferTooSmall;
    if (!buffer || capacity == 0) {
        const Fault *inflate = fault(exportName, FaultKind::InflateCount);
        *count = inflate ? inflate->value : uint32_t(available);
        return StatusOk;
    }
    const uint32_t written = uint32_t(std::min<uint64_t>(available, capacity));
    for (uint32_t i = 0; i < written; ++i)
        fill(buffer[i], i);
    if (written < available) {
        // What fits is there, but the caller must learn that it is not everything.
        *count = uint32_t(available);
        return StatusBufferTooSmall;
    }
    *count = written;
    return StatusOk;
}

template <typename Record>
uint32_t Snapshot::copyList(const char *exportName, const BlockCopy &block, uint32_t list,
                            Record *buffer, uint32_t capacity, uint32_t *count) const
{
    const Record *records = block.items<Record>(list);
    return copyRecords(exportName, block.count(list), buffer, capacity, count,
                       [records](Record &record, uint32_t i) { record = records[i]; });
}

uint32_t Snapshot::copyTrains(SdkTrain *buffer, uint32_t capacity, uint32_t *count) const
{
    return copyList("ZorvySdk_CopyTrains", *m_frame, Trains, buffer, capacity, count);
}

uint32_t Snapshot::copyTracks(SdkTrack *buffer, uint32_t capacity, uint32_t *count) const
{
    return copyList("ZorvySdk_CopyTracks", *m_static, Tracks, buffer, capacity, count);
}

uint32_t Snapshot::copyStations(SdkStation *buffer, uint32_t capacity, uint32_t *count) const
{
    return copyList("ZorvySdk_CopyStations", *m_static, Stations, buffer, capacity, count);
}

uint32_t Snapshot::copySignals(SdkSignal *buffer, uint32_t capacity, uint32_t *count) const
{
    return copyList("ZorvySdk_CopySignals", *m_static, Signals, buffer, capacity, count);
}

uint32_t Snapshot::copyTrackNodes(SdkTrackNode *buffer, uint32_t capacity, uint32_t *count) const
{
    return copyList("ZorvySdk_CopyTrackNodes", *m_static, TrackNodes, buffer, capacity, count);
}

uint32_t Snapshot::copySignalStates(SdkSignalState *buffer, uint32_t capacity,
                                    uint32_t *count) const
{
    const StateEntry *states = m_frame->items<StateEntry>(SignalStates);
    const LabelPair *labels = m_static->items<LabelPair>(LabelPairs);
    const uint64_t labelCount = m_static->count(LabelPairs);
    return copyRecords("ZorvySdk_CopySignalStates", m_frame->count(SignalStates), buffer, capacity,
                       count, [&](SdkSignalState &record, uint32_t i) {
                           const StateEntry &state = states[i];
                           record = SdkSignalState{};
                           record.signalId = state.signalId;
                           record.flags = state.flags;
                           record.nativeState = state.nativeState;
                           if (state.labelPair < labelCount) {
                               const LabelPair &pair = labels[state.labelPair];
                               std::memcpy(record.label1, pair.label1, sizeof record.label1);
                               std::memcpy(record.label2, pair.label2, sizeof record.label2);
                           }
                       });
}

uint32_t Snapshot::copySignalTextures(SdkSignalTexture *buffer, uint32_t capacity,
                                      uint32_t *count) const
{
    const TextureEntry *textures = m_frame->items<TextureEntry>(SignalTextures);
    const TexturePath *paths = m_static->items<TexturePath>(TexturePaths);
    const uint64_t pathCount = m_static->count(TexturePaths);
    return copyRecords("ZorvySdk_CopySignalTextures", m_frame->count(SignalTextures), buffer,
                       capacity, count, [&](SdkSignalTexture &record, uint32_t i) {
                           const TextureEntry &texture = textures[i];
                           std::memset(&record, 0, sizeof record);
                           record.signalId = texture.signalId;
                           record.flags = texture.flags;
                           if (texture.path < pathCount)
                               std::memcpy(record.path, paths[texture.path].bytes,
                                           sizeof record.path);
                       });
}

uint32_t Snapshot::copyTrainPathTracks(uint64_t trainId, uint64_t *buffer, uint32_t capacity,
                                       uint32_t *count) const
{
    if (!count)
        return StatusInvalidArgument;
    // A failing export fails whatever the train.
    if (const Fault *failure = fault("ZorvySdk_CopyTrainPathTracks", FaultKind::FailCopy))
        return failure->value;
    const PathEntry *paths = m_frame->items<PathEntry>(Paths);
    const uint64_t pathCount = m_frame->count(Paths);
    const PathEntry *path = nullptr;
    for (uint64_t i = 0; i < pathCount && !path; ++i) {
        if (paths[i].trainId == trainId)
            path = &paths[i];
    }
    if (!path)
        return StatusUnknownTrain;
    if (!path->hasPath)
        return StatusNoPath;
    const uint64_t trackCount = m_frame->count(PathTracks);
    if (path->first > trackCount || path->count > trackCount - path->first)
        return StatusUnreadableData;
    const uint64_t *tracks = m_frame->items<uint64_t>(PathTracks) + path->first;
    return copyRecords("ZorvySdk_CopyTrainPathTracks", path->count, buffer, capacity, count,
                       [tracks](uint64_t &track, uint32_t i) { track = tracks[i]; });
}

uint32_t Snapshot::copyUsage(const char *exportName, uint32_t list, uint32_t availableFlag,
                             SdkTrackUsage *buffer, uint32_t capacity, uint32_t *count) const
{
    if (!count)
        return StatusInvalidArgument;
    if (!(m_frame->header().flags & availableFlag) && !fault(exportName, FaultKind::FailCopy))
        return StatusNotAvailable;
    return copyList(exportName, *m_frame, list, buffer, capacity, count);
}

uint32_t Snapshot::copyTrackReservations(SdkTrackUsage *buffer, uint32_t capacity,
                                         uint32_t *count) const
{
    return copyUsage("ZorvySdk_CopyTrackReservations", Reservations, ReservationsAvailable, buffer,
                     capacity, count);
}

uint32_t Snapshot::copyTrackOccupations(SdkTrackUsage *buffer, uint32_t capacity,
                                        uint32_t *count) const
{
    return copyUsage("ZorvySdk_CopyTrackOccupations", Occupations, OccupationsAvailable, buffer,
                     capacity, count);
}
