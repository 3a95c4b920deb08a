#pragma once

#include "SnapshotRecords.h"

#include <QVariantMap>

// The train the map follows, its calculated path and the track usage, written into the data map
// from the records of the same capture.
namespace TrainSelection {

// "selectedTrainId", "selectedTrackId" and "selectedTrain".
void writeSelection(QVariantMap &map, const SdkTrain *train);

// "mapPath", "pathAvailable" and "pathSize": the records' path when it is the selected train's.
void writePath(QVariantMap &map, const SnapshotRecords &records, const SdkTrain *train);

// "mapReservations" (the selected train's only; none without a selected train), "mapOccupations"
// (all) and their availability.
void writeUsage(QVariantMap &map, const SnapshotRecords &records, const SdkTrain *train);

} // namespace TrainSelection
