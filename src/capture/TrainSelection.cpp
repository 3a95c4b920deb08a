#include "TrainSelection.h"

#include "DataMapKeys.h"

#include "DataMap.h"
#include "MapFiller.h"
#include "SdkText.h"

#include <QVariantList>

namespace TrainSelection {

namespace {

// One usage list. When filtering by train, no selected train keeps no record at all.
void writeUsageList(QVariantMap &map, const SdkCopy::RecordBuffer<SdkTrackUsage> &records,
                    bool available, const QString &listKey, const QString &availableKey,
                    bool filterByTrain, const SdkTrain *train)
{
    static const QVariantMap prototype =
        mapPrototype({&DataMapKeys::beginKey, &DataMapKeys::endKey, &DataMapKeys::trackKey,
                      &DataMapKeys::trainKey});
    QVariantList entries;
    if (available && (!filterByTrain || train)) {
        entries.reserve(filterByTrain ? 0 : qsizetype(records.count()));
        for (const SdkTrackUsage &usage : records) {
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
    map.insert(listKey, entries);
    map.insert(availableKey, available && (filterByTrain ? train != nullptr : true));
}

} // namespace

void writeSelection(QVariantMap &map, const SdkTrain *train)
{
    const bool positioned = train && (train->flags & SdkTrainPositioned);
    map.insert(DataMapKeys::selectedTrainIdKey, train ? DataMap::idText(train->id) : QString());
    map.insert(DataMapKeys::selectedTrackIdKey,
               positioned ? DataMap::idText(train->trackId) : QString());
    map.insert(DataMapKeys::selectedTrainKey, train ? sdkText(train->name) : QString());
}

void writePath(QVariantMap &map, const SnapshotRecords &records, const SdkTrain *train)
{
    const bool ours = train && records.pathTrain == train->id;
    QVariantList path;
    const bool available = ours && records.pathAvailable;
    if (available) {
        path.reserve(qsizetype(records.path.count()));
        for (uint64_t trackId : records.path)
            path.append(DataMap::idText(trackId));
    }
    map.insert(DataMapKeys::mapPathKey, path);
    map.insert(DataMapKeys::pathAvailableKey, available);
    map.insert(DataMapKeys::pathSizeKey, QVariant::fromValue<quint32>(ours ? records.pathSize : 0));
}

void writeUsage(QVariantMap &map, const SnapshotRecords &records, const SdkTrain *train)
{
    writeUsageList(map, records.reservations, records.reservationsAvailable,
                   DataMapKeys::mapReservationsKey, DataMapKeys::reservationsAvailableKey, true,
                   train);
    writeUsageList(map, records.occupations, records.occupationsAvailable,
                   DataMapKeys::mapOccupationsKey, DataMapKeys::occupationsAvailableKey, false,
                   train);
}

} // namespace TrainSelection
