#pragma once

// Record lists written by hand, in the scenario format of the simulated game (sim/README.md): the
// same JSON world can be published by a game or turned into records here. FakeLibrary serves a
// world through the library's function table, without any process.

#include "SnapshotRecords.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <cstring>
#include <new>
#include <optional>
#include <vector>

namespace RecordWorld {

struct World
{
    std::vector<SdkTrain> trains;
    std::vector<SdkTrack> tracks;
    std::vector<SdkStation> stations;
    std::vector<SdkSignal> signalRecords;
    std::vector<SdkSignalState> states;
    std::vector<SdkSignalTexture> textures;
    std::vector<SdkTrackNode> nodes;
    QHash<quint64, std::vector<uint64_t>> paths; // only the trains that have a path
    std::optional<std::vector<SdkTrackUsage>> reservations, occupations; // none: status 8
};

inline quint64 idOf(const QJsonValue &value)
{
    if (value.isString()) {
        const QString text = value.toString();
        return text.startsWith("0x") ? text.mid(2).toULongLong(nullptr, 16) : text.toULongLong();
    }
    return quint64(value.toDouble());
}

// The text field `name` (or its raw bytes under `nameHex`) into a fixed array, NUL-terminated
// only when it leaves room.
template <std::size_t N> void setText(char (&array)[N], const QJsonObject &object, const char *name)
{
    const QString hexName = QString::fromLatin1(name) + "Hex";
    const QByteArray bytes = object.contains(hexName)
                                 ? QByteArray::fromHex(object[hexName].toString().toLatin1())
                                 : object[QLatin1String(name)].toString().toUtf8();
    std::memcpy(array, bytes.constData(), std::min<std::size_t>(N, std::size_t(bytes.size())));
}

template <typename Record, typename Fill>
std::vector<Record> listOf(const QJsonValue &list, Fill fill)
{
    std::vector<Record> records;
    for (const QJsonValue &value : list.toArray()) {
        Record record;
        std::memset(static_cast<void *>(&record), 0, sizeof record);
        fill(record, value.toObject());
        records.push_back(record);
    }
    return records;
}

inline std::vector<SdkTrackUsage> usageOf(const QJsonValue &list)
{
    return listOf<SdkTrackUsage>(list, [](SdkTrackUsage &r, const QJsonObject &o) {
        r = {idOf(o["trainId"]), idOf(o["trackId"]), o["begin"].toDouble(), o["end"].toDouble()};
    });
}

inline World fromJson(const QJsonObject &json)
{
    World w;
    w.trains = listOf<SdkTrain>(json["trains"], [&w](SdkTrain &r, const QJsonObject &o) {
        r.id = idOf(o["id"]);
        r.trackId = idOf(o["trackId"]);
        r.speed = o["speed"].toDouble();
        r.fraction = o["fraction"].toDouble();
        r.sense = o["sense"].toInt();
        r.flags = uint32_t(o["flags"].toInt());
        setText(r.name, o, "name");
        if (o.contains("path")) {
            std::vector<uint64_t> &path = w.paths[r.id];
            for (const QJsonValue &track : o["path"].toArray())
                path.push_back(idOf(track));
        }
    });
    w.tracks = listOf<SdkTrack>(json["tracks"], [](SdkTrack &r, const QJsonObject &o) {
        r = {idOf(o["id"]), idOf(o["stationId"]), o["speedLimit"].toDouble()};
    });
    w.stations = listOf<SdkStation>(json["stations"], [](SdkStation &r, const QJsonObject &o) {
        r.id = idOf(o["id"]);
        setText(r.name, o, "name");
    });
    w.signalRecords = listOf<SdkSignal>(json["signals"], [](SdkSignal &r, const QJsonObject &o) {
        r = {idOf(o["id"]), idOf(o["trackId"]), o["fraction"].toDouble(), o["sense"].toInt(),
             uint32_t(o["kind"].toInt())};
    });
    w.states =
        listOf<SdkSignalState>(json["signalStates"], [](SdkSignalState &r, const QJsonObject &o) {
            r.signalId = idOf(o["signalId"]);
            r.flags = uint32_t(o["flags"].toInt());
            r.nativeState = o["nativeState"].toInt();
            setText(r.label1, o, "label1");
            setText(r.label2, o, "label2");
        });
    w.textures = listOf<SdkSignalTexture>(json["signalTextures"],
                                          [](SdkSignalTexture &r, const QJsonObject &o) {
                                              r.signalId = idOf(o["signalId"]);
                                              r.flags = uint32_t(o["flags"].toInt());
                                              setText(r.path, o, "path");
                                          });
    w.nodes = listOf<SdkTrackNode>(json["nodes"], [](SdkTrackNode &r, const QJsonObject &o) {
        r = {idOf(o["id"]), idOf(o["neighbour1"]), idOf(o["neighbour2"]), o["x"].toDouble(),
             o["y"].toDouble()};
    });
    if (!json["reservations"].isNull())
        w.reservations = usageOf(json["reservations"]);
    if (!json["occupations"].isNull())
        w.occupations = usageOf(json["occupations"]);
    return w;
}

template <typename Record>
void assign(SdkCopy::RecordBuffer<Record> &buffer, const std::vector<Record> &records)
{
    buffer.assign(records.data(), quint32(records.size()));
}

// The records a capture of the world gives for a view that follows viewTrain.
inline void toRecords(const World &w, quint64 viewTrain, SnapshotRecords &records)
{
    records.clear();
    assign(records.trains, w.trains);
    assign(records.tracks, w.tracks);
    assign(records.stations, w.stations);
    assign(records.signalRecords, w.signalRecords);
    assign(records.states, w.states);
    assign(records.textures, w.textures);
    assign(records.nodes, w.nodes);
    if (const SdkTrain *train = selectedTrain(records.trains, viewTrain)) {
        records.pathTrain = train->id;
        const auto path = w.paths.constFind(train->id);
        if (path != w.paths.constEnd()) {
            assign(records.path, *path);
            records.pathAvailable = true;
            records.pathSize = quint32(path->size());
        }
    }
    records.reservationsAvailable = w.reservations.has_value();
    if (w.reservations)
        assign(records.reservations, *w.reservations);
    records.occupationsAvailable = w.occupations.has_value();
    if (w.occupations)
        assign(records.occupations, *w.occupations);
}

// The library's function table serving one world. One fake is active at a time; it records the
// calls, can play faults (setFault) and can grow every list between the probe and the fill (the
// library writes what fits and reports the larger count).
class FakeLibrary
{
public:
    explicit FakeLibrary(World world) : m_world(std::move(world)) { s_active = this; }
    ~FakeLibrary() { s_active = nullptr; }
    FakeLibrary(const FakeLibrary &) = delete;
    FakeLibrary &operator=(const FakeLibrary &) = delete;

