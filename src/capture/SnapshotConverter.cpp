#include "SnapshotConverter.h"

#include "DataMapKeys.h"
#include "ModelConstants.h"

#include "DataMap.h"
#include "GeometryBlob.h"
#include "IdGroups.h"
#include "IdIndex.h"
#include "MapFiller.h"
#include "MapSignalTable.h"
#include "SdkCopy.h"
#include "SdkText.h"
#include "TrainSelection.h"
#include "ViewChoices.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QTime>
#include <QUrl>
#include <QVariantList>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

constexpr quint64 tracksPerPage = 500;

const QString &kindLabel(uint32_t kind)
{
    static const QString labels[] = {QStringLiteral("Sens unique"), QStringLiteral("Arrêt quai"),
                                     QStringLiteral("Inconnu"),     QStringLiteral("Balise"),
                                     QStringLiteral("Chemin"),      QStringLiteral("Interdiction"),
                                     QStringLiteral("Repère")};
    return kind < std::size(labels) ? labels[kind] : labels[2];
}

// Working tables one thread reuses from conversion to conversion, together with the records being
// converted. Only memory: every table is reset before use, so nothing of a conversion reaches the
// next.
struct ConversionMemory
{
    const SnapshotRecords *records = nullptr;

    IdIndex statesBySignal;   // first state record of a signal
    IdIndex texturesBySignal; // first texture record of a signal
    IdIndex stationsById;     // station record giving the name
    IdIndex nodesById;        // first node record of a track
    IdGroups trainsByTrack;   // positioned trains
    IdGroups signalsByTrack;
    std::vector<quint32> filteredTracks;
    // Signals share a few images (one per state): each distinct texture path is decoded once a
    // conversion, and the whole-network table keeps it once.
    QHash<QByteArrayView, qint32> textureIndex; // raw path in the texture records -> its number
    QStringList texturePaths;                   // decoded paths by number
    // What depends only on the network, which rarely changes: the station list, the stations'
    // places on the map and the geometry blob, with the records they were made from. Records
    // with the same bytes get the same lists and blob again (and the station index above stays
    // as they built it), instead of rebuilding them and allocating megabytes anew.
    struct Network
    {
        bool valid = false;
        QByteArray stationRecords;
        QByteArray trackRecords;
        QByteArray blob; // also the node records
        QVariantList stations;
        std::vector<QString> stationNames;
        QVariantList mapStations;
    } network;
};

thread_local ConversionMemory memory;

// Points the working tables at the records for one conversion and forgets them at its end (the
// texture path keys point into the records).
class ConversionScope
{
public:
    explicit ConversionScope(const SnapshotRecords &records)
    {
        memory.records = &records;
        memory.textureIndex.clear();
        memory.texturePaths.clear();
    }
    ConversionScope(const ConversionScope &) = delete;
    ConversionScope &operator=(const ConversionScope &) = delete;
    ~ConversionScope()
    {
        memory.textureIndex.clear();
        memory.texturePaths.clear();
        memory.records = nullptr;
    }
};

// The smallest and largest id of a list of records, so the id tables can choose their layout.
template <typename Record, typename IdOf>
std::pair<quint64, quint64> idRange(const SdkCopy::RecordBuffer<Record> &records, IdOf idOf)
{
    quint64 low = ~quint64(0), high = 0;
    for (const Record &record : records) {
        const quint64 id = idOf(record);
        low = std::min(low, id);
        high = std::max(high, id);
    }
    return {low, high};
}

// What the state and texture records say about one signal.
struct SignalState
{
    const SdkSignalState *state = nullptr;
    const SdkSignalTexture *texture = nullptr;

    bool nativeAvailable() const { return state && (state->flags & SdkStateNativeValid); }
    // The number of the signal's texture path among the conversion's paths; -1 when it has none
    // (no record, the path not valid, or empty).
    qint32 textureNumber() const;
    QString texturePath() const
    {
        const qint32 number = textureNumber();
        return number >= 0 ? memory.texturePaths.at(number) : QString();
    }
};

