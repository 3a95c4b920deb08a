#include "AttentionTracker.h"

#include "IdGroups.h"
#include "IdIndex.h"
#include "ModelConstants.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Usage records looked at per track and train when deciding who holds it: a hostile list may pile
// thousands of records on one track.
constexpr int maxUsageScan = 32;

template <typename Record, typename IdOf>
std::pair<quint64, quint64> idRange(const SdkCopy::RecordBuffer<Record> &records, IdOf idOf)
{
    quint64 low = ~quint64(0), high = 0;
    for (const Record &record : records) {
        low = std::min<quint64>(low, idOf(record));
        high = std::max<quint64>(high, idOf(record));
    }
    return {low, high};
}

// The tables one update reads, rebuilt from each capture's records in memory kept by the thread.
struct Tables
{
    const SnapshotRecords *records = nullptr;
    IdIndex trainsById;
    IdIndex tracksById;
    mutable IdIndex nodesById;
    mutable bool nodesBuilt = false;
    IdGroups occupationsByTrack;
    IdGroups reservationsByTrack;
    IdGroups signalsByTrack;
    IdIndex texturesBySignal;

    template <typename Record, typename IdOf>
    static void index(IdIndex &table, const SdkCopy::RecordBuffer<Record> &list, IdOf idOf)
    {
        const auto [low, high] = idRange(list, idOf);
        table.reset(list.count(), low, high);
        for (quint32 i = 0; i < list.count(); ++i)
            table.insertFirst(idOf(list[i]), int(i));
    }
    template <typename Record, typename IdOf>
    static void group(IdGroups &groups, const SdkCopy::RecordBuffer<Record> &list, IdOf idOf)
    {
        const auto [low, high] = idRange(list, idOf);
        groups.reset(list.count(), low, high);
        for (quint32 i = 0; i < list.count(); ++i)
            groups.add(idOf(list[i]), int(i));
    }

    void build(const SnapshotRecords &r)
    {
        records = &r;
        signalsBuilt = false;
        index(trainsById, r.trains, [](const SdkTrain &t) { return t.id; });
        nodesBuilt = false;
        index(tracksById, r.tracks, [](const SdkTrack &t) { return t.id; });
        group(occupationsByTrack, r.occupations, [](const SdkTrackUsage &u) { return u.trackId; });
        group(reservationsByTrack, r.reservations,
              [](const SdkTrackUsage &u) { return u.trackId; });
    }
    // Only needed when a train stops outside a station: built once per update, on first use.
    bool signalsBuilt = false;
    void buildSignals()
    {
        if (signalsBuilt)
            return;
        signalsBuilt = true;
        group(signalsByTrack, records->signalRecords, [](const SdkSignal &s) { return s.trackId; });
        index(texturesBySignal, records->textures,
              [](const SdkSignalTexture &t) { return t.signalId; });
    }

    bool knownTrain(quint64 id) const { return id != 0 && trainsById.find(id) >= 0; }

    // The train that holds the track for train self: another train that occupies it; else self
    // when self occupies or reserves it; else the first train that reserves it; 0 for none.
    // Records naming unknown trains count for nothing.
    quint64 holder(quint64 track, quint64 self) const
    {
        quint64 occupier = 0;
        bool own = false;
        int scanned = 0;
        occupationsByTrack.forEach(track, [&](int i) {
            if (occupier != 0 || ++scanned > maxUsageScan)
                return;
            const quint64 train = records->occupations[quint32(i)].trainId;
            if (train == self)
                own = true;
            else if (knownTrain(train))
                occupier = train;
        });
        if (occupier != 0)
            return occupier;
        quint64 reserver = 0;
        scanned = 0;
        reservationsByTrack.forEach(track, [&](int i) {
            if (own || ++scanned > maxUsageScan)
                return;
            const quint64 train = records->reservations[quint32(i)].trainId;
            if (train == self)
                own = true;
            else if (reserver == 0 && knownTrain(train))
                reserver = train;
        });
        return own ? self : reserver;
    }

