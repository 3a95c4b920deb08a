#include "TrainSelection.h"

#include "DataMapKeys.h"

#include "DataMap.h"
#include "MapFiller.h"
#include "SdkText.h"

#include <QVariantList>

namespace TrainSelection {

namespace {

using UsageExport = SdkStatus (*)(SdkSnapshot, SdkTrackUsage *, uint32_t, uint32_t *);

// One usage list. `onlyTrain` filters the records by train; it is used when filtering, and then
// no selected train keeps no record at all.
void writeUsageList(QVariantMap &map, SdkSnapshot snapshot, UsageExport copyExport,
                    const QString &listKey, const QString &availableKey, bool filterByTrain,
                    const SdkTrain *train, SdkCopy::RecordBuffer<SdkTrackUsage> &buffer)
{
    const auto call = SdkCopy::listOf(snapshot, copyExport);

    map.insert(listKey, QVariantList());
    map.insert(availableKey, false);
    uint32_t count = 0;
    const SdkStatus status = SdkCopy::probe(call, &count);
    if (status == SdkStatusNotAvailable)
        return;
    if (status != 0)
        SdkCopy::throwStatus(status);

    SdkCopy::copy(buffer, call);
    static const QVariantMap prototype =
        mapPrototype({&DataMapKeys::beginKey, &DataMapKeys::endKey, &DataMapKeys::trackKey,
                      &DataMapKeys::trainKey});
    QVariantList entries;
    if (!filterByTrain || train) {
        entries.reserve(filterByTrain ? 0 : qsizetype(buffer.count()));
        for (const SdkTrackUsage &usage : buffer) {
            if (filterByTrain && usage.trainId != train->id)
                continue;
            entries.append(MapFiller(prototype)
                               .set(DataMapKeys::beginKey, usage.begin)
                               .set(DataMapKeys::endKey, usage.end)
                               .set(DataMapKeys::trackKey, DataMap::idText(usage.trackId))
                               .set(DataMapKeys::trainKey, DataMap::idText(usage.trainId))
                               .take());
        }
    }
    buffer.clear();
    map.insert(listKey, entries);
    map.insert(availableKey, filterByTrain ? train != nullptr : true);
}

} // namespace

const SdkTrain *selectedTrain(const SdkCopy::RecordBuffer<SdkTrain> &trains, quint64 viewTrain)
{
    for (const SdkTrain &train : trains) {
        if (viewTrain != 0 ? train.id == viewTrain : (train.flags & SdkTrainPositioned) != 0)
            return &train;
    }
    return nullptr;
}

void writeSelection(QVariantMap &map, const SdkTrain *train)
{
    const bool positioned = train && (train->flags & SdkTrainPositioned);
    map.insert(DataMapKeys::selectedTrainIdKey, train ? DataMap::idText(train->id) : QString());
    map.insert(DataMapKeys::selectedTrackIdKey,
               positioned ? DataMap::idText(train->trackId) : QString());
    map.insert(DataMapKeys::selectedTrainKey, train ? sdkText(train->name) : QString());
}

void writePath(QVariantMap &map, SdkSnapshot snapshot, const SdkTrain *train,
               SdkCopy::RecordBuffer<uint64_t> &buffer)
{
    QVariantList path;
    bool available = false;
    uint32_t lastCount = 0;
    if (train) {
        const uint64_t trainId = train->id;
        const auto call = [snapshot, trainId](uint64_t *ids, uint32_t capacity, uint32_t *count) {
            return ZorvySdk_CopyTrainPathTracks(snapshot, trainId, ids, capacity, count);
        };
        uint32_t count = 0;
        // Any refusal of the probe means that the train has no path.
        if (SdkCopy::probe(call, &count) == 0) {
            lastCount = SdkCopy::fill(buffer, count, call);
            path.reserve(qsizetype(buffer.count()));
            for (uint64_t trackId : buffer)
                path.append(DataMap::idText(trackId));
            buffer.clear();
            available = true;
        } else {
            lastCount = count;
        }
    }
    map.insert(DataMapKeys::mapPathKey, path);
    map.insert(DataMapKeys::pathAvailableKey, available);
    map.insert(DataMapKeys::pathSizeKey, QVariant::fromValue<quint32>(lastCount));
}

void writeUsage(QVariantMap &map, SdkSnapshot snapshot, const SdkTrain *train,
                SdkCopy::RecordBuffer<SdkTrackUsage> &buffer)
{
    writeUsageList(map, snapshot, &ZorvySdk_CopyTrackReservations, DataMapKeys::mapReservationsKey,
                   DataMapKeys::reservationsAvailableKey, true, train, buffer);
    writeUsageList(map, snapshot, &ZorvySdk_CopyTrackOccupations, DataMapKeys::mapOccupationsKey,
                   DataMapKeys::occupationsAvailableKey, false, train, buffer);
}

} // namespace TrainSelection
