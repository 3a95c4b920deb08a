#include "AttentionMap.h"

#include "DataMap.h"
#include "DataMapKeys.h"
#include "IdIndex.h"
#include "LogCategories.h"
#include "SdkText.h"

#include <QDateTime>
#include <QHash>
#include <QVariantList>

#include <cmath>
#include <limits>

namespace {

// Names and places of the trains an event names, looked up only when a capture has events. No
// table of every track or node is built: a large network has about 100,000 of each, and a capture
// has events several times a second. A track's node is found at the track's own index when the
// lists keep the same order (the usual case), else through an index built once.
class Places
{
public:
    explicit Places(const SnapshotRecords &records) : m_records(records)
    {
        for (quint32 i = 0; i < records.trains.count(); ++i)
            m_trains.insert(records.trains[i].id, i);
        for (quint32 i = 0; i < records.stations.count(); ++i) {
            if (m_stationIndex.contains(records.stations[i].id))
                continue;
            m_stationIndex.insert(records.stations[i].id, int(m_stations.size()));
            QString name = sdkText(records.stations[i].name);
            if (name.isEmpty())
                name = QStringLiteral("Gare ") + DataMap::idText(records.stations[i].id);
            m_stations.push_back({name, 0, 0, 0});
        }
        for (quint32 i = 0; i < records.tracks.count(); ++i) {
            const int station = m_stationIndex.value(records.tracks[i].stationId, -1);
            const SdkTrackNode *node = station >= 0 ? nodeOf(i) : nullptr;
            if (node) {
                Station &s = m_stations[std::size_t(station)];
                s.x += node->x;
                s.y += node->y;
                ++s.count;
            }
        }
    }

    QString trainName(quint64 id) const
    {
        const auto found = m_trains.constFind(id);
        QString name =
            found != m_trains.constEnd() ? sdkText(m_records.trains[*found].name) : QString();
        return name.isEmpty() ? DataMap::idText(id) : name;
    }
    quint64 trackOf(quint64 id) const
    {
        const auto found = m_trains.constFind(id);
        return found != m_trains.constEnd() ? m_records.trains[*found].trackId : 0;
    }

    // The station of the track, or the nearest one and the track (French, for the window).
    QString place(quint64 track, bool french)
    {
        quint32 index = 0;
        while (index < m_records.tracks.count() && m_records.tracks[index].id != track)
            ++index;
        const bool known = index < m_records.tracks.count();
        const int station =
            known ? m_stationIndex.value(m_records.tracks[index].stationId, -1) : -1;
        if (station >= 0)
            return m_stations[std::size_t(station)].name;
        const QString trackText =
            (french ? QStringLiteral("voie ") : QStringLiteral("track ")) + DataMap::idText(track);
        const SdkTrackNode *node = known ? nodeOf(index) : nullptr;
        const Station *nearest = nullptr;
        double best = std::numeric_limits<double>::infinity();
        for (const Station &s : m_stations) {
            if (!node || s.count == 0)
                break;
            const double d = std::hypot(s.x / s.count - node->x, s.y / s.count - node->y);
            if (d < best) {
                best = d;
                nearest = &s;
            }
        }
        if (!nearest)
            return trackText;
        return (french ? QStringLiteral("près de ") : QStringLiteral("near ")) + nearest->name +
               (french ? QStringLiteral(" · ") : QStringLiteral(" ")) + trackText;
    }

private:
    struct Station
    {
        QString name;
        double x, y;
        int count;
    };

    // The node of the track at this index, when it has one with a finite place.
    const SdkTrackNode *nodeOf(quint32 trackIndex)
    {
        const quint64 id = m_records.tracks[trackIndex].id;
        const SdkCopy::RecordBuffer<SdkTrackNode> &nodes = m_records.nodes;
        const SdkTrackNode *node = nullptr;
        if (trackIndex < nodes.count() && nodes[trackIndex].id == id) {
            node = &nodes[trackIndex];
        } else {
            if (!m_nodesIndexed) {
                m_nodesIndexed = true;
                m_nodes.reset(nodes.count());
                for (quint32 i = 0; i < nodes.count(); ++i)
                    m_nodes.insertFirst(nodes[i].id, int(i));
            }
            const int found = m_nodes.find(id);
            node = found >= 0 ? &nodes[quint32(found)] : nullptr;
        }
        return node && std::isfinite(node->x) && std::isfinite(node->y) ? node : nullptr;
    }

