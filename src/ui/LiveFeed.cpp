#include "LiveFeed.h"

#include "DataMapKeys.h"

#include <QJSValue>
#include <QMetaMethod>

#include <algorithm>

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
    m_allTrains = map.value(DataMapKeys::trainsKey).toList();
    showTrains();
    m_tracks.setRows(map.value(DataMapKeys::tracksKey).toList());
    m_reservationCount = int(map.value(DataMapKeys::mapReservationsKey).toList().size());
    m_occupationCount = int(map.value(DataMapKeys::mapOccupationsKey).toList().size());
    readTrainDetails(map);
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

void LiveFeed::readTrainDetails(const QVariantMap &map)
{
    m_trainDetails.clear();
    const QString id = map.value(DataMapKeys::selectedTrainIdKey).toString();
    if (id.isEmpty())
        return;
    for (const QVariant &entry : std::as_const(m_allTrains)) {
        if (entry.toMap().value(DataMapKeys::idKey).toString() == id) {
            m_trainDetails.insert(DataMapKeys::trainKey, entry);
            break;
        }
    }
    const QVariantMap attention = map.value(DataMapKeys::selectedAttentionKey).toMap();
    if (attention.value(DataMapKeys::idKey).toString() == id)
        m_trainDetails.insert(QStringLiteral("attention"), attention);
    QStringList reservations;
    for (const QVariant &usage : map.value(DataMapKeys::mapReservationsKey).toList()) {
        const QVariantMap entry = usage.toMap();
        if (entry.value(DataMapKeys::trainKey).toString() == id)
            reservations.append(entry.value(DataMapKeys::trackKey).toString());
    }
    m_trainDetails.insert(QStringLiteral("reservations"), reservations);
    const QVariantList path = map.value(DataMapKeys::mapPathKey).toList();
    m_trainDetails.insert(QStringLiteral("path"), path.mid(0, maxPathShown));
    m_trainDetails.insert(DataMapKeys::pathSizeKey, int(path.size()));
    m_trainDetails.insert(DataMapKeys::pathAvailableKey,
                          map.value(DataMapKeys::pathAvailableKey).toBool());
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
    // Among all trains, also those the search hides from the list.
    if (id.isEmpty())
        return {};
    for (const QVariant &entry : m_allTrains) {
        const QVariantMap train = entry.toMap();
        if (train.value(DataMapKeys::idKey).toString() != id)
            continue;
        return train.value(DataMapKeys::positionedKey).toBool()
                   ? train.value(DataMapKeys::trackKey).toString()
                   : QString();
    }
    return {};
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

void LiveFeed::setTrainSearch(const QString &text)
{
    if (text == m_trainSearch)
        return;
    m_trainSearch = text;
    showTrains();
    emit trainViewChanged();
}

void LiveFeed::setTrainOrder(int order)
{
    if (order < GameOrder || order > StoppedFirst || order == m_trainOrder)
        return;
    m_trainOrder = order;
    showTrains();
    emit trainViewChanged();
}

void LiveFeed::showTrains()
{
    m_trains.setRows(arrangeTrains(m_allTrains, m_trainSearch, m_trainOrder));
}

QString LiveFeed::searchKey(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString key;
    key.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            key.append(c);
    }
    return key.toCaseFolded();
}

QVariantList LiveFeed::arrangeTrains(const QVariantList &trains, const QString &search, int order)
{
    const QString wanted = searchKey(search.trimmed());
    QVariantList shown;
    for (const QVariant &train : trains) {
        if (wanted.isEmpty() ||
            searchKey(train.toMap().value(DataMapKeys::nameKey).toString()).contains(wanted))
            shown.append(train);
    }
    const auto speed = [](const QVariant &train) {
        const QVariantMap map = train.toMap();
        return map.value(DataMapKeys::presentKey).toBool()
                   ? qAbs(map.value(DataMapKeys::speedKey).toDouble())
                   : 0.0;
    };
    switch (order) {
    case ByName:
        std::stable_sort(shown.begin(), shown.end(), [](const QVariant &a, const QVariant &b) {
            return QString::localeAwareCompare(
                       searchKey(a.toMap().value(DataMapKeys::nameKey).toString()),
                       searchKey(b.toMap().value(DataMapKeys::nameKey).toString())) < 0;
        });
        break;
    case BySpeed: // fastest first
        std::stable_sort(shown.begin(), shown.end(),
                         [&](const QVariant &a, const QVariant &b) { return speed(a) > speed(b); });
        break;
    case StoppedFirst: // stopped trains (and those without a speed) first, each group in game order
        std::stable_sort(shown.begin(), shown.end(), [&](const QVariant &a, const QVariant &b) {
            return (speed(a) < 0.05) && !(speed(b) < 0.05);
        });
        break;
    default:
        break;
    }
    return shown;
}