    QStringList calls;  // export names without the prefix, in call order
    QStringList fills;  // the exports called with a buffer, in call order
    quint32 growth = 0; // records added to every list after its probe
    int openSnapshots = 0;

    // Comma-separated: "<export> <status>" fails that export with the status, "<export> <status>
    // fill" only its call with a buffer; "<export> announces <count>": its probe announces that
    // count (and its fill reports it too); "<export> bad_alloc": its call with a buffer throws
    // std::bad_alloc; "<export> overruns": its fill writes one record past the capacity;
    // "<export> short": its fill writes and reports one record fewer; "no handle": the capture
    // answers success without a snapshot.
    void setFault(const QString &faults)
    {
        for (const QString &fault : faults.split(", ")) {
            const QStringList words = fault.split(' ');
            if (fault == "no handle")
                m_zeroSnapshot = true;
            else if (words[1] == "announces")
                m_announced.insert(words[0], words[2].toUInt());
            else if (words[1] == "bad_alloc")
                m_badAllocOn = words[0];
            else if (words[1] == "overruns" || words[1] == "short")
                m_fillFault.insert(words[0], words[1]);
            else {
                m_failing = words[0];
                m_failStatus = words[1].toUInt();
                m_failOnFill = words.size() > 2;
            }
        }
    }

    static const SdkFunctions &functions()
    {
// A list export: its name and the list of the world it serves.
#define FAKE_LIST(name, list)                                                                      \
    [](SdkSnapshot, auto *buffer, uint32_t capacity, uint32_t *count) {                            \
        return serve(name, s_active->m_world.list, buffer, capacity, count);                       \
    }
        static const SdkFunctions table{&capture,
                                        &release,
                                        FAKE_LIST("CopyTrains", trains),
                                        FAKE_LIST("CopyTracks", tracks),
                                        FAKE_LIST("CopyStations", stations),
                                        FAKE_LIST("CopySignals", signalRecords),
                                        FAKE_LIST("CopySignalStates", states),
                                        FAKE_LIST("CopySignalTextures", textures),
                                        FAKE_LIST("CopyTrackNodes", nodes),
                                        &copyPath,
                                        &copyUsage<&World::reservations>,
                                        &copyUsage<&World::occupations>,
                                        &statusString};
#undef FAKE_LIST
        return table;
    }

private:
    static inline FakeLibrary *s_active = nullptr;