    // The node of a track: at the track's own index when the lists keep the same order (the usual
    // case, and no index of some 100,000 nodes to build at every capture), else through an index
    // built on first use in this update.
    const SdkTrackNode *node(quint64 track) const
    {
        const int t = tracksById.find(track);
        if (t >= 0 && quint32(t) < records->nodes.count() && records->nodes[quint32(t)].id == track)
            return &records->nodes[quint32(t)];
        if (!nodesBuilt) {
            nodesBuilt = true;
            index(nodesById, records->nodes, [](const SdkTrackNode &n) { return n.id; });
        }
        const int i = nodesById.find(track);
        return i >= 0 ? &records->nodes[quint32(i)] : nullptr;
    }

    // The sense in which a train coming from track `from` runs over `to`: +1 towards its second
    // link, -1 towards its first. Linked back on neither side, it enters at the end nearer to
    // where it comes from.
    int entrySense(quint64 from, const SdkTrackNode &to) const
    {
        if (to.neighbour1 == from)
            return 1;
        if (to.neighbour2 == from)
            return -1;
        const SdkTrackNode *origin = node(from);
        const SdkTrackNode *first = node(to.neighbour1);
        const SdkTrackNode *second = node(to.neighbour2);
        if (!origin || !first)
            return -1;
        if (!second)
            return 1;
        const double d1 = std::hypot(first->x - origin->x, first->y - origin->y);
        const double d2 = std::hypot(second->x - origin->x, second->y - origin->y);
        return d1 <= d2 ? 1 : -1;
    }
};

thread_local Tables tables;

bool stoppedAt(const SdkTrain &train, double stoppedSpeed)
{
    return !(std::fabs(train.speed) >= stoppedSpeed); // NaN counts as stopped
}

// One step of a train's way: a track and the sense it runs over it; fromFraction is where it
// starts on it (its head on the first track).
struct Step
{
    quint64 track;
    int sense;
    double fromFraction;
};

// The train's way: its own track, then the tracks it holds itself, then the first track it does
// not hold (the last step, needed = true), at most maxWalk steps and never a track twice.
struct Way
{
    std::vector<Step> steps;
    bool needed = false; // the last step is the track it needs next
};

// The way of the train being read, its memory kept by the thread like the tables.
thread_local Way trainWay;

// Whether going on from `at` (entered from track `from`) to `next` would turn back: `from` and
// `next` lie on the same side of it (their nodes less than 90° apart, seen from its node). A
// junction's node names two of its links only, which may be two tracks on the same side (two
// platforms behind a station's throat); no train runs from one to the other through it.
bool turnsBack(quint64 from, const SdkTrackNode &at, const SdkTrackNode &next)
{
    const SdkTrackNode *origin = tables.node(from);
    return origin &&
           (origin->x - at.x) * (next.x - at.x) + (origin->y - at.y) * (next.y - at.y) > 0;
}

void walk(const SdkTrain &train, Way &way)
{
    way.steps.clear();
    way.needed = false;
    int sense = train.sense > 0 ? 1 : -1;
    way.steps.push_back({train.trackId, sense, train.fraction});
    quint64 current = train.trackId;
    for (int i = 1; i < AttentionTracker::maxWalk; ++i) {
        const SdkTrackNode *node = tables.node(current);
        if (!node)
            return;
        const quint64 next = sense > 0 ? node->neighbour2 : node->neighbour1;
        const SdkTrackNode *nextNode = tables.node(next);
        if (!nextNode || next == current)
            return;
        for (const Step &step : way.steps) {
            if (step.track == next)
                return; // a loop of its own tracks
        }
        if (way.steps.size() >= 2 &&
            turnsBack(way.steps[way.steps.size() - 2].track, *node, *nextNode))
            return;
        sense = tables.entrySense(current, *nextNode);
        way.steps.push_back({next, sense, sense > 0 ? 0.0 : 1.0});
        if (tables.holder(next, train.id) != train.id) {
            way.needed = true;
            return;
        }
        current = next;
    }
}

