#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

class QDebug;

// The whole-network signals of one capture, as one table that the data map carries under
// "mapSignals" (a QVariant holding the table). It holds what the list of map signal entries held
// — per signal its track, balise, marker, state availability, state number and texture path — in
// one block built once per capture and shared by every copy. Copies are cheap and never rewrite
// the block: ageing makes a copy whose entries read as expired (no state, no texture), the rest
// unchanged.
class MapSignalTable
{
    struct Data;

public:
    struct Entry
    {
        quint64 track = 0;
        qint32 textureState = 0;
        qint32 texture = -1; // index into the table's texture paths, -1 = none
        bool balise = false;
        bool marker = false;
        bool stateAvailable = false;
    };

    // Builds one table; the texture paths are kept once each, entries name them by index.
    class Builder
    {
    public:
        explicit Builder(qsizetype expectedEntries = 0);
        // The index of a texture path added now; the caller adds each distinct path once.
        qint32 addTexturePath(const QString &path);
        void append(const Entry &entry) { m_data->entries.push_back(entry); }
        MapSignalTable take();

    private:
        std::shared_ptr<Data> m_data;
    };

    MapSignalTable() = default;

    qsizetype size() const { return m_data ? qsizetype(m_data->entries.size()) : 0; }
    bool isEmpty() const { return size() == 0; }

    // The values of entry i as the map signal entry held them, ageing applied.
    const Entry &entry(qsizetype i) const { return m_data->entries[std::size_t(i)]; }
    quint64 trackId(qsizetype i) const { return entry(i).track; }
    bool balise(qsizetype i) const { return entry(i).balise; }
    bool marker(qsizetype i) const { return entry(i).marker; }
    int textureState(qsizetype i) const { return entry(i).textureState; }
    bool stateAvailable(qsizetype i) const { return !m_expired && entry(i).stateAvailable; }
    QString texturePath(qsizetype i) const;
    // The texture paths that entries name by index (Entry::texture), ageing not applied.
    QStringList texturePaths() const { return m_data ? m_data->texturePaths : QStringList(); }

    // A copy whose states and textures are expired: "stateAvailable" false and "texturePath"
    // empty on every entry. Shares the block.
    MapSignalTable expired() const;
    bool isExpired() const { return m_expired; }

    // Entry i as a map signal entry (6 keys), and the whole table as the list of them.
    QVariantMap entryMap(qsizetype i) const;
    QVariantList toList() const;

    // The table of a list of map signal entries (as a QML side or a test writes them): the same
    // values, tracks read from their id text.
    static MapSignalTable fromList(const QVariantList &entries);
    // The table a data map carries under "mapSignals", whether it holds the table or a list of
    // map signal entries; empty for anything else.
    static MapSignalTable fromVariant(const QVariant &value);

    // Equal when every entry reads the same (the block may differ).
    friend bool operator==(const MapSignalTable &a, const MapSignalTable &b);
    friend bool operator!=(const MapSignalTable &a, const MapSignalTable &b) { return !(a == b); }

private:
    struct Data
    {
        std::vector<Entry> entries;
        QStringList texturePaths;
    };

    std::shared_ptr<const Data> m_data;
    bool m_expired = false;
};

QDebug operator<<(QDebug debug, const MapSignalTable &table);

Q_DECLARE_METATYPE(MapSignalTable)
