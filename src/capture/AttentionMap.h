#pragma once

#include "AttentionTracker.h"

#include <QVariantMap>

#include <limits>

// The tracker's results of one capture into the data map ("attentionCounts", "attentionEvents",
// "attentionTrains", "deadlocks"), and one log line per alert that starts or ends, in the
// zorvy.attention category:
//   ALERT start|end train=<id> state=held|stalled place=<place>
//   ALERT start|end train=<first id> state=deadlock cycle=<id>,<id>,…,<first id> place=<place>
// <place> is the station of the train's track, or "near <station> track <id>" outside stations
// (the station whose tracks' middle is nearest; "track <id>" alone when none is known), its
// control characters, line separators and directional marks written "?", so that each alert is
// one line. The records are those the tracker read; nowMs its clock for that capture, wallNowMs the
// wall clock of the capture (ms since the epoch) that the alerts' times are told in. A replay's
// alerts say so: their events carry "replay", and their log lines read "ALERT replay start|end …".
namespace AttentionMap {

constexpr qint64 unknownSince = std::numeric_limits<qint64>::min();

struct Clock
{
    qint64 nowMs = 0;
    qint64 wallNowMs = 0;
    bool replay = false;
};

void write(QVariantMap &data, const AttentionTracker &tracker, const SnapshotRecords &records,
           const Clock &clock);

// The selected train ("selectedTrainId" of data) as "selectedAttention": its state and since when,
// its track, the station of that track, and the train it waits for with that train's name. train
// is the tracker's entry for it, nullptr when the tracker does not follow it (the key is then
// empty). A train whose sinceMs is unknownSince has no "since".
void writeSelected(QVariantMap &data, const AttentionTracker::Train *train,
                   const SnapshotRecords &records, const Clock &clock);

} // namespace AttentionMap