    QString m_failing; // answers m_failStatus, only with a buffer when m_failOnFill
    SdkStatus m_failStatus = 0;
    bool m_failOnFill = false;
    QHash<QString, quint32> m_announced;
    QString m_badAllocOn;
    QHash<QString, QString> m_fillFault;
    bool m_zeroSnapshot = false;

    // The status this call answers, 0 to go on.
    SdkStatus enter(const char *name, bool fill)
    {
        calls.append(QLatin1String(name));
        return m_failing == QLatin1String(name) && (fill || !m_failOnFill) ? m_failStatus : 0;
    }

    template <typename Record>
    static SdkStatus serve(const char *name, const std::vector<Record> &list, Record *buffer,
                           uint32_t capacity, uint32_t *count)
    {
        FakeLibrary &fake = *s_active;
        if (const SdkStatus status = fake.enter(name, buffer != nullptr))
            return status;
        const QString exportName = QLatin1String(name);
        if (!buffer && fake.m_announced.contains(exportName)) {
            *count = fake.m_announced.value(exportName);
            return 0;
        }
        if (buffer) {
            fake.fills.append(exportName);
            if (fake.m_badAllocOn == exportName)
                throw std::bad_alloc();
        }
        std::vector<Record> records = list;
        if (buffer && !records.empty())
            records.insert(records.end(), fake.growth, records.back());
        uint32_t written = std::min<uint32_t>(capacity, uint32_t(records.size()));
        const QString fillFault = buffer ? fake.m_fillFault.value(exportName) : QString();
        if (fillFault == "short")
            --written;
        if (written > 0)
            std::memcpy(static_cast<void *>(buffer), records.data(), written * sizeof(Record));
        if (fillFault == "overruns")
            std::memcpy(static_cast<void *>(buffer + capacity), records.data(), sizeof(Record));
        *count = fillFault == "short"
                     ? written
                     : fake.m_announced.value(exportName, uint32_t(records.size()));
        return 0;
    }

    static SdkStatus capture(SdkSession, SdkSnapshot *snapshot)
    {
        if (const SdkStatus status = s_active->enter("CaptureSnapshot", false))
            return status;
        if (s_active->m_zeroSnapshot) {
            *snapshot = 0;
            return 0;
        }
        ++s_active->openSnapshots;
        *snapshot = 77;
        return 0;
    }
    static void release(SdkSnapshot snapshot)
    {
        s_active->calls.append("ReleaseSnapshot");
        if (snapshot == 77)
            --s_active->openSnapshots;
    }
    static SdkStatus copyPath(SdkSnapshot, uint64_t train, uint64_t *buffer, uint32_t capacity,
                              uint32_t *count)
    {
        const auto path = s_active->m_world.paths.constFind(train);
        if (path == s_active->m_world.paths.constEnd()) {
            s_active->calls.append("CopyTrainPathTracks");
            return 10; // no calculated path
        }
        return serve("CopyTrainPathTracks", *path, buffer, capacity, count);
    }
    template <std::optional<std::vector<SdkTrackUsage>> World::*list>
    static SdkStatus copyUsage(SdkSnapshot, SdkTrackUsage *buffer, uint32_t capacity,
                               uint32_t *count)
    {
        const auto &usage = s_active->m_world.*list;
        const char *name =
            list == &World::reservations ? "CopyTrackReservations" : "CopyTrackOccupations";
        if (!usage) {
            s_active->calls.append(QLatin1String(name));
            return SdkStatusNotAvailable;
        }
        return serve(name, *usage, buffer, capacity, count);
    }
    static const char *statusString(SdkStatus status)
    {
        static QHash<SdkStatus, QByteArray> texts;
        const QByteArray text = "Statut simulé " + QByteArray::number(status);
        return texts.insert(status, text).value().constData();
    }

    World m_world;
};

} // namespace RecordWorld
