#include "MapOverlay.h"

namespace {

const QString keyLive = QStringLiteral("live");
const QString keyPathAvailable = QStringLiteral("pathAvailable");
const QString keyPathStale = QStringLiteral("pathStale");
const QString keyMapPath = QStringLiteral("mapPath");
const QString keyUsageStale = QStringLiteral("usageStale");
const QString keyReservationsAvailable = QStringLiteral("reservationsAvailable");
const QString keyMapReservations = QStringLiteral("mapReservations");
const QString keyOccupationsAvailable = QStringLiteral("occupationsAvailable");
const QString keyMapOccupations = QStringLiteral("mapOccupations");
const QString keyMapSignals = QStringLiteral("mapSignals");
const QString keyTrains = QStringLiteral("trains");
const QString keySelectedTrainId = QStringLiteral("selectedTrainId");
const QString keyTrack = QStringLiteral("track");
const QString keyMarker = QStringLiteral("marker");
const QString keyBalise = QStringLiteral("balise");
const QString keyStateAvailable = QStringLiteral("stateAvailable");
const QString keyTextureState = QStringLiteral("textureState");
const QString keyTexturePath = QStringLiteral("texturePath");
const QString keyPositioned = QStringLiteral("positioned");
const QString keyId = QStringLiteral("id");
const QString keyName = QStringLiteral("name");
const QString keyFraction = QStringLiteral("fraction");

// The nested maps and lists are read in place when they hold the expected type, which spares a
// reference count per entry; any other type goes through the usual conversion.
class MapReader
{
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

    bool boolean(const QString &key) const
    {
        const auto found = m_map->constFind(key);
        return found != m_map->constEnd() && found.value().toBool();
    }

    int integer(const QString &key) const
    {
        const auto found = m_map->constFind(key);
        return found != m_map->constEnd() ? found.value().toInt() : 0;
    }

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
    if (!data.value(keyLive).toBool() || data.value(keyUsageStale).toBool() ||
        !data.value(availableKey).toBool())
        return nodes;
    const QVariantList entries = data.value(listKey).toList();
    nodes.reserve(entries.size());
    for (const QVariant &entry : entries) {
        const int node = network.indexOfIdText(MapReader(entry).text(keyTrack));
        if (node >= 0)
            nodes.append(node);
    }
    return nodes;
}

} // namespace

QString MapOverlay::trainLabel(const QVariantMap &train)
{
    return train.value(keyName).toString() + QStringLiteral(" · ") +
           QString::number(train.value(keyFraction).toDouble() * 100, 'f', 1) + QLatin1Char('%');
}

MapOverlay MapOverlay::read(const QVariantMap &data, const MapNetwork &network)
{
    MapOverlay overlay;
    if (network.isEmpty())
        return overlay; // no look-up can succeed

    overlay.pathShown = data.value(keyLive).toBool() && data.value(keyPathAvailable).toBool() &&
                        !data.value(keyPathStale).toBool();
    if (overlay.pathShown) {
        const QVariantList path = data.value(keyMapPath).toList();
        overlay.pathNodes.reserve(path.size());
        for (const QVariant &entry : path) {
            const int node = network.indexOfIdText(entry.toString());
            if (node >= 0)
                overlay.pathNodes.append(node);
        }
    }

    overlay.reservationNodes =
        usageNodes(data, keyMapReservations, keyReservationsAvailable, network);
    overlay.occupationNodes = usageNodes(data, keyMapOccupations, keyOccupationsAvailable, network);

    const QVariantList signalEntries = data.value(keyMapSignals).toList();
    overlay.signalMarks.reserve(signalEntries.size());
    for (const QVariant &entry : signalEntries) {
        const MapReader signal(entry);
        const int node = network.indexOfIdText(signal.text(keyTrack));
        if (node < 0)
            continue;
        Signal mark;
        mark.node = node;
        mark.marker = signal.boolean(keyMarker);
        mark.balise = signal.boolean(keyBalise);
        mark.stateAvailable = signal.boolean(keyStateAvailable);
        mark.textureState = signal.integer(keyTextureState);
        if (mark.stateAvailable)
            mark.texturePath = signal.text(keyTexturePath);
        overlay.signalMarks.append(mark);
    }

    const QVariant selectedTrainId = data.value(keySelectedTrainId);
    const QVariantList trainEntries = data.value(keyTrains).toList();
    overlay.trains.reserve(trainEntries.size());
    for (const QVariant &entry : trainEntries) {
        const QVariantMap train = entry.toMap();
        if (!train.value(keyPositioned).toBool())
            continue;
        const int node = network.indexOfIdText(train.value(keyTrack).toString());
        if (node < 0)
            continue;
        overlay.trains.append({node, train.value(keyId) == selectedTrainId, trainLabel(train)});
    }
    return overlay;
}
