#pragma once

#include <QVariantList>

#include <deque>

// The alerts the window lists: one entry per alert that started (a train held, stalled or locked
// in a wait cycle), newest first, with when it ended once it has. Fed with the "attentionEvents"
// of each live map; entries of an earlier game or connection are kept but marked as such.
class AlertLog
{
public:
    // The most entries kept; the oldest go first.
    static constexpr int maxEntries = 500;

    // Reads the events of one map. Returns whether the list changed.
    bool take(const QVariantList &events);
    // A new game or connection: the entries so far belong to the previous one.
    bool markPrevious();
    // The events of this connection start again (a replay that went back): its entries go.
    bool dropCurrent();

    // Each entry: the event's keys (state, id, name, place, text, time, since, cycle, and replay
    // for an alert of a recording) plus "ended"
    // (the time it ended, empty while it lasts) and "previous" (of an earlier game or connection).
    QVariantList entries() const;

private:
    struct Entry
    {
        QVariantMap event;
        QString key; // state and train, or the cycle's trains
        QString ended;
        bool previous = false;
    };
    std::deque<Entry> m_entries; // newest first
};
