#include "MapSignalTable.h"

#include "DataMap.h"
#include "DataMapKeys.h"

#include <QDebug>
#include <QVariantList>

MapSignalTable::Builder::Builder(qsizetype expectedEntries) : m_data(std::make_shared<Data>())
{
    m_data->entries.reserve(std::size_t(std::max<qsizetype>(0, expectedEntries)));
}

qint32 MapSignalTable::Builder::addTexturePath(const QString &path)
{
    m_data->texturePaths.append(path);
    return qint32(m_data->texturePaths.size() - 1);
}

MapSignalTable MapSignalTable::Builder::take()
{
    MapSignalTable table;
    table.m_data = std::move(m_data);
    m_data = std::make_shared<Data>();
    return table;
}

QString MapSignalTable::texturePath(qsizetype i) const
{
    const qint32 texture = entry(i).texture;
    return m_expired || texture < 0 ? QString() : m_data->texturePaths.at(texture);
}

MapSignalTable MapSignalTable::expired() const
{
    MapSignalTable copy = *this;
    copy.m_expired = true;
    return copy;
}

QVariantMap MapSignalTable::entryMap(qsizetype i) const
{
    return {{DataMapKeys::baliseKey, balise(i)},
            {DataMapKeys::markerKey, marker(i)},
            {DataMapKeys::stateAvailableKey, stateAvailable(i)},
            {DataMapKeys::texturePathKey, texturePath(i)},
            {DataMapKeys::textureStateKey, textureState(i)},
            {DataMapKeys::trackKey, DataMap::idText(trackId(i))}};
}

QVariantList MapSignalTable::toList() const
{
    QVariantList list;
    list.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        list.append(entryMap(i));
    return list;
}

MapSignalTable MapSignalTable::fromList(const QVariantList &entries)
{
    Builder builder(entries.size());
    QHash<QString, qint32> textures;
    for (const QVariant &value : entries) {
        const QVariantMap map = value.toMap();
        Entry entry;
        entry.track = DataMap::parseIdText(map.value(DataMapKeys::trackKey).toString());
        entry.textureState = map.value(DataMapKeys::textureStateKey).toInt();
        entry.balise = map.value(DataMapKeys::baliseKey).toBool();
        entry.marker = map.value(DataMapKeys::markerKey).toBool();
        entry.stateAvailable = map.value(DataMapKeys::stateAvailableKey).toBool();
        const QString path = map.value(DataMapKeys::texturePathKey).toString();
        if (!path.isEmpty()) {
            auto found = textures.constFind(path);
            if (found == textures.constEnd())
                found = textures.insert(path, builder.addTexturePath(path));
            entry.texture = *found;
        }
        builder.append(entry);
    }
    return builder.take();
}

MapSignalTable MapSignalTable::fromVariant(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<MapSignalTable>())
        return *static_cast<const MapSignalTable *>(value.constData());
    if (value.metaType().id() == QMetaType::QVariantList)
        return fromList(*static_cast<const QVariantList *>(value.constData()));
    return MapSignalTable();
}

bool operator==(const MapSignalTable &a, const MapSignalTable &b)
{
    if (a.size() != b.size())
        return false;
    if (a.m_data == b.m_data && a.m_expired == b.m_expired)
        return true;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const MapSignalTable::Entry &x = a.entry(i), &y = b.entry(i);
        if (x.track != y.track || x.textureState != y.textureState || x.balise != y.balise ||
            x.marker != y.marker || a.stateAvailable(i) != b.stateAvailable(i) ||
            a.texturePath(i) != b.texturePath(i))
            return false;
    }
    return true;
}

QDebug operator<<(QDebug debug, const MapSignalTable &table)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "MapSignalTable(" << table.size() << " entries"
                    << (table.isExpired() ? ", expired" : "") << ')';
    return debug;
}
