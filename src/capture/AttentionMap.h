#pragma once

#include "AttentionTracker.h"

#include <QVariantMap>

// The tracker's results of one capture into the data map ("attentionCounts", "attentionEvents",
// "attentionTrains", "deadlocks"), and one log line per alert that starts or ends, in the
// zorvy.attention category:
//   ALERT start|end train=<id> state=held|stalled place=<place>
//   ALERT start|end train=<first id> state=deadlock cycle=<id>,<id>,…,<first id> place=<place>
// <place> is the station of the train's track, or "near <station> track <id>" outside stations
// (the station whose tracks' middle is nearest; "track <id>" alone when none is known), its
// control characters, line separators and directional marks written "?", so that each alert is
// one line. The records are those the tracker read; nowMs its clock for that capture.
namespace AttentionMap {

void write(QVariantMap &data, const AttentionTracker &tracker, const SnapshotRecords &records,
           qint64 nowMs);

} // namespace AttentionMap