// Whether a signal facing the train ahead of it on its way (balises and markers aside) shows an
// image that reads as closed.
bool closedAhead(const Way &way, const AttentionTracker::ClosedImage &closed)
{
    if (!closed)
        return false;
    for (const Step &step : way.steps) {
        bool found = false;
        int scanned = 0;
        tables.signalsByTrack.forEach(step.track, [&](int i) {
            if (found || ++scanned > 256)
                return;
            const SdkSignal &s = tables.records->signalRecords[quint32(i)];
            if (s.kind == SignalKind::balise || s.kind == SignalKind::marker ||
                (s.sense > 0 ? 1 : -1) != step.sense)
                return;
            const double distance =
                step.sense > 0 ? s.fraction - step.fromFraction : step.fromFraction - s.fraction;
            if (!(distance >= 0))
                return;
            const int texture = tables.texturesBySignal.find(s.id);
            if (texture < 0)
                return;
            const SdkSignalTexture &record = tables.records->textures[quint32(texture)];
            if (!(record.flags & SdkTexturePathValid))
                return;
            const char *path = record.path;
            const void *nul = std::memchr(path, '\0', sizeof record.path);
            const qsizetype size =
                nul ? static_cast<const char *>(nul) - path : qsizetype(sizeof record.path);
            found = size > 0 && closed(QByteArrayView(path, size)) == 1;
        });
        if (found)
            return true;
    }
    return false;
}

// The cycles of the wait relation (one edge per train at most): each starts at its smallest id.
std::set<std::vector<quint64>> waitCycles(const std::vector<AttentionTracker::Train> &trains)
{
    std::set<std::vector<quint64>> cycles;
    QHash<quint64, int> indexOf;
    indexOf.reserve(qsizetype(trains.size()));
    for (std::size_t i = 0; i < trains.size(); ++i) {
        if (trains[i].waitsFor != 0)
            indexOf.insert(trains[i].id, int(i));
    }
    // 0 unvisited, 1 on the current walk, 2 done.
    std::vector<std::uint8_t> mark(trains.size(), 0);
    std::vector<int> walkOrder;
    for (std::size_t start = 0; start < trains.size(); ++start) {
        if (trains[start].waitsFor == 0 || mark[start] != 0)
            continue;
        walkOrder.clear();
        int at = int(start);
        while (at >= 0 && mark[std::size_t(at)] == 0) {
            mark[std::size_t(at)] = 1;
            walkOrder.push_back(at);
            at = indexOf.value(trains[std::size_t(at)].waitsFor, -1);
        }
        if (at >= 0 && mark[std::size_t(at)] == 1) {
            const auto from = std::find(walkOrder.begin(), walkOrder.end(), at);
            std::vector<quint64> cycle;
            for (auto i = from; i != walkOrder.end(); ++i)
                cycle.push_back(trains[std::size_t(*i)].id);
            std::rotate(cycle.begin(), std::min_element(cycle.begin(), cycle.end()), cycle.end());
            cycles.insert(std::move(cycle));
        }
        for (const int i : walkOrder)
            mark[std::size_t(i)] = 2;
    }
    return cycles;
}

bool alerting(AttentionTracker::State state)
{
    return state == AttentionTracker::State::Held || state == AttentionTracker::State::Stalled ||
           state == AttentionTracker::State::Locked;
}

} // namespace

const char *stateName(AttentionTracker::State state)
{
    static const char *names[] = {"running", "platform", "held", "stalled", "locked"};
    return names[int(state)];
}

void AttentionTracker::reset()
{
    m_memory.clear();
    m_trains.clear();
    m_previousCycles.clear();
    m_reported.clear();
    m_events.clear();
    std::fill(std::begin(m_counts), std::end(m_counts), 0);
}

void AttentionTracker::update(const SnapshotRecords &records, qint64 nowMs,
                              const ClosedImage &closed)
{
    m_events.clear();
    m_trains.clear();
    std::fill(std::begin(m_counts), std::end(m_counts), 0);
    tables.build(records);

    for (Memory &memory : m_memory)
        memory.seen = false;
    for (quint32 i = 0; i < records.trains.count(); ++i) {
        const SdkTrain &train = records.trains[i];
        if (!(train.flags & SdkTrainPositioned) || tables.trainsById.find(train.id) != int(i))
            continue;
        m_trains.push_back(readTrain(train, nowMs, closed));
    }

    const QHash<quint64, bool> locked = reportCycles(nowMs);
    settleStates(locked, nowMs);
    forgetGone();
    tables.records = nullptr;
}

