#include "MapOverlay.h"

#include "DataMapKeys.h"
#include "MapSignalTable.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace {

// A nested map is read in place when it holds the expected type, which spares a reference count
// per entry; any other type goes through the usual conversion.
class MapReader
{
    Q_DISABLE_COPY_MOVE(MapReader)

public:
    explicit MapReader(const QVariant &value)
    {
        if (value.metaType().id() == QMetaType::QVariantMap) {
            m_map = static_cast<const QVariantMap *>(value.constData());
        } else {
            m_converted = value.toMap();
            m_map = &m_converted;
        }
    }

    const QVariantMap &map() const { return *m_map; }

    QString text(const QString &key) const
    {
        const auto found = m_map->constFind(key);
        return found != m_map->constEnd() ? found.value().toString() : QString();
    }

private:
    const QVariantMap *m_map;
    QVariantMap m_converted;
};

QVector<int> usageNodes(const QVariantMap &data, const QString &listKey,
                        const QString &availableKey, const MapNetwork &network)
{
    QVector<int> nodes;
    if (!data.value(DataMapKeys::liveKey).toBool() ||
        data.value(DataMapKeys::usageStaleKey).toBool() || !data.value(availableKey).toBool())
        return nodes;
    const QVariantList entries = data.value(listKey).toList();
    nodes.reserve(entries.size());
    for (const QVariant &entry : entries) {
        const int node = network.indexOfIdText(MapReader(entry).text(DataMapKeys::trackKey));
        if (node >= 0)
            nodes.append(node);
    }
    return nodes;
}

// The signals of "mapSignals", whichever form it holds: the capture's table, read entry by entry
// without any map, or a list of map signal entries (written by hand, or by a QML side). The image
// files go to paths, each once.
QVector<MapOverlay::Signal> readSignalMarks(const QVariant &value, const MapNetwork &network,
                                            QStringList *paths)
{
    QVector<MapOverlay::Signal> marks;
    if (value.metaType() == QMetaType::fromType<MapSignalTable>()) {
        const MapSignalTable table = MapSignalTable::fromVariant(value);
        *paths = table.texturePaths();
        marks.reserve(table.size());
        for (qsizetype i = 0; i < table.size(); ++i) {
            const int node = network.indexOf(table.trackId(i));
            if (node < 0)
                continue;
            const MapSignalTable::Entry &entry = table.entry(i);
            const bool available = table.stateAvailable(i);
            marks.append({node, entry.marker, entry.balise, available, entry.textureState,
                          available && entry.texture >= 0 && entry.texture < paths->size()
                              ? entry.texture
                              : -1});
        }
        return marks;
    }

    const QVariantList signalEntries = value.toList();
    marks.reserve(signalEntries.size());
    QHash<QString, int> pathIndex;
    for (const QVariant &entry : signalEntries) {
        // One walk over the entry's few keys instead of one search per key: this loop runs for
        // every signal of the network.
        MapOverlay::Signal mark{-1, false, false, false, 0, -1};
        QString track;
        QString path;
        const MapReader signal(entry);
        for (auto it = signal.map().cbegin(), end = signal.map().cend(); it != end; ++it) {
            const QString &key = it.key();
            if (key == DataMapKeys::trackKey)
                track = it.value().toString();
            else if (key == DataMapKeys::markerKey)
                mark.marker = it.value().toBool();
            else if (key == DataMapKeys::baliseKey)
                mark.balise = it.value().toBool();
            else if (key == DataMapKeys::stateAvailableKey)
                mark.stateAvailable = it.value().toBool();
            else if (key == DataMapKeys::textureStateKey)
                mark.textureState = it.value().toInt();
            else if (key == DataMapKeys::texturePathKey)
                path = it.value().toString();
        }
        mark.node = network.indexOfIdText(track);
        if (mark.node < 0)
            continue;
        if (mark.stateAvailable) {
            auto known = pathIndex.constFind(path);
            if (known == pathIndex.constEnd()) {
                known = pathIndex.insert(path, int(paths->size()));
                paths->append(path);
            }
            mark.texture = known.value();
        }
        marks.append(mark);
    }

    return marks;
}

// The path's nodes, when the path is shown.
QVector<int> readPathNodes(const QVariantMap &data, const MapNetwork &network)
{
    QVector<int> nodes;
    const QVariantList path = data.value(DataMapKeys::mapPathKey).toList();
    nodes.reserve(path.size());
    for (const QVariant &entry : path) {
        const int node = network.indexOfIdText(entry.toString());
        if (node >= 0)
            nodes.append(node);
    }
    return nodes;
}

// The positioned trains on known tracks, the selected one marked.
QVector<MapOverlay::Train> readTrains(const QVariantMap &data, const MapNetwork &network)
{
    QVector<MapOverlay::Train> trains;
    const QVariant selectedTrainId = data.value(DataMapKeys::selectedTrainIdKey);
    const QVariantList trainEntries = data.value(DataMapKeys::trainsKey).toList();
    trains.reserve(trainEntries.size());
    static const QVariant none;
    for (const QVariant &entry : trainEntries) {
        // One walk over the entry's few keys instead of one search per key, as for the signals.
        const MapReader train(entry);
        bool positioned = false;
        const QVariant *track = &none;
        const QVariant *id = &none;
        MapOverlay::Train read{-1, false, QString()};
        for (auto it = train.map().cbegin(), end = train.map().cend(); it != end; ++it) {
            const QString &key = it.key();
            if (key == DataMapKeys::positionedKey)
                positioned = it.value().toBool();
            else if (key == DataMapKeys::trackKey)
                track = &it.value();
            else if (key == DataMapKeys::idKey)
                id = &it.value();
            else if (key == DataMapKeys::nameKey)
                read.name = it.value().toString();
            else if (key == DataMapKeys::fractionKey)
                read.labelFraction = it.value().toDouble();
            else if (key == DataMapKeys::speedKey)
                read.speed = it.value().toDouble();
            else if (key == DataMapKeys::directionKey)
                read.direction = it.value().toInt();
        }
        read.node = positioned ? network.indexOfIdText(track->toString()) : -1;
        if (read.node < 0)
            continue;
        read.selected = *id == selectedTrainId;
        read.fraction = std::isfinite(read.labelFraction) ? read.labelFraction : 0;
        if (!std::isfinite(read.speed))
            read.speed = 0;
        trains.append(read);
    }
    return trains;
}

