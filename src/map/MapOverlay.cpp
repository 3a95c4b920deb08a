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
        const int node = network.indexOfIdText(entry.toMap().value(keyTrack).toString());
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
        const QVariantMap signal = entry.toMap();
        const int node = network.indexOfIdText(signal.value(keyTrack).toString());
        if (node < 0)
            continue;
        Signal mark;
        mark.node = node;
        mark.marker = signal.value(keyMarker).toBool();
        mark.balise = signal.value(keyBalise).toBool();
        mark.stateAvailable = signal.value(keyStateAvailable).toBool();
        mark.textureState = signal.value(keyTextureState).toInt();
        if (mark.stateAvailable)
            mark.texturePath = signal.value(keyTexturePath).toString();
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