AttentionTracker::Train AttentionTracker::readTrain(const SdkTrain &train, qint64 nowMs,
                                                    const ClosedImage &closed)
{
    Memory &memory = m_memory[train.id];
    const bool isNew = !memory.seen && memory.stoppedSinceMs < 0 && memory.movingSinceMs < 0;
    memory.seen = true;
    Train result;
    result.id = train.id;
    result.track = train.trackId;
    const bool isStopped = stoppedAt(train, m_settings.stoppedSpeed);
    State raw = memory.state;
    if (isStopped) {
        memory.movingSinceMs = -1;
        if (memory.stoppedSinceMs < 0)
            memory.stoppedSinceMs = nowMs;
        const int track = tables.tracksById.find(train.trackId);
        walk(train, trainWay);
        if (trainWay.needed)
            result.waitsFor = tables.holder(trainWay.steps.back().track, train.id);
        if (track >= 0 && tables.records->tracks[quint32(track)].stationId != 0) {
            raw = State::AtPlatform;
        } else if (nowMs - memory.stoppedSinceMs >= m_settings.stoppedDelayMs ||
                   memory.state == State::Locked) {
            tables.buildSignals();
            raw = closedAhead(trainWay, closed) ? State::Held : State::Stalled;
        }
    } else {
        memory.stoppedSinceMs = -1;
        if (memory.movingSinceMs < 0)
            memory.movingSinceMs = nowMs;
        if (isNew || nowMs - memory.movingSinceMs >= m_settings.movingDelayMs ||
            memory.state == State::Locked)
            raw = State::Running;
    }
    if (isNew) {
        memory.state = raw;
        memory.sinceMs = nowMs;
    }
    result.state = raw;
    result.sinceMs = raw == memory.state ? memory.sinceMs : nowMs;
    return result;
}

QHash<quint64, bool> AttentionTracker::reportCycles(qint64 nowMs)
{
    // Cycles: reported once they hold in two consecutive captures.
    const std::set<std::vector<quint64>> cycles = waitCycles(m_trains);
    std::set<std::vector<quint64>> reported;
    for (const auto &cycle : cycles) {
        if (m_previousCycles.count(cycle))
            reported.insert(cycle);
    }
    for (const auto &cycle : m_reported) {
        if (!reported.count(cycle))
            m_events.push_back({false, State::Locked, cycle.front(), 0, nowMs, cycle});
    }
    for (const auto &cycle : reported) {
        if (!m_reported.count(cycle))
            m_events.push_back({true, State::Locked, cycle.front(), 0, nowMs, cycle});
    }
    QHash<quint64, bool> locked;
    for (const auto &cycle : reported) {
        for (const quint64 train : cycle)
            locked.insert(train, true);
    }
    m_previousCycles = cycles;
    m_reported = std::move(reported);
    return locked;
}

void AttentionTracker::settleStates(const QHash<quint64, bool> &locked, qint64 nowMs)
{
    for (Train &train : m_trains) {
        Memory &memory = m_memory[train.id];
        if (locked.contains(train.id))
            train.state = State::Locked;
        if (train.state != memory.state) {
            if (alerting(memory.state) && memory.state != State::Locked)
                m_events.push_back(
                    {false, memory.state, train.id, train.track, memory.sinceMs, {}});
            // Held and stalled count from the moment the train stopped.
            const qint64 since = (train.state == State::Held || train.state == State::Stalled) &&
                                         memory.stoppedSinceMs >= 0
                                     ? memory.stoppedSinceMs
                                     : nowMs;
            if (alerting(train.state) && train.state != State::Locked)
                m_events.push_back({true, train.state, train.id, train.track, since, {}});
            memory.state = train.state;
            memory.sinceMs = since;
        }
        train.sinceMs = memory.sinceMs;
        ++m_counts[int(train.state)];
    }
}

void AttentionTracker::forgetGone()
{
    // Trains gone from the capture end their alerts.
    for (auto it = m_memory.begin(); it != m_memory.end();) {
        if (it->seen) {
            ++it;
            continue;
        }
        if (alerting(it->state) && it->state != State::Locked)
            m_events.push_back({false, it->state, it.key(), 0, it->sinceMs, {}});
        it = m_memory.erase(it);
    }
}
