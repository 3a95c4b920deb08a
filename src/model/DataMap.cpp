#include "DataMap.h"

#include "DataMapKeys.h"
#include "MapSignalTable.h"

#include <QVariantList>

namespace DataMap {

QVariantMap baseDataMap(const QString &status)
{
    QVariantMap map;
    map.insert(DataMapKeys::statusKey, status);
    map.insert(DataMapKeys::liveKey, false);
    map.insert(DataMapKeys::tracksKey, QVariantList());
    map.insert(DataMapKeys::trainsKey, QVariantList());
    map.insert(DataMapKeys::stationsKey, QVariantList());
    map.insert(DataMapKeys::trackCountKey, 0);
    map.insert(DataMapKeys::stationCountKey, 0);
    map.insert(DataMapKeys::signalCountKey, 0);
    map.insert(DataMapKeys::trainCountKey, 0);
    map.insert(DataMapKeys::baliseCountKey, 0);
    map.insert(DataMapKeys::updatedKey, QString());
    map.insert(DataMapKeys::mapPathKey, QVariantList());
    map.insert(DataMapKeys::pathAvailableKey, false);
    map.insert(DataMapKeys::pathSizeKey, 0);
    map.insert(DataMapKeys::pathStaleKey, false);
    map.insert(DataMapKeys::mapReservationsKey, QVariantList());
    map.insert(DataMapKeys::mapOccupationsKey, QVariantList());
    map.insert(DataMapKeys::reservationsAvailableKey, false);
    map.insert(DataMapKeys::occupationsAvailableKey, false);
    map.insert(DataMapKeys::usageStaleKey, false);
    map.insert(DataMapKeys::selectedTrainIdKey, QString());
    map.insert(DataMapKeys::selectedTrackIdKey, QString());
    map.insert(DataMapKeys::selectedTrainKey, QString());
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
    // Ids travel as sixteen hexadecimal digits: read those directly (the map reads tens of
    // thousands per snapshot), anything else the long way.
    if (text.size() == 16) {
        quint64 id = 0;
        bool digitsOnly = true;
        for (const QChar character : text) {
            const char16_t unit = character.unicode();
            int digit;
            if (unit >= u'0' && unit <= u'9')
                digit = unit - u'0';
            else if (unit >= u'A' && unit <= u'F')
                digit = unit - u'A' + 10;
            else if (unit >= u'a' && unit <= u'f')
                digit = unit - u'a' + 10;
            else {
                digitsOnly = false;
                break;
            }
            id = (id << 4) | quint64(digit);
        }
        if (digitsOnly)
            return id;
    }
    bool ok = false;
    const quint64 id = text.toULongLong(&ok, 16);
    return ok ? id : 0;
}

void clearPath(QVariantMap &map, bool stale)
{
    map.insert(DataMapKeys::mapPathKey, QVariantList());
    map.insert(DataMapKeys::pathAvailableKey, false);
    map.insert(DataMapKeys::pathSizeKey, 0);
    map.insert(DataMapKeys::pathStaleKey, stale);
}

void clearUsage(QVariantMap &map, bool stale)
{
    map.insert(DataMapKeys::mapReservationsKey, QVariantList());
    map.insert(DataMapKeys::mapOccupationsKey, QVariantList());
    map.insert(DataMapKeys::reservationsAvailableKey, false);
    map.insert(DataMapKeys::occupationsAvailableKey, false);
    map.insert(DataMapKeys::usageStaleKey, stale);
}

void expireSignalStates(QVariantMap &map)
{
    static const QString expired = QStringLiteral("Périmé");

    QVariantList tracks = map.value(DataMapKeys::tracksKey).toList();
    for (QVariant &trackEntry : tracks) {
        QVariantMap track = trackEntry.toMap();
        QVariantList signalList = track.value(DataMapKeys::signalsKey).toList();
        for (QVariant &signalEntry : signalList) {
            QVariantMap signal = signalEntry.toMap();
            signal.insert(DataMapKeys::aspectKey, expired);
            signal.insert(DataMapKeys::specificStateKey, QString());
            signal.insert(DataMapKeys::stateAvailableKey, false);
            signal.insert(DataMapKeys::textureUrlKey, QString());
            signal.insert(DataMapKeys::texturePathKey, QString());
            signalEntry = signal;
        }
        track.insert(DataMapKeys::signalsKey, signalList);
        trackEntry = track;
    }
    map.insert(DataMapKeys::tracksKey, tracks);

    // The whole-network table expires by a flag on a copy that shares its entries; a list of map
    // signal entries (written by hand) is rewritten entry by entry.
    const QVariant mapSignals = map.value(DataMapKeys::mapSignalsKey);
    if (mapSignals.metaType() == QMetaType::fromType<MapSignalTable>()) {
        map.insert(DataMapKeys::mapSignalsKey,
                   QVariant::fromValue(MapSignalTable::fromVariant(mapSignals).expired()));
    } else {
        QVariantList entries = mapSignals.toList();
        for (QVariant &entry : entries) {
            QVariantMap signal = entry.toMap();
            signal.insert(DataMapKeys::stateAvailableKey, false);
            signal.insert(DataMapKeys::texturePathKey, QString());
            entry = signal;
        }
        map.insert(DataMapKeys::mapSignalsKey, entries);
    }

    map.insert(DataMapKeys::signalStateCountKey, 0);
    map.insert(DataMapKeys::signalTextureCountKey, 0);
}

} // namespace DataMap
