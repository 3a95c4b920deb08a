#include "DataMap.h"

#include <QVariantList>

namespace DataMap {

namespace {

// Keys made once: building them from C strings at every insert costs more than the insert.
const QString statusKey = QStringLiteral("status");
const QString liveKey = QStringLiteral("live");
const QString tracksKey = QStringLiteral("tracks");
const QString trainsKey = QStringLiteral("trains");
const QString stationsKey = QStringLiteral("stations");
const QString trackCountKey = QStringLiteral("trackCount");
const QString stationCountKey = QStringLiteral("stationCount");
const QString signalCountKey = QStringLiteral("signalCount");
const QString trainCountKey = QStringLiteral("trainCount");
const QString baliseCountKey = QStringLiteral("baliseCount");
const QString updatedKey = QStringLiteral("updated");
const QString mapPathKey = QStringLiteral("mapPath");
const QString pathAvailableKey = QStringLiteral("pathAvailable");
const QString pathSizeKey = QStringLiteral("pathSize");
const QString pathStaleKey = QStringLiteral("pathStale");
const QString mapReservationsKey = QStringLiteral("mapReservations");
const QString mapOccupationsKey = QStringLiteral("mapOccupations");
const QString reservationsAvailableKey = QStringLiteral("reservationsAvailable");
const QString occupationsAvailableKey = QStringLiteral("occupationsAvailable");
const QString usageStaleKey = QStringLiteral("usageStale");
const QString selectedTrainIdKey = QStringLiteral("selectedTrainId");
const QString selectedTrackIdKey = QStringLiteral("selectedTrackId");
const QString selectedTrainKey = QStringLiteral("selectedTrain");
const QString signalsKey = QStringLiteral("signals");
const QString mapSignalsKey = QStringLiteral("mapSignals");
const QString aspectKey = QStringLiteral("aspect");
const QString specificStateKey = QStringLiteral("specificState");
const QString stateAvailableKey = QStringLiteral("stateAvailable");
const QString textureUrlKey = QStringLiteral("textureUrl");
const QString texturePathKey = QStringLiteral("texturePath");
const QString signalStateCountKey = QStringLiteral("signalStateCount");
const QString signalTextureCountKey = QStringLiteral("signalTextureCount");

} // namespace

QVariantMap baseDataMap(const QString &status)
{
    QVariantMap map;
    map.insert(statusKey, status);
    map.insert(liveKey, false);
    map.insert(tracksKey, QVariantList());
    map.insert(trainsKey, QVariantList());
    map.insert(stationsKey, QVariantList());
    map.insert(trackCountKey, 0);
    map.insert(stationCountKey, 0);
    map.insert(signalCountKey, 0);
    map.insert(trainCountKey, 0);
    map.insert(baliseCountKey, 0);
    map.insert(updatedKey, QString());
    map.insert(mapPathKey, QVariantList());
    map.insert(pathAvailableKey, false);
    map.insert(pathSizeKey, 0);
    map.insert(pathStaleKey, false);
    map.insert(mapReservationsKey, QVariantList());
    map.insert(mapOccupationsKey, QVariantList());
    map.insert(reservationsAvailableKey, false);
    map.insert(occupationsAvailableKey, false);
    map.insert(usageStaleKey, false);
    map.insert(selectedTrainIdKey, QString());
    map.insert(selectedTrackIdKey, QString());
    map.insert(selectedTrainKey, QString());
    return map;
}

QString idText(quint64 id)
{
    static const char16_t digits[] = u"0123456789ABCDEF";
    QString text(16, Qt::Uninitialized);
    QChar *out = text.data();
    for (int i = 15; i >= 0; --i, id >>= 4)
        out[i] = QChar(digits[id & 0xF]);
    return text;
}

quint64 parseIdText(const QString &text)
{
    bool ok = false;
    const quint64 id = text.toULongLong(&ok, 16);
    return ok ? id : 0;
}

void clearPath(QVariantMap &map, bool stale)
{
    map.insert(mapPathKey, QVariantList());
    map.insert(pathAvailableKey, false);
    map.insert(pathSizeKey, 0);
    map.insert(pathStaleKey, stale);
}

void clearUsage(QVariantMap &map, bool stale)
{
    map.insert(mapReservationsKey, QVariantList());
    map.insert(mapOccupationsKey, QVariantList());
    map.insert(reservationsAvailableKey, false);
    map.insert(occupationsAvailableKey, false);
    map.insert(usageStaleKey, stale);
}

void expireSignalStates(QVariantMap &map)
{
    static const QString expired = QStringLiteral("Périmé");

    QVariantList tracks = map.value(tracksKey).toList();
    for (QVariant &trackEntry : tracks) {
        QVariantMap track = trackEntry.toMap();
        QVariantList signalList = track.value(signalsKey).toList();
        for (QVariant &signalEntry : signalList) {
            QVariantMap signal = signalEntry.toMap();
            signal.insert(aspectKey, expired);
            signal.insert(specificStateKey, QString());
            signal.insert(stateAvailableKey, false);
            signal.insert(textureUrlKey, QString());
            signal.insert(texturePathKey, QString());
            signalEntry = signal;
        }
        track.insert(signalsKey, signalList);
        trackEntry = track;
    }
    map.insert(tracksKey, tracks);

    QVariantList mapSignals = map.value(mapSignalsKey).toList();
    for (QVariant &entry : mapSignals) {
        QVariantMap signal = entry.toMap();
        signal.insert(stateAvailableKey, false);
        signal.insert(texturePathKey, QString());
        entry = signal;
    }
    map.insert(mapSignalsKey, mapSignals);

    map.insert(signalStateCountKey, 0);
    map.insert(signalTextureCountKey, 0);
}

} // namespace DataMap
