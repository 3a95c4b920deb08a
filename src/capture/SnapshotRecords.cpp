#include "SnapshotRecords.h"

namespace {

// Releases the snapshot however the capture ends.
class SnapshotGuard
{
public:
    explicit SnapshotGuard(const SdkFunctions &library) : m_library(library) {}
    SnapshotGuard(const SnapshotGuard &) = delete;
    SnapshotGuard &operator=(const SnapshotGuard &) = delete;
    ~SnapshotGuard()
    {
        if (handle != 0)
            m_library.releaseSnapshot(handle);
    }

    SdkSnapshot handle = 0;

private:
    const SdkFunctions &m_library;
};

template <typename Record>
auto listOf(SdkSnapshot snapshot, SdkFunctions::CopyList<Record> copyExport)
{
    return SdkCopy::listOf(snapshot, copyExport);
}

// Reservations or occupations: probed first, since status 8 means not available.
bool copyUsage(const SdkFunctions &library, SdkSnapshot snapshot,
               SdkFunctions::CopyList<SdkTrackUsage> copyExport,
               SdkCopy::RecordBuffer<SdkTrackUsage> &buffer, SdkCopy::Budget &budget,
               const SdkCopy::ListLimit &limit)
{
    const auto call = listOf(snapshot, copyExport);
    uint32_t count = 0;
    const SdkStatus status = SdkCopy::probe(call, &count);
    if (status == SdkStatusNotAvailable)
        return false;
    if (status != 0)
        SdkCopy::throwStatus(status, library.statusString);
    SdkCopy::copy(buffer, call, library.statusString, budget, limit);
    return true;
}

} // namespace

void SnapshotRecords::clear()
{
    trains.clear();
    tracks.clear();
    stations.clear();
    signalRecords.clear();
    states.clear();
    textures.clear();
    nodes.clear();
    pathAvailable = false;
    pathTrain = 0;
    pathSize = 0;
    path.clear();
    reservationsAvailable = false;
    reservations.clear();
    occupationsAvailable = false;
    occupations.clear();
}

void SnapshotRecords::copyLists(const SdkFunctions &library, SdkSnapshot snapshot,
                                SdkCopy::Budget &budget)
{
    namespace Limit = SdkCopy::CaptureBudget;
    const SdkCopy::StatusText text = library.statusString;
    SdkCopy::copy(trains, listOf(snapshot, library.copyTrains), text, budget, Limit::trains);
    SdkCopy::copy(tracks, listOf(snapshot, library.copyTracks), text, budget, Limit::tracks);
    SdkCopy::copy(stations, listOf(snapshot, library.copyStations), text, budget, Limit::stations);
    SdkCopy::copy(signalRecords, listOf(snapshot, library.copySignals), text, budget,
                  Limit::signalRecords);
    SdkCopy::copy(states, listOf(snapshot, library.copySignalStates), text, budget,
                  Limit::signalStates);
    SdkCopy::copy(textures, listOf(snapshot, library.copySignalTextures), text, budget,
                  Limit::signalTextures);
}

void SnapshotRecords::capture(const SdkFunctions &library, SdkSession session, quint64 viewTrain)
{
    clear();
    try {
        SnapshotGuard snapshot(library);
        if (const SdkStatus status = library.captureSnapshot(session, &snapshot.handle))
            SdkCopy::throwStatus(status, library.statusString);
        if (snapshot.handle == 0)
            SdkCopy::throwNoSnapshot();
        const SdkSnapshot handle = snapshot.handle;

        SdkCopy::Budget budget;
        copyLists(library, handle, budget);
        SdkCopy::copy(nodes, listOf(handle, library.copyTrackNodes), library.statusString, budget,
                      SdkCopy::CaptureBudget::nodes);

        if (const SdkTrain *train = selectedTrain(trains, viewTrain)) {
            const uint64_t trainId = train->id;
            const auto call = [&library, handle, trainId](uint64_t *ids, uint32_t capacity,
                                                          uint32_t *count) {
                return library.copyTrainPathTracks(handle, trainId, ids, capacity, count);
            };
            pathTrain = trainId;
            // Any refusal of the probe means that the train has no path.
            if (SdkCopy::probe(call, &pathSize) == 0) {
                budget.admit(SdkCopy::CaptureBudget::pathTracks, pathSize);
                pathSize = SdkCopy::fill(path, pathSize, call, library.statusString,
                                         SdkCopy::CaptureBudget::pathTracks);
                pathAvailable = true;
            }
        }

        reservationsAvailable =
            copyUsage(library, handle, library.copyTrackReservations, reservations, budget,
                      SdkCopy::CaptureBudget::reservations);
        occupationsAvailable = copyUsage(library, handle, library.copyTrackOccupations, occupations,
                                         budget, SdkCopy::CaptureBudget::occupations);
    } catch (...) {
        clear();
        throw;
    }
}

const SdkTrain *selectedTrain(const SdkCopy::RecordBuffer<SdkTrain> &trains, quint64 viewTrain)
{
    for (const SdkTrain &train : trains) {
        if (viewTrain != 0 ? train.id == viewTrain : (train.flags & SdkTrainPositioned) != 0)
            return &train;
    }
    return nullptr;
}
