#pragma once

#include "BlockCopy.h"
#include "SdkRecords.h"

#include <cstdint>
#include <memory>

// One immutable capture: the static block of the session (shared between the captures that saw
// the same version of it) and a private copy of one frame. Every copy function reads only these,
// so a snapshot stays valid after its session is closed or its game has exited.
class Snapshot
{
public:
    Snapshot(std::shared_ptr<const BlockCopy> staticBlock, std::shared_ptr<const BlockCopy> frame);

    uint32_t copyTrains(SdkTrain *buffer, uint32_t capacity, uint32_t *count) const;
    uint32_t copyTracks(SdkTrack *buffer, uint32_t capacity, uint32_t *count) const;
    uint32_t copyStations(SdkStation *buffer, uint32_t capacity, uint32_t *count) const;
    uint32_t copySignals(SdkSignal *buffer, uint32_t capacity, uint32_t *count) const;
    uint32_t copySignalStates(SdkSignalState *buffer, uint32_t capacity, uint32_t *count) const;
    uint32_t copySignalTextures(SdkSignalTexture *buffer, uint32_t capacity, uint32_t *count) const;
    uint32_t copyTrackNodes(SdkTrackNode *buffer, uint32_t capacity, uint32_t *count) const;
    uint32_t copyTrainPathTracks(uint64_t trainId, uint64_t *buffer, uint32_t capacity,
                                 uint32_t *count) const;
    uint32_t copyTrackReservations(SdkTrackUsage *buffer, uint32_t capacity, uint32_t *count) const;
    uint32_t copyTrackOccupations(SdkTrackUsage *buffer, uint32_t capacity, uint32_t *count) const;

private:
    // The copy protocol for `available` records: a probe (null buffer or capacity 0) writes the
    // count; a fill writes at most `capacity` records with fill(record, index). Test faults of the
    // scenario apply by export name.
    template <typename Record, typename FillFn>
    uint32_t copyRecords(const char *exportName, uint64_t available, Record *buffer,
                         uint32_t capacity, uint32_t *count, FillFn fill) const;
    template <typename Record>
    uint32_t copyList(const char *exportName, const BlockCopy &block, uint32_t list, Record *buffer,
                      uint32_t capacity, uint32_t *count) const;
    uint32_t copyUsage(const char *exportName, uint32_t list, uint32_t availableFlag,
                       SdkTrackUsage *buffer, uint32_t capacity, uint32_t *count) const;
    // The test fault of this kind for the export, if any.
    const SharedWorld::Fault *fault(const char *exportName, SharedWorld::FaultKind kind) const;

    std::shared_ptr<const BlockCopy> m_static;
    std::shared_ptr<const BlockCopy> m_frame;
};