    const SnapshotRecords &m_records;
    QHash<quint64, quint32> m_trains;
    QHash<quint64, int> m_stationIndex;
    std::vector<Station> m_stations;
    IdIndex m_nodes;
    bool m_nodesIndexed = false;
};

QString stateKey(AttentionTracker::State state)
{
    return QString::fromLatin1(stateName(state));
}

// A name in a log line, on one line whatever the library's texts hold: control characters, line
// and paragraph separators and directional marks become "?" (bidirectional controls are already
// gone from the library's texts).
QString oneLine(QString text)
{
    for (QChar &c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph || c == QChar(0x200E) || c == QChar(0x200F) ||
            c == QChar(0x061C))
            c = QLatin1Char('?');
    }
    return text;
}

// The events of the last update as the alerts list takes them, each logged as it goes.
QVariantList eventList(const AttentionTracker &tracker, const SnapshotRecords &records,
                       const AttentionMap::Clock &clock)
{
    using State = AttentionTracker::State;
    const qint64 nowMs = clock.nowMs;
    const qint64 wallNow = clock.wallNowMs;
    QVariantList events;
    if (!tracker.events().empty()) {
        Places places(records);
        const QString time =
            QDateTime::fromMSecsSinceEpoch(wallNow).toString(QStringLiteral("HH:mm:ss"));
        for (const AttentionTracker::Event &event : tracker.events()) {
            const bool cycle = !event.cycle.empty();
            const quint64 track = event.track != 0 ? event.track : places.trackOf(event.train);
            QString text;
            QStringList cycleIds;
            if (cycle) {
                QStringList names;
                for (const quint64 id : event.cycle) {
                    names.append(places.trainName(id));
                    cycleIds.append(DataMap::idText(id));
                }
                names.append(names.front());
                cycleIds.append(cycleIds.front());
                text = QStringLiteral("interblocage : ") + names.join(QStringLiteral(" → "));
            } else {
                text = event.state == State::Held ? QStringLiteral("retenu au signal")
                                                  : QStringLiteral("arrêté hors gare");
            }
            const QString stateText = cycle ? QStringLiteral("deadlock") : stateKey(event.state);
            QVariantMap entry{{DataMapKeys::startedKey, event.started},
                              {DataMapKeys::stateKey, stateText},
                              {DataMapKeys::idKey, DataMap::idText(event.train)},
                              {DataMapKeys::nameKey, places.trainName(event.train)},
                              {DataMapKeys::placeKey, places.place(track, true)},
                              {DataMapKeys::textKey, text},
                              {DataMapKeys::timeKey, time},
                              {DataMapKeys::sinceKey, wallNow - (nowMs - event.sinceMs)},
                              {DataMapKeys::cycleKey, cycleIds}};
            if (clock.replay)
                entry.insert(DataMapKeys::replayKey, true);
            events.append(entry);
            qCInfo(LogCategory::attention).noquote().nospace()
                << "ALERT " << (clock.replay ? "replay " : "") << (event.started ? "start" : "end")
                << " train=" << DataMap::idText(event.train) << " state=" << stateText
                << (cycle ? QStringLiteral(" cycle=") + cycleIds.join(QLatin1Char(',')) : QString())
                << " place=" << oneLine(places.place(track, false));
        }
    }
    return events;
}

} // namespace