// Held, stalled and locked trains, and the cycles through the locked ones.
void readAttention(const QVariantMap &data, const MapNetwork &network, MapOverlay &overlay)
{
    using AttentionState = MapOverlay::AttentionState;
    QHash<QString, int> attentionNodes;
    for (const QVariant &entry : data.value(DataMapKeys::attentionTrainsKey).toList()) {
        const MapReader train(entry);
        const int node = network.indexOfIdText(train.text(DataMapKeys::trackKey));
        const QString state = train.text(DataMapKeys::stateKey);
        if (node < 0)
            continue;
        attentionNodes.insert(train.text(DataMapKeys::idKey), node);
        overlay.attention.append({node, state == QLatin1String("held") ? AttentionState::Held
                                        : state == QLatin1String("stalled")
                                            ? AttentionState::Stalled
                                            : AttentionState::Locked});
    }
    for (const QVariant &entry : data.value(DataMapKeys::deadlocksKey).toList()) {
        QVector<int> loop;
        for (const QString &id : entry.toStringList()) {
            const int node = attentionNodes.value(id, -1);
            if (node >= 0)
                loop.append(node);
        }
        if (loop.size() >= 2)
            overlay.deadlocks.append(loop);
    }
}

// The named stations with tracks, the larger (more tracks) first.
QVector<MapOverlay::Station> readStations(const QVariantList &stationEntries)
{
    QVector<MapOverlay::Station> stations;
    stations.reserve(stationEntries.size());
    for (const QVariant &entry : stationEntries) {
        const MapReader station(entry);
        const double x = station.map().value(DataMapKeys::xKey).toDouble();
        const double y = station.map().value(DataMapKeys::yKey).toDouble();
        const int trackCount = station.map().value(DataMapKeys::trackCountKey).toInt();
        const QString name = station.text(DataMapKeys::nameKey).simplified();
        // A station without tracks has no place, one without a name nothing to show.
        if (!std::isfinite(x) || !std::isfinite(y) || trackCount <= 0 || name.isEmpty())
            continue;
        stations.append({x, y, name, trackCount});
    }
    std::stable_sort(stations.begin(), stations.end(),
                     [](const MapOverlay::Station &a, const MapOverlay::Station &b) {
                         return a.trackCount > b.trackCount;
                     });
    return stations;
}

} // namespace

int MapOverlay::trainNode(const QVariantMap &train, const MapNetwork &network)
{
    if (!train.value(DataMapKeys::positionedKey).toBool())
        return -1;
    return network.indexOfIdText(train.value(DataMapKeys::trackKey).toString());
}

QString MapOverlay::trainLabel(const QVariantMap &train)
{
    return train.value(DataMapKeys::nameKey).toString() + trainLabelTail(train);
}

QString MapOverlay::trainLabelTail(const QVariantMap &train)
{
    return labelTail(train.value(DataMapKeys::fractionKey).toDouble());
}

QString MapOverlay::labelTail(double fraction)
{
    return QStringLiteral(" · ") + QString::number(fraction * 100, 'f', 1) + QLatin1Char('%');
}

MapOverlay MapOverlay::read(const QVariantMap &data, const MapNetwork &network,
                            const MapOverlay *before)
{
    MapOverlay overlay;
    overlay.live = data.value(DataMapKeys::liveKey).toBool();
    overlay.status = data.value(DataMapKeys::statusKey).toString();
    if (network.isEmpty())
        return overlay; // no look-up can succeed

    overlay.pathShown = data.value(DataMapKeys::liveKey).toBool() &&
                        data.value(DataMapKeys::pathAvailableKey).toBool() &&
                        !data.value(DataMapKeys::pathStaleKey).toBool();
    if (overlay.pathShown)
        overlay.pathNodes = readPathNodes(data, network);

    overlay.reservationNodes = usageNodes(data, DataMapKeys::mapReservationsKey,
                                          DataMapKeys::reservationsAvailableKey, network);
    overlay.occupationNodes = usageNodes(data, DataMapKeys::mapOccupationsKey,
                                         DataMapKeys::occupationsAvailableKey, network);

    overlay.signalMarks =
        readSignalMarks(data.value(DataMapKeys::mapSignalsKey), network, &overlay.texturePaths);
    overlay.trains = readTrains(data, network);
    readAttention(data, network, overlay);
    // The capture keeps one station list while the network stays the same.
    overlay.stationSource = data.value(DataMapKeys::mapStationsKey).toList();
    if (before && !before->stationSource.isEmpty() &&
        before->stationSource.isSharedWith(overlay.stationSource))
        overlay.stations = before->stations;
    else
        overlay.stations = readStations(overlay.stationSource);
    return overlay;
}