qint32 SignalState::textureNumber() const
{
    if (!texture || !(texture->flags & SdkTexturePathValid))
        return -1;
    const char *path = texture->path;
    const void *nul = std::memchr(path, '\0', sizeof texture->path);
    const QByteArrayView bytes(path, nul ? static_cast<const char *>(nul) - path
                                         : qsizetype(sizeof texture->path));
    if (bytes.isEmpty())
        return -1;
    auto found = memory.textureIndex.constFind(bytes);
    if (found == memory.textureIndex.constEnd()) {
        memory.texturePaths.append(sdkText(path, std::size_t(bytes.size())));
        found = memory.textureIndex.insert(bytes, qint32(memory.texturePaths.size() - 1));
    }
    return *found;
}

SignalState signalStateOf(const SdkSignal &signal)
{
    SignalState result;
    const int state = memory.statesBySignal.find(signal.id);
    if (state >= 0)
        result.state = &memory.records->states[quint32(state)];
    const int texture = memory.texturesBySignal.find(signal.id);
    if (texture >= 0)
        result.texture = &memory.records->textures[quint32(texture)];
    return result;
}

QVariantMap trainMap(const SdkTrain &train)
{
    static const QVariantMap prototype =
        mapPrototype({&DataMapKeys::directionKey, &DataMapKeys::fractionKey, &DataMapKeys::idKey,
                      &DataMapKeys::nameKey, &DataMapKeys::positionedKey, &DataMapKeys::presentKey,
                      &DataMapKeys::speedKey, &DataMapKeys::trackKey});
    const bool positioned = train.flags & SdkTrainPositioned;
    return MapFiller(prototype)
        .set(DataMapKeys::directionKey, int(train.sense))
        .set(DataMapKeys::fractionKey, train.fraction)
        .set(DataMapKeys::idKey, DataMap::idText(train.id))
        .set(DataMapKeys::nameKey, sdkText(train.name))
        .set(DataMapKeys::positionedKey, positioned)
        .set(DataMapKeys::presentKey, (train.flags & SdkTrainPresent) != 0)
        .set(DataMapKeys::speedKey, train.speed * 3.6)
        .set(DataMapKeys::trackKey, positioned ? DataMap::idText(train.trackId) : QString())
        .take();
}

// The full signal map, built only for the signals of the tracks on the page.
QVariantMap signalMap(const SdkSignal &signal)
{
    static const QString unknownAspect = QStringLiteral("Inconnu");
    static const QString nativeAspect = QStringLiteral("État natif %1");

    const SignalState state = signalStateOf(signal);
    const bool native = state.nativeAvailable();
    const QString texturePath = state.texturePath();
    QString specificState;
    if (state.state && (state.state->flags & SdkStateLabelsValid))
        specificState =
            sdkText(state.state->label1) + QLatin1Char(':') + sdkText(state.state->label2);

    static const QVariantMap prototype = mapPrototype(
        {&DataMapKeys::aspectKey, &DataMapKeys::baliseKey, &DataMapKeys::directionKey,
         &DataMapKeys::fractionKey, &DataMapKeys::idKey, &DataMapKeys::kindKey,
         &DataMapKeys::markerKey, &DataMapKeys::specificStateKey, &DataMapKeys::stateAvailableKey,
         &DataMapKeys::texturePathKey, &DataMapKeys::textureUrlKey});
    return MapFiller(prototype)
        .set(DataMapKeys::aspectKey,
             native ? nativeAspect.arg(state.state->nativeState) : unknownAspect)
        .set(DataMapKeys::baliseKey, signal.kind == SignalKind::balise)
        .set(DataMapKeys::directionKey, int(signal.sense))
        .set(DataMapKeys::fractionKey, signal.fraction)
        .set(DataMapKeys::idKey, DataMap::idText(signal.id))
        .set(DataMapKeys::kindKey, kindLabel(signal.kind))
        .set(DataMapKeys::markerKey, signal.kind == SignalKind::marker)
        .set(DataMapKeys::specificStateKey, specificState)
        .set(DataMapKeys::stateAvailableKey, native)
        .set(DataMapKeys::texturePathKey, texturePath)
        .set(DataMapKeys::textureUrlKey,
             texturePath.isEmpty() ? QString() : QUrl::fromLocalFile(texturePath).toString())
        .take();
}

