#pragma once

#include "SnapshotRecords.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

// What needs attention on the railway, followed from capture to capture on the reader thread:
// the state of each positioned train, which stopped train waits for which, and the wait cycles
// (deadlocks). It keeps, per train, only what the next capture needs; the records are read during
// update() and never kept.
//
// States. A train is stopped when its speed is below stoppedSpeed. A stopped train on a track of
// a station is at a platform at once. Elsewhere it must be stopped for stoppedDelayMs before it
// counts as held at a signal (the first main signal facing it on its way is closed) or stalled
// (any other stop); until then it keeps its previous state. A train that is not running becomes
// running again only once it has moved for movingDelayMs. A train in a reported wait cycle is
// locked, whatever the delays.
//
// Waits. A stopped train waits for the train that occupies (or, when none occupies it, first
// reserves) the track it needs next: walking from its own track in its sense of travel over the
// tracks it occupies or reserves itself, the first track that is neither. The walk never turns
// back (on to a track on the same side as the one it came from, as seen from the node between
// them): it ends there with no track needed. A cycle of that relation is reported once it holds in
// two consecutive captures.
class AttentionTracker
{
public:
    enum class State : std::uint8_t { Running, AtPlatform, Held, Stalled, Locked };
    static constexpr int stateCount = 5;

    struct Settings
    {
        qint64 stoppedDelayMs = 10000;
        qint64 movingDelayMs = 2000;
        double stoppedSpeed = 0.1; // m/s
    };

    // Whether the image at a texture path reads as closed: 1 closed, 0 open, -1 unknown.
    using ClosedImage = std::function<int(QByteArrayView path)>;

    struct Train
    {
        quint64 id = 0;
        State state = State::Running;
        qint64 sinceMs = 0;   // when the state began
        quint64 waitsFor = 0; // the train it waits for in the last capture, 0 for none
        quint64 track = 0;
    };

    // A change worth an alert: a train entered or left held, stalled or locked, or a wait cycle
    // was found or broke up.
    struct Event
    {
        bool started = true;
        State state = State::Held; // Held, Stalled or Locked
        quint64 train = 0;         // the train; for a cycle its first train
        quint64 track = 0;
        qint64 sinceMs = 0;         // when the state began
        std::vector<quint64> cycle; // a cycle's trains, in wait order, first one not repeated
    };

    // Work bounds against hostile lists: the tracks walked ahead of a train.
    static constexpr int maxWalk = 64;

    void setSettings(const Settings &settings) { m_settings = settings; }
    const Settings &settings() const { return m_settings; }

    // Reads one capture taken at nowMs (a monotonic clock). closed may be empty: no signal is then
    // known to be closed.
    void update(const SnapshotRecords &records, qint64 nowMs, const ClosedImage &closed);
    // Forgets every train and cycle (a new game or connection); no events.
    void reset();

    // The positioned trains of the last capture, in library order (duplicates once).
    const std::vector<Train> &trains() const { return m_trains; }
    // The cycles reported after the last capture, each starting at its smallest train id.
    const std::set<std::vector<quint64>> &cycles() const { return m_reported; }
    // The events of the last update, in the order they happened.
    const std::vector<Event> &events() const { return m_events; }
    int count(State state) const { return m_counts[int(state)]; }

private:
    struct Memory
    {
        State state = State::Running;
        qint64 sinceMs = 0;
        qint64 stoppedSinceMs = -1; // -1: moving
        qint64 movingSinceMs = -1;  // -1: stopped
        bool seen = false;
    };

    // The steps of update(): each positioned train's state before cycles, from its memory; the
    // cycles reported, with the locked trains; the states settled, with their events; the trains
    // no longer captured forgotten.
    Train readTrain(const SdkTrain &train, qint64 nowMs, const ClosedImage &closed);
    QHash<quint64, bool> reportCycles(qint64 nowMs);
    void settleStates(const QHash<quint64, bool> &locked, qint64 nowMs);
    void forgetGone();

    Settings m_settings;
    QHash<quint64, Memory> m_memory;
    std::vector<Train> m_trains;
    std::set<std::vector<quint64>> m_previousCycles; // seen in the last capture
    std::set<std::vector<quint64>> m_reported;
    std::vector<Event> m_events;
    int m_counts[stateCount] = {};
};

const char *stateName(AttentionTracker::State state);
