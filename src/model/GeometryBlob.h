#pragma once

#include "SdkRecords.h"

#include <QByteArray>
#include <QVector>

// The map geometry travels in the data map as the library's track node records, byte for byte:
// no header, no count, one 40-byte record after another.
namespace GeometryBlob {

QByteArray fromNodes(const SdkTrackNode *nodes, qsizetype count);

// Record count is the length divided by 40; the bytes of an incomplete last record are ignored.
QVector<SdkTrackNode> toNodes(const QByteArray &blob);

} // namespace GeometryBlob