bool passesFilter(const SdkTrack &track, const ViewParameters &view)
{
    if (view.station != 0 && view.station != track.stationId)
        return false;
    switch (view.scope) {
    case ListScope::Trains:
        return memory.trainsByTrack.contains(track.id);
    case ListScope::WithSignals:
        return memory.signalsByTrack.contains(track.id);
    case ListScope::Selection:
        return track.id == view.track;
    default:
        return true;
    }
}

// The first state and texture record of a signal win; later ones change nothing.
void indexStatesAndTextures(ConversionMemory &m)
{
    const auto [lowState, highState] =
        idRange(m.records->states, [](const SdkSignalState &r) { return r.signalId; });
    m.statesBySignal.reset(m.records->states.count(), lowState, highState);
    for (quint32 i = 0; i < m.records->states.count(); ++i)
        m.statesBySignal.insertFirst(m.records->states[i].signalId, int(i));
    const auto [lowTexture, highTexture] =
        idRange(m.records->textures, [](const SdkSignalTexture &r) { return r.signalId; });
    m.texturesBySignal.reset(m.records->textures.count(), lowTexture, highTexture);
    for (quint32 i = 0; i < m.records->textures.count(); ++i)
        m.texturesBySignal.insertFirst(m.records->textures[i].signalId, int(i));
}

// The station maps, in library order; an unnamed station is called after its id. Also fills the
// station index and the display names the track maps use.
QVariantList stationList(ConversionMemory &m, std::vector<QString> &names)
{
    static const QVariantMap prototype = mapPrototype({&DataMapKeys::idKey, &DataMapKeys::nameKey});
    QVariantList stations;
    stations.reserve(m.records->stations.count());
    names.assign(m.records->stations.count(), QString());
    const auto [low, high] = idRange(m.records->stations, [](const SdkStation &r) { return r.id; });
    m.stationsById.reset(m.records->stations.count(), low, high);
    for (quint32 i = 0; i < m.records->stations.count(); ++i) {
        const SdkStation &station = m.records->stations[i];
        const QString id = DataMap::idText(station.id);
        QString name = sdkText(station.name);
        if (name.isEmpty())
            name = QStringLiteral("Gare ") + id;
        names[i] = name;
        m.stationsById.insertOrAssign(station.id, int(i));
        stations.append(MapFiller(prototype)
                            .set(DataMapKeys::idKey, id)
                            .set(DataMapKeys::nameKey, name)
                            .take());
    }
    return stations;
}

// Where the map names each station: the middle of the nodes of its tracks, for the stations that
// have tracks with a node, in library order. Needs the nodes and the station index.
QVariantList mapStationList(ConversionMemory &m, const std::vector<QString> &names)
{
    static const QVariantMap prototype =
        mapPrototype({&DataMapKeys::nameKey, &DataMapKeys::xKey, &DataMapKeys::yKey,
                      &DataMapKeys::trackCountKey});
    const auto [low, high] = idRange(m.records->nodes, [](const SdkTrackNode &r) { return r.id; });
    m.nodesById.reset(m.records->nodes.count(), low, high);
    for (quint32 i = 0; i < m.records->nodes.count(); ++i)
        m.nodesById.insertFirst(m.records->nodes[i].id, int(i));
    struct Sum
    {
        double x = 0, y = 0;
        int count = 0;
    };
    std::vector<Sum> sums(m.records->stations.count());
    for (const SdkTrack &track : m.records->tracks) {
        if (track.stationId == 0)
            continue;
        const int station = m.stationsById.find(track.stationId);
        const int node = m.nodesById.find(track.id);
        if (station < 0 || node < 0)
            continue;
        const SdkTrackNode &record = m.records->nodes[quint32(node)];
        if (!std::isfinite(record.x) || !std::isfinite(record.y))
            continue;
        Sum &sum = sums[std::size_t(station)];
        sum.x += record.x;
        sum.y += record.y;
        ++sum.count;
    }
    QVariantList list;
    for (std::size_t i = 0; i < sums.size(); ++i) {
        const Sum &sum = sums[i];
        if (sum.count == 0)
            continue;
        list.append(MapFiller(prototype)
                        .set(DataMapKeys::nameKey, names[i])
                        .set(DataMapKeys::xKey, sum.x / sum.count)
                        .set(DataMapKeys::yKey, sum.y / sum.count)
                        .set(DataMapKeys::trackCountKey, sum.count)
                        .take());
    }
    return list;
}

