#pragma once

#include "SdkCopy.h"
#include "SdkRecords.h"

#include <QVariantMap>

// The train the map follows, its calculated path and the track usage, all taken from the
// snapshot being converted and written into its data map.
namespace TrainSelection {

// The train of the view when it names one (none when it has left: no fallback), otherwise the
// first positioned train; nullptr when there is none.
const SdkTrain *selectedTrain(const SdkCopy::RecordBuffer<SdkTrain> &trains, quint64 viewTrain);

// "selectedTrainId", "selectedTrackId" and "selectedTrain".
void writeSelection(QVariantMap &map, const SdkTrain *train);

// "mapPath", "pathAvailable" and "pathSize". A train without a path is a normal outcome; only a
// failing fill throws.
void writePath(QVariantMap &map, SdkSnapshot snapshot, const SdkTrain *train,
               SdkCopy::RecordBuffer<uint64_t> &buffer);

// "mapReservations" (the selected train's only), "mapOccupations" (all) and their availability.
// Status 8 from the library means not available and is no failure.
void writeUsage(QVariantMap &map, SdkSnapshot snapshot, const SdkTrain *train,
                SdkCopy::RecordBuffer<SdkTrackUsage> &buffer);

} // namespace TrainSelection