void AttentionMap::writeSelected(QVariantMap &data, const AttentionTracker::Train *train,
                                 const SnapshotRecords &records, const Clock &clock)
{
    const quint64 selected =
        DataMap::parseIdText(data.value(DataMapKeys::selectedTrainIdKey).toString());
    if (!train || selected == 0 || train->id != selected) {
        data.insert(DataMapKeys::selectedAttentionKey, QVariantMap());
        return;
    }
    QString station;
    for (const SdkTrack &track : records.tracks) {
        if (track.id != train->track)
            continue;
        for (const SdkStation &s : records.stations) {
            if (track.stationId != 0 && s.id == track.stationId) {
                station = sdkText(s.name);
                if (station.isEmpty())
                    station = QStringLiteral("Gare ") + DataMap::idText(s.id);
                break;
            }
        }
        break;
    }
    QString waitsForName;
    for (const SdkTrain &other : records.trains) {
        if (train->waitsFor != 0 && other.id == train->waitsFor) {
            waitsForName = sdkText(other.name);
            break;
        }
    }
    if (train->waitsFor != 0 && waitsForName.isEmpty())
        waitsForName = DataMap::idText(train->waitsFor);
    QVariantMap entry{{DataMapKeys::idKey, DataMap::idText(train->id)},
                      {DataMapKeys::stateKey, stateKey(train->state)},
                      {DataMapKeys::trackKey, DataMap::idText(train->track)},
                      {DataMapKeys::stationKey, station},
                      {DataMapKeys::waitsForKey,
                       train->waitsFor != 0 ? DataMap::idText(train->waitsFor) : QString()},
                      {DataMapKeys::waitsForNameKey, waitsForName},
                      {DataMapKeys::timeKey, clock.wallNowMs}};
    if (train->sinceMs != unknownSince)
        entry.insert(DataMapKeys::sinceKey, clock.wallNowMs - (clock.nowMs - train->sinceMs));
    data.insert(DataMapKeys::selectedAttentionKey, entry);
}

void AttentionMap::write(QVariantMap &data, const AttentionTracker &tracker,
                         const SnapshotRecords &records, const Clock &clock)
{
    using State = AttentionTracker::State;
    const qint64 nowMs = clock.nowMs;
    QVariantMap counts;
    for (const State state :
         {State::Running, State::AtPlatform, State::Held, State::Stalled, State::Locked})
        counts.insert(stateKey(state), tracker.count(state));
    data.insert(DataMapKeys::attentionCountsKey, counts);

    const qint64 wallNow = clock.wallNowMs;
    QVariantList trains;
    for (const AttentionTracker::Train &train : tracker.trains()) {
        if (train.state != State::Held && train.state != State::Stalled &&
            train.state != State::Locked)
            continue;
        trains.append(
            QVariantMap{{DataMapKeys::idKey, DataMap::idText(train.id)},
                        {DataMapKeys::stateKey, stateKey(train.state)},
                        {DataMapKeys::sinceKey, wallNow - (nowMs - train.sinceMs)},
                        {DataMapKeys::trackKey, DataMap::idText(train.track)},
                        {DataMapKeys::waitsForKey,
                         train.waitsFor != 0 ? DataMap::idText(train.waitsFor) : QString()}});
    }
    data.insert(DataMapKeys::attentionTrainsKey, trains);

    QVariantList deadlocks;
    for (const std::vector<quint64> &cycle : tracker.cycles()) {
        QStringList ids;
        for (const quint64 id : cycle)
            ids.append(DataMap::idText(id));
        deadlocks.append(ids);
    }
    data.insert(DataMapKeys::deadlocksKey, deadlocks);

    data.insert(DataMapKeys::attentionEventsKey, eventList(tracker, records, clock));

    const quint64 selected =
        DataMap::parseIdText(data.value(DataMapKeys::selectedTrainIdKey).toString());
    const AttentionTracker::Train *selectedTrain = nullptr;
    for (const AttentionTracker::Train &train : tracker.trains()) {
        if (selected != 0 && train.id == selected) {
            selectedTrain = &train;
            break;
        }
    }
    writeSelected(data, selectedTrain, records, clock);
}