// The train maps of all trains, in library order; the positioned ones are also grouped by track.
QVariantList trainList(ConversionMemory &m, int *positionedCount)
{
    quint64 lowTrack = ~quint64(0), highTrack = 0;
    for (const SdkTrain &train : m.records->trains) {
        if (train.flags & SdkTrainPositioned) {
            lowTrack = std::min<quint64>(lowTrack, train.trackId);
            highTrack = std::max<quint64>(highTrack, train.trackId);
        }
    }
    m.trainsByTrack.reset(m.records->trains.count(), lowTrack, highTrack);
    QVariantList trains;
    trains.reserve(m.records->trains.count());
    *positionedCount = 0;
    for (quint32 i = 0; i < m.records->trains.count(); ++i) {
        const SdkTrain &train = m.records->trains[i];
        trains.append(trainMap(train));
        if (train.flags & SdkTrainPositioned) {
            ++*positionedCount;
            m.trainsByTrack.add(train.trackId, int(i));
        }
    }
    return trains;
}

template <typename Record> QByteArrayView bytesOf(const SdkCopy::RecordBuffer<Record> &records)
{
    return QByteArrayView(reinterpret_cast<const char *>(records.begin()),
                          qsizetype(records.count()) * qsizetype(sizeof(Record)));
}

// The parts that depend only on the network, made again only when its records changed.
const ConversionMemory::Network &networkParts(ConversionMemory &m)
{
    ConversionMemory::Network &n = m.network;
    const QByteArrayView stations = bytesOf(m.records->stations);
    const QByteArrayView tracks = bytesOf(m.records->tracks);
    const QByteArrayView nodes = bytesOf(m.records->nodes);
    if (n.valid && stations == QByteArrayView(n.stationRecords) &&
        tracks == QByteArrayView(n.trackRecords) && nodes == QByteArrayView(n.blob))
        return n;
    n.valid = false;
    n.stations = stationList(m, n.stationNames);
    n.mapStations = mapStationList(m, n.stationNames);
    n.stationRecords = stations.toByteArray();
    n.trackRecords = tracks.toByteArray();
    if (nodes != QByteArrayView(n.blob))
        n.blob = GeometryBlob::fromNodes(m.records->nodes.begin(), m.records->nodes.count());
    n.valid = true;
    return n;
}

struct SignalCounts
{
    int balises = 0;
    int nativeStates = 0;
    int textures = 0;
};

// The whole-network table of all signals, in library order, with the signal counters; the signals
// are also grouped by track. The full signal maps wait until the page is known, since only its
// tracks show them.
MapSignalTable mapSignalTable(ConversionMemory &m, SignalCounts *counts)
{
    const auto [lowTrack, highTrack] =
        idRange(m.records->signalRecords, [](const SdkSignal &r) { return r.trackId; });
    m.signalsByTrack.reset(m.records->signalRecords.count(), lowTrack, highTrack);
    MapSignalTable::Builder table(m.records->signalRecords.count());
    for (quint32 i = 0; i < m.records->signalRecords.count(); ++i) {
        const SdkSignal &signal = m.records->signalRecords[i];
        const SignalState state = signalStateOf(signal);
        MapSignalTable::Entry entry;
        entry.track = signal.trackId;
        entry.balise = signal.kind == SignalKind::balise;
        entry.marker = signal.kind == SignalKind::marker;
        entry.stateAvailable = state.nativeAvailable();
        entry.textureState = entry.stateAvailable ? state.state->nativeState : 0;
        entry.texture = state.textureNumber();
        counts->balises += entry.balise;
        counts->nativeStates += entry.stateAvailable;
        counts->textures += entry.texture >= 0;
        m.signalsByTrack.add(signal.trackId, int(i));
        table.append(entry);
    }
    for (const QString &path : std::as_const(m.texturePaths))
        table.addTexturePath(path); // numbered in the same order
    return table.take();
}

