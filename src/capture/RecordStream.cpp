#include "RecordStream.h"

namespace {
template <typename Record>
void copyList(const SdkCopy::RecordBuffer<Record> &source, SdkCopy::RecordBuffer<Record> &target)
{
    target.assign(source.begin(), source.count());
}
} // namespace

void copyRecords(const SnapshotRecords &source, SnapshotRecords &target)
{
    copyList(source.trains, target.trains);
    copyList(source.tracks, target.tracks);
    copyList(source.stations, target.stations);
    copyList(source.signalRecords, target.signalRecords);
    copyList(source.states, target.states);
    copyList(source.textures, target.textures);
    copyList(source.nodes, target.nodes);
    target.pathAvailable = source.pathAvailable;
    target.pathTrain = source.pathTrain;
    target.pathSize = source.pathSize;
    copyList(source.path, target.path);
    target.reservationsAvailable = source.reservationsAvailable;
    copyList(source.reservations, target.reservations);
    target.occupationsAvailable = source.occupationsAvailable;
    copyList(source.occupations, target.occupations);
}

SharedCapture shareCapture(const SnapshotRecords &records, qint64 timeMs, qint64 durationMs,
                           quint32 processId)
{
    auto capture = std::make_shared<CapturedRecords>();
    capture->timeMs = timeMs;
    capture->durationMs = durationMs;
    capture->processId = processId;
    copyRecords(records, capture->records);
    return capture;
}
