#include "LiveFeed.h"

#include "DataMapKeys.h"

#include <QJSValue>
#include <QMetaMethod>

namespace {
// Read only by the map item (which takes the Backend's map itself) and the verification runs.
const QString MapOnlyKeys[] = {DataMapKeys::mapGeometryKey, DataMapKeys::mapSignalsKey,
                               DataMapKeys::mapPathKey, DataMapKeys::mapStationsKey};
} // namespace

LiveFeed::LiveFeed(QObject *parent) : QObject(parent), m_trains(this), m_tracks(this) {}

void LiveFeed::setSource(QObject *source)
{
    if (m_source == source)
        return;
    disconnect(m_connection);
    m_source = source;
    if (source) {
        const QMetaObject *meta = source->metaObject();
        const int signalIndex = meta->indexOfSignal("changed()");
        const int slotIndex = metaObject()->indexOfSlot("reload()");
        if (signalIndex >= 0)
            m_connection =
                connect(source, meta->method(signalIndex), this, metaObject()->method(slotIndex));
    }
    reload();
}

QVariantMap LiveFeed::readSourceData(const QObject *source)
{
    if (!source)
        return {};
    const QVariant value = source->property("data");
    if (value.metaType() == QMetaType::fromType<QJSValue>())
        return value.value<QJSValue>().toVariant().toMap();
    return value.toMap();
}

void LiveFeed::reload()
{
    QVariantMap map = readSourceData(m_source);
    m_trains.setRows(map.value(DataMapKeys::trainsKey).toList());
    m_tracks.setRows(map.value(DataMapKeys::tracksKey).toList());
    m_reservationCount = int(map.value(DataMapKeys::mapReservationsKey).toList().size());
    m_occupationCount = int(map.value(DataMapKeys::mapOccupationsKey).toList().size());
    const QVariantList stations = map.value(DataMapKeys::stationsKey).toList();
    const bool stationsDiffer = stations != m_stations;
    if (stationsDiffer)
        m_stations = stations;
    for (const QString &key :
         {DataMapKeys::trainsKey, DataMapKeys::tracksKey, DataMapKeys::stationsKey,
          DataMapKeys::mapReservationsKey, DataMapKeys::mapOccupationsKey})
        map.remove(key);
    for (const QString &key : MapOnlyKeys)
        map.remove(key);
    m_data = map;
    m_live = map.value(DataMapKeys::liveKey).toBool();
    if (stationsDiffer)
        emit stationsChanged();
    emit changed();
}

QVariant LiveFeed::findSignal(const QString &id) const
{
    if (id.isEmpty())
        return {};
    for (const QVariant &track : m_tracks.rows()) {
        const QVariantList trackSignals = track.toMap().value(DataMapKeys::signalsKey).toList();
        for (const QVariant &signal : trackSignals) {
            const QVariantMap signalMap = signal.toMap();
            if (signalMap.value(DataMapKeys::idKey).toString() == id)
                return signalMap;
        }
    }
    return QVariantMap();
}

int LiveFeed::trainRow(const QString &id) const
{
    if (id.isEmpty())
        return -1;
    const QVariantList &rows = m_trains.rows();
    for (qsizetype row = 0; row < rows.size(); ++row) {
        if (rows.at(row).toMap().value(DataMapKeys::idKey).toString() == id)
            return int(row);
    }
    return -1;
}

QString LiveFeed::trainTrack(const QString &id) const
{
    const int row = trainRow(id);
    if (row < 0)
        return {};
    const QVariantMap train = m_trains.rows().at(row).toMap();
    if (!train.value(DataMapKeys::positionedKey).toBool())
        return {};
    return train.value(DataMapKeys::trackKey).toString();
}

QVariantList LiveFeed::stationChoices() const
{
    QVariantList choices{QVariantMap{{DataMapKeys::idKey, QString()},
                                     {DataMapKeys::nameKey, QStringLiteral("Toutes les gares")}}};
    choices.append(m_stations);
    return choices;
}

int LiveFeed::stationChoiceIndex(const QString &id) const
{
    if (id.isEmpty())
        return 0;
    for (qsizetype i = 0; i < m_stations.size(); ++i) {
        if (m_stations.at(i).toMap().value(DataMapKeys::idKey).toString() == id)
            return int(i) + 1;
    }
    return -1;
}

QString LiveFeed::selectedTrainId() const
{
    return m_data.value(DataMapKeys::selectedTrainIdKey).toString();
}