QVariantMap trackMap(const SdkTrack &track, const ConversionMemory &m, const QVariantList &trains,
                     const std::vector<QString> &stationNames)
{
    static const QString outsideStation = QStringLiteral("Hors gare");
    static const QVariantMap prototype = mapPrototype(
        {&DataMapKeys::idKey, &DataMapKeys::limitKey, &DataMapKeys::signalsKey,
         &DataMapKeys::stationKey, &DataMapKeys::stationIdKey, &DataMapKeys::trainsKey});
    QString stationId;
    QString stationName = outsideStation;
    if (track.stationId != 0) {
        // A station the snapshot does not list keeps its id but shows no name.
        const int station = m.stationsById.find(track.stationId);
        stationId = DataMap::idText(track.stationId);
        stationName = station >= 0 ? stationNames[std::size_t(station)] : QString();
    }
    QVariantList trackTrains;
    m.trainsByTrack.forEach(track.id, [&](int train) { trackTrains.append(trains.at(train)); });
    QVariantList trackSignals;
    m.signalsByTrack.forEach(track.id, [&](int signal) {
        trackSignals.append(signalMap(m.records->signalRecords[quint32(signal)]));
    });
    return MapFiller(prototype)
        .set(DataMapKeys::idKey, DataMap::idText(track.id))
        .set(DataMapKeys::limitKey, track.speedLimit * 3.6)
        .set(DataMapKeys::signalsKey, trackSignals)
        .set(DataMapKeys::stationKey, stationName)
        .set(DataMapKeys::stationIdKey, stationId)
        .set(DataMapKeys::trainsKey, trackTrains)
        .take();
}

struct TrackPage
{
    QVariantList tracks;
    quint64 filtered = 0;
    quint64 page = 0;
    quint64 pages = 1;
};

// The tracks that pass the view's filter, in library order, and the requested page of them,
// clamped to the last page.
TrackPage trackPage(ConversionMemory &m, const ViewParameters &view, const QVariantList &trains,
                    const std::vector<QString> &stationNames)
{
    m.filteredTracks.clear();
    for (quint32 i = 0; i < m.records->tracks.count(); ++i) {
        if (passesFilter(m.records->tracks[i], view))
            m.filteredTracks.push_back(i);
    }
    TrackPage result;
    result.filtered = m.filteredTracks.size();
    result.pages = std::max<quint64>(1, (result.filtered + tracksPerPage - 1) / tracksPerPage);
    // On unsigned numbers a negative request is past the end too and gives the last page.
    result.page = std::min<quint64>(quint64(qint64(view.page)), result.pages - 1);
    const quint64 end = std::min<quint64>((result.page + 1) * tracksPerPage, result.filtered);
    for (quint64 f = result.page * tracksPerPage; f < end; ++f)
        result.tracks.append(
            trackMap(m.records->tracks[m.filteredTracks[f]], m, trains, stationNames));
    return result;
}

} // namespace

