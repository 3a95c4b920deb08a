#pragma once

#include "RecordStream.h"
#include "SnapshotRecords.h"
#include "ViewParameters.h"

#include <QVariantMap>

#include <functional>

// The data map of the records of one capture, for the given view and the process they came from.
// A function of its arguments alone: it calls no library and keeps nothing between calls (but
// the memory of its working tables). Sets every key of a conversion except "captureMs" and
// "updated", which belong to the capture. Bad records never fail it: ids that point nowhere,
// names without NUL or with invalid UTF-8 give the defaults of the data map.
QVariantMap convertRecords(const SnapshotRecords &records, quint32 processId,
                           const ViewParameters &view);

// Captures one snapshot of the session's game into records and converts it, stamped with
// "captureMs" and "updated". Throws std::runtime_error carrying the library's status text (UTF-8)
// when a library call fails, and a French status text when the lists pass the capture budget or
// memory runs out while the capture is copied or converted (never std::bad_alloc); the snapshot is
// released on every path. readRecords, when given, reads the records after the conversion, before
// they are cleared, and may add to the map. A sink, when given, then takes the capture's records
// (moved, not copied).
using RecordsReader = std::function<void(const SnapshotRecords &records, QVariantMap &data)>;
QVariantMap convertSnapshot(const SdkFunctions &library, SdkSession session, quint32 processId,
                            const ViewParameters &view, SnapshotRecords &records,
                            const RecordsReader &readRecords = {}, RecordSink *sink = nullptr);

// Stamps a converted map with what belongs to its capture: "captureMs" and "updated" (the local
// time of timeMs, the end of the capture in ms since the epoch).
void stampCapture(QVariantMap &data, qint64 captureMs, qint64 timeMs);

// The same through the loaded library, with records kept by the calling thread.
QVariantMap convertSnapshot(SdkSession session, quint32 processId, const ViewParameters &view);