QVariantMap convertRecords(const SnapshotRecords &records, quint32 processId,
                           const ViewParameters &view)
{
    const ConversionScope scope(records);
    ConversionMemory &m = memory;
    indexStatesAndTextures(m);

    const ConversionMemory::Network &network = networkParts(m);
    const std::vector<QString> &stationNames = network.stationNames;
    int positionedCount = 0;
    const QVariantList trains = trainList(m, &positionedCount);
    SignalCounts signalCounts;
    const MapSignalTable mapSignals = mapSignalTable(m, &signalCounts);
    const TrackPage page = trackPage(m, view, trains, stationNames);

    QVariantMap data =
        DataMap::baseDataMap(QStringLiteral("Connecté · PID ") + QString::number(processId));
    data.insert(DataMapKeys::liveKey, true);
    data.insert(DataMapKeys::trainsKey, trains);
    data.insert(DataMapKeys::stationsKey, network.stations);
    data.insert(DataMapKeys::tracksKey, page.tracks);
    data.insert(DataMapKeys::trackCountKey, int(records.tracks.count()));
    data.insert(DataMapKeys::stationCountKey, int(records.stations.count()));
    data.insert(DataMapKeys::trainCountKey, int(records.trains.count()));
    data.insert(DataMapKeys::signalCountKey, int(records.signalRecords.count()));
    data.insert(DataMapKeys::baliseCountKey, signalCounts.balises);
    data.insert(DataMapKeys::signalStateCountKey, signalCounts.nativeStates);
    data.insert(DataMapKeys::signalTextureCountKey, signalCounts.textures);
    data.insert(DataMapKeys::positionedCountKey, positionedCount);
    data.insert(DataMapKeys::filteredCountKey, int(page.filtered));
    data.insert(DataMapKeys::pageKey, int(page.page));
    data.insert(DataMapKeys::pagesKey, int(page.pages));
    data.insert(DataMapKeys::viewRevisionKey, QVariant::fromValue<quint64>(view.revision));
    data.insert(DataMapKeys::mapSignalsKey, QVariant::fromValue(mapSignals));
    data.insert(DataMapKeys::mapGeometryKey, network.blob);
    data.insert(DataMapKeys::mapStationsKey, network.mapStations);

    const SdkTrain *selected = selectedTrain(records.trains, view.train);
    TrainSelection::writeSelection(data, selected);
    TrainSelection::writePath(data, records, selected);
    TrainSelection::writeUsage(data, records, selected);
    data.insert(DataMapKeys::usageStaleKey, false);
    return data;
}

QVariantMap convertSnapshot(const SdkFunctions &library, SdkSession session, quint32 processId,
                            const ViewParameters &view, SnapshotRecords &records,
                            const RecordsReader &readRecords, RecordSink *sink)
{
    QElapsedTimer elapsed;
    elapsed.start();
    const qint64 startMs = QDateTime::currentMSecsSinceEpoch();
    QVariantMap data;
    try {
        if (sink)
            reuseSharedMemory(records);
        records.capture(library, session, view.train);
        data = convertRecords(records, processId, view);
        if (readRecords)
            readRecords(records, data);
        if (sink)
            sink->take(moveToShared(records, startMs, elapsed.elapsed(), processId));
        records.clear();
    } catch (const std::bad_alloc &) {
        // What this capture built is gone with the exception; the records' memory goes too, so
        // that the next capture starts from nothing.
        records = SnapshotRecords();
        throw std::runtime_error(
            QStringLiteral("Capture abandonnée : mémoire insuffisante pour convertir la capture")
                .toStdString());
    }
    const qint64 captureMs = elapsed.elapsed();
    stampCapture(data, captureMs, startMs + captureMs);
    return data;
}

void stampCapture(QVariantMap &data, qint64 captureMs, qint64 timeMs)
{
    data.insert(DataMapKeys::captureMsKey, QVariant::fromValue<qint64>(captureMs));
    data.insert(DataMapKeys::updatedKey, QDateTime::fromMSecsSinceEpoch(timeMs).time().toString(
                                             QStringLiteral("HH:mm:ss.zzz")));
}

QVariantMap convertSnapshot(SdkSession session, quint32 processId, const ViewParameters &view)
{
    thread_local SnapshotRecords records;
    return convertSnapshot(SdkFunctions::library(), session, processId, view, records);
}
