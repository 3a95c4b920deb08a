// The simulated game and its stand-in library, against real games started by the test. The
// library: the copy protocol and capacities over every list, unavailable usage data, paths,
// sessions on games that stop, two games at once, wrong and released handles, injected faults and
// a scenario read back record for record. The game: its options, whether the worlds it generates
// look and move like a railway while a snapshot stays as it was taken, and its search by name.

#include "GameProcessFinder.h"
#include "RecordWorld.h"
#include "SdkCalls.h"
#include "SdkLoader.h"

#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QtTest>

#include <climits>
#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>

namespace {

using UsageList = std::vector<SdkTrackUsage>;

// Every list of one snapshot, copied at once (unavailable usage reads as empty).
struct Capture : RecordWorld::World
{
    // False when any copy fails, unavailable usage included.
    bool read(SdkSnapshot snapshot)
    {
        SdkStatus status = 0, worst = 0;
        auto get = [&](auto copy, auto &into) {
            into = copyAll(copy, snapshot, &status);
            worst = worst ? worst : status;
        };
        reservations.emplace();
        occupations.emplace();
        get(&ZorvySdk_CopyTrains, trains);
        get(&ZorvySdk_CopyTracks, tracks);
        get(&ZorvySdk_CopyStations, stations);
        get(&ZorvySdk_CopySignals, signalRecords);
        get(&ZorvySdk_CopySignalStates, states);
        get(&ZorvySdk_CopySignalTextures, textures);
        get(&ZorvySdk_CopyTrackNodes, nodes);
        get(&ZorvySdk_CopyTrackReservations, *reservations);
        get(&ZorvySdk_CopyTrackOccupations, *occupations);
        return worst == 0;
    }
    // Reads a new snapshot of the session, released again at once.
    bool take(SdkSession session)
    {
        ScopedSnapshot snapshot;
        return snapshot.capture(session) == 0 && read(snapshot.handle);
    }
};

QByteArrayList allBytes(const RecordWorld::World &w)
{
    return {bytesOf(w.trains),
            bytesOf(w.tracks),
            bytesOf(w.stations),
            bytesOf(w.signalRecords),
            bytesOf(w.states),
            bytesOf(w.textures),
            bytesOf(w.nodes),
            bytesOf(w.reservations.value_or(UsageList())),
            bytesOf(w.occupations.value_or(UsageList()))};
}

// Every list behind one signature, so that one table covers them all.
using AnyCopy = std::function<SdkStatus(SdkSnapshot, void *, uint32_t, uint32_t *)>;
struct List
{
    AnyCopy copy;
    size_t recordSize;
};
template <typename Record> List list(SdkCopyFn<Record> copy)
{
    return {[copy](SdkSnapshot at, void *buffer, uint32_t room, uint32_t *count) {
                return copy(at, static_cast<Record *>(buffer), room, count);
            },
            sizeof(Record)};
}

// The native state of a signal's first state record, INT_MIN when it has none.
int nativeState(const Capture &capture, uint64_t signalId)
{
    const auto &states = capture.states;
    const auto it = std::find_if(states.begin(), states.end(),
                                 [&](const auto &state) { return state.signalId == signalId; });
    return it != states.end() && (it->flags & SdkStateNativeValid) ? it->nativeState : INT_MIN;
}

// One capture of a running railway, with every train's path, read as the trains' situation.
struct Railway : Capture
{
    bool take(SdkSession session)
    {
        ScopedSnapshot snapshot;
        if (snapshot.capture(session) != 0 || !read(snapshot.handle))
            return false;
        SdkStatus status = 0;
        for (const SdkTrain &train : trains)
            paths[train.id] = copyPath(snapshot.handle, train.id, &status);
        return true;
    }
    const SdkTrain *train(uint64_t id) const
    {
        const auto it = std::find_if(trains.begin(), trains.end(),
                                     [&](const SdkTrain &train) { return train.id == id; });
        return it != trains.end() ? &*it : nullptr;
    }
    bool stopped(uint64_t id) const { return train(id) && train(id)->speed == 0; }
    // The native state of the nearest main signal ahead of the train on its track (INT_MIN: none).
    int signalAhead(uint64_t id) const
    {
        const SdkTrain *t = train(id);
        const SdkSignal *nearest = nullptr;
        const int sense = t && t->sense > 0 ? 1 : -1;
        for (const SdkSignal &signal : signalRecords) {
            const double ahead = (signal.fraction - (t ? t->fraction : 0)) * sense;
            if (t && signal.trackId == t->trackId && (signal.sense > 0 ? 1 : -1) == sense &&
                (signal.kind == 2 || signal.kind > 6) && ahead >= 0 &&
                (!nearest || ahead < (nearest->fraction - t->fraction) * sense))
                nearest = &signal;
        }
        return nearest ? nativeState(*this, nearest->id) : INT_MIN;
    }
    // The train that occupies or reserves the first track of the train's path beyond its own
    // track and its reservations; 0 when that track is free.
    uint64_t waitsFor(uint64_t id) const
    {
        std::set<uint64_t> own;
        for (const SdkTrackUsage &u : *reservations)
            own.insert(u.trainId == id ? u.trackId : 0);
        const std::vector<uint64_t> path = paths.value(id);
        const auto next = std::find_if(path.begin(), path.end(),
                                       [&](uint64_t track) { return !own.count(track); });
        for (const auto *usage : {&*reservations, &*occupations}) {
            for (const SdkTrackUsage &u : *usage) {
                if (next != path.end() && u.trackId == *next && u.trainId != id)
                    return u.trainId;
            }
        }
        return 0;
    }
};
} // namespace

Q_DECLARE_METATYPE(List)

class TestSim : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(loadSdk(&error), qPrintable(error));
    }

    void cleanup()
    {
        // Every test releases what it captured, pass or fail, through its scoped handles.
        QCOMPARE(GameProcess::openSnapshotCount(), 0u);
    }

    void scenarioIsReadBackByteForByte()
    {
        const QByteArray name257(257, 'A'), label32(32, 'x'),
            path1024 = '/' + QByteArray(1023, 'p');
        const QByteArray longLabel =
            QByteArray("Ralentissement à 30 km/h puis rappel — ").repeated(3);
        QByteArray json = R"({
 "stations": [{"id": 26, "name": ""}, {"id": "0xFFFFFFFFFFFFFFFE", "nameHex": "@NAME@"},
              {"id": "27", "name": "Lyon-Part-Dieu é"}],
 "tracks": [{"id": 1, "stationId": 26, "speedLimit": 22.5},
            {"id": "18446744073709551615", "stationId": 99}, {"id": 1}],
 "nodes": [{"id": 1, "neighbour1": 2, "x": 0.0, "y": 0.0},
           {"id": 2, "neighbour1": 1, "neighbour2": "0x10", "x": -12.5, "y": 1e6}],
 "trains": [{"id": 5, "name": "IC 12", "trackId": 1, "speed": 12.5, "fraction": 0.457,
             "sense": 1, "flags": 3, "path": [1, 2, "0x3"]},
            {"id": 6, "nameHex": "fffe00", "sense": -1, "flags": 1, "path": []},
            {"id": 7, "name": "sans itinéraire", "flags": 255}],
 "signals": [{"id": 100, "trackId": 1, "fraction": 0.5, "sense": 1, "kind": 2},
             {"id": 101, "trackId": 2, "sense": -5, "kind": 250}],
 "signalStates": [{"signalId": 100, "flags": 6, "nativeState": -1, "label1": "Voie libre",
                   "label2": "VL"}, {"signalId": 100, "flags": 4, "nativeState": 9},
                  {"signalId": 101, "flags": 2, "label1Hex": "@LABEL@", "label2": "@LONG@"}],
 "signalTextures": [{"signalId": 100, "flags": 2, "path": "/absolute/file.png"},
                    {"signalId": 101, "pathHex": "@PATH@"}],
 "reservations": [{"trainId": 5, "trackId": 2, "begin": 0.0, "end": 1.0}],
 "occupations": [{"trainId": 5, "trackId": 1, "begin": 0.3, "end": 0.6},
                 {"trainId": 6, "trackId": 7, "begin": 1.0, "end": 0.0}]})";
        json.replace("@NAME@", name257.toHex()).replace("@LABEL@", label32.toHex());
        json.replace("@LONG@", longLabel).replace("@PATH@", path1024.toHex());

        // What the library must hand out: the records of the tests' own reading of the world.
        const RecordWorld::World expected =
            RecordWorld::fromJson(QJsonDocument::fromJson(json).object());
        QCOMPARE(expected.stations.at(1).name[255], 'A');

        Observed o;
        Capture c;
        QVERIFY(o.start(QString::fromUtf8(json)) && c.read(o.snapshot.handle));
        QCOMPARE(allBytes(c), allBytes(expected));
        SdkStatus status = 1;
        QCOMPARE(copyPath(o.snapshot.handle, 5, &status), (std::vector<uint64_t>{1, 2, 3}));
        QCOMPARE(status, 0u);
        QCOMPARE(copyPath(o.snapshot.handle, 6, &status), std::vector<uint64_t>{});
        QCOMPARE(status, 0u);
    }

    void everyListHonoursTheCopyProtocol_data()
    {
        QTest::addColumn<List>("list");
        QTest::addColumn<uint>("capacity"); // less than the small world has
        QTest::newRow("trains") << list(&ZorvySdk_CopyTrains) << 2u;
        QTest::newRow("tracks") << list(&ZorvySdk_CopyTracks) << 7u;
        QTest::newRow("stations") << list(&ZorvySdk_CopyStations) << 1u;
        QTest::newRow("signals") << list(&ZorvySdk_CopySignals) << 5u;
        QTest::newRow("states") << list(&ZorvySdk_CopySignalStates) << 5u;
        QTest::newRow("textures") << list(&ZorvySdk_CopySignalTextures) << 2u;
        QTest::newRow("nodes") << list(&ZorvySdk_CopyTrackNodes) << 9u;
        QTest::newRow("reservations") << list(&ZorvySdk_CopyTrackReservations) << 1u;
        QTest::newRow("occupations") << list(&ZorvySdk_CopyTrackOccupations) << 1u;
        const AnyCopy firstPath = [](SdkSnapshot at, void *to, uint32_t n, uint32_t *count) {
            SdkStatus status = 0;
            const uint64_t train = copyAll(&ZorvySdk_CopyTrains, at, &status).at(0).id;
            return ZorvySdk_CopyTrainPathTracks(at, train, static_cast<uint64_t *>(to), n, count);
        };
        QTest::newRow("path of the first train") << List{firstPath, sizeof(uint64_t)} << 2u;
    }

    // Probing twice gives the same count while the game moves on, a fill of that many reports that
    // many, and a fill given less room fails, writes no byte past that room, and holds the
    // beginning.
    void everyListHonoursTheCopyProtocol()
    {
        QFETCH(List, list);
        QFETCH(uint, capacity);
        Observed o;
        QVERIFY(o.start(QStringLiteral("--size=small --textures=all")));
        const SdkSnapshot s = o.snapshot.handle;
        const AnyCopy &copy = list.copy;
        uint32_t first = 0, second = 0, count = 0;
        QCOMPARE(copy(s, nullptr, 0, &first), 0u);
        // Until a later snapshot shows the game moved on.
        SdkStatus status = 0;
        const QByteArray trains = bytesOf(copyAll(&ZorvySdk_CopyTrains, s, &status));
        ScopedSnapshot later;
        QTRY_VERIFY_WITH_TIMEOUT(
            later.capture(o.session.handle) == 0 &&
                bytesOf(copyAll(&ZorvySdk_CopyTrains, later.handle, &status)) != trains,
            10000);
        QCOMPARE(copy(s, nullptr, 0, &second), 0u);
        QCOMPARE(second, first);
        QVERIFY2(first > capacity, "the world needs more records than the capacity tried");
        const int room = int(capacity * list.recordSize), guard = int(3 * list.recordSize);
        QByteArray all(int(first * list.recordSize), '\0'), part(room + guard, char(0xA5));
        QCOMPARE(copy(s, all.data(), first, &count), 0u);
        QCOMPARE(count, first);
        QVERIFY2(copy(s, part.data(), capacity, &count) != 0,
                 "a short buffer must not pass for a full copy");
        QCOMPARE(part.mid(room), QByteArray(guard, char(0xA5)));
        QCOMPARE(part.left(room), all.left(room));
    }

    void unavailableUsageAnswersEight_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<bool>("reservations");
        QTest::addColumn<bool>("occupations");
        QTest::newRow("no reservations") << "--size=small --no-reservations" << false << true;
        QTest::newRow("no occupations") << "--size=small --no-occupations" << true << false;
        QTest::newRow("null lists")
            << R"({"reservations": null, "occupations": null})" << false << false;
        QTest::newRow("lists left out") << "{}" << true << true;
    }

    void unavailableUsageAnswersEight()
    {
        QFETCH(QString, options);
        QFETCH(bool, reservations);
        QFETCH(bool, occupations);
        Observed o;
        QVERIFY(o.start(options));
        SdkTrackUsage record{};
        uint32_t count = 0;
        const SdkSnapshot s = o.snapshot.handle;
        QCOMPARE(ZorvySdk_CopyTrackReservations(s, nullptr, 0, &count), reservations ? 0u : 8u);
        if (!reservations)
            QCOMPARE(ZorvySdk_CopyTrackReservations(s, &record, 1, &count), 8u);
        QCOMPARE(ZorvySdk_CopyTrackOccupations(s, nullptr, 0, &count), occupations ? 0u : 8u);
        QCOMPARE(statusText(8), QStringLiteral("Données non disponibles"));
    }

    // Captures back to back while the game rewrites its state a hundred times a second. In each, a
    // positioned train's path starts on its track, runs over tracks that exist, holds the train's
    // reservations, and its occupation lies under it, which a mix of two states would break as soon
    // as a train changes track; a train off the network has no calculated path.
    void pathPerTrainInEveryCapture()
    {
        Observed o;
        QVERIFY(o.start(QStringLiteral("--size=medium --rate=100")));
        for (int i = 0; i < 150; ++i) {
            ScopedSnapshot snapshot;
            Capture c;
            QVERIFY(snapshot.capture(o.session.handle) == 0 && c.read(snapshot.handle));
            std::set<uint64_t> trackIds;
            for (const SdkTrack &track : c.tracks)
                trackIds.insert(track.id);
            int withPath = 0, withoutPath = 0;
            for (const SdkTrain &train : c.trains) {
                SdkStatus status = 0;
                const auto path = copyPath(snapshot.handle, train.id, &status);
                if (!(train.flags & SdkTrainPositioned)) {
                    QVERIFY(status != 0);
                    ++withoutPath;
                    continue;
                }
                QCOMPARE(status, 0u);
                QVERIFY(path.size() >= 2);
                QCOMPARE(path.front(), train.trackId);
                for (uint64_t id : path)
                    QVERIFY(trackIds.count(id));
                for (const SdkTrackUsage &u : *c.reservations)
                    QVERIFY(u.trainId != train.id ||
                            std::count(path.begin(), path.end(), u.trackId));
                bool under = false;
                for (const SdkTrackUsage &u : *c.occupations)
                    under |= u.trainId == train.id && u.trackId == train.trackId &&
                             u.begin <= train.fraction && train.fraction <= u.end;
                QVERIFY2(under,
                         qPrintable(QStringLiteral("train %1, capture %2").arg(train.id).arg(i)));
                ++withPath;
            }
            QVERIFY(withPath > 10 && withoutPath >= 1);
        }
        uint32_t n = 0;
        QVERIFY(ZorvySdk_CopyTrainPathTracks(o.snapshot.handle, 0xBADBADBAD, nullptr, 0, &n) != 0);
    }

    void sessionOnAGameThatExits_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGKILL") << int(SIGKILL); // no region removed: dead must be told from live
    }

    void sessionOnAGameThatExits()
    {
        QFETCH(int, signalNumber);
        const bool killed = signalNumber == SIGKILL;
        Observed o;
        QVERIFY(o.start(QStringLiteral("--size=small")));
        const qint64 processId = o.game.processId();
        const QString region = QStringLiteral("/dev/shm/ZorvyRails-%1").arg(processId);
        QVERIFY(QFile::exists(region));
        SdkStatus status = 1;
        const QByteArray nodes =
            bytesOf(copyAll(&ZorvySdk_CopyTrackNodes, o.snapshot.handle, &status));
        QCOMPARE(status, 0u);

        QCOMPARE(::kill(pid_t(processId), signalNumber), 0);
        QTRY_COMPARE_WITH_TIMEOUT(o.game.processId(), qint64(0), 10000);
        o.game.stop();
        if (!killed) {
            QCOMPARE(o.game.exitCode(), 0); // -1 unless it exited normally
            QVERIFY2(!QFile::exists(region), "the game must remove its region when it stops");
        }
        ScopedSnapshot after;
        const SdkStatus lost = after.capture(o.session.handle);
        QCOMPARE(after.handle, SdkSnapshot(0));
        QCOMPARE(statusText(lost), QStringLiteral("Session perdue : le jeu s'est arrêté"));
        // What was captured stays readable, and the game cannot be opened again.
        QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopyTrackNodes, o.snapshot.handle, &status)), nodes);
        ScopedSession again;
        const SdkStatus reopened = again.open(processId);
        if (killed) // the dead game's leftover
            ::shm_unlink(("/ZorvyRails-" + QByteArray::number(processId)).constData());
        QVERIFY(reopened != 0);
    }

    void twoGamesAtOnceStayApart()
    {
        Observed one, two;
        QVERIFY(one.start(QStringLiteral(R"({"trains": [{"id": 1}]})")));
        QVERIFY(two.start(QStringLiteral(R"({"trains": [{"id": 2}, {"id": 3}]})")));
        // Two threads capture, copy and release on their sessions at once, each seeing its own
        // game.
        std::atomic<int> failures{0};
        auto observe = [&failures](SdkSession session, size_t trainCount) {
            for (int i = 0; i < 100; ++i) {
                ScopedSnapshot snapshot;
                SdkStatus status = snapshot.capture(session);
                if (copyAll(&ZorvySdk_CopyTrains, snapshot.handle, &status).size() != trainCount)
                    ++failures;
            }
        };
        std::thread a(observe, one.session.handle, 1), b(observe, two.session.handle, 2);
        a.join();
        b.join();
        QCOMPARE(failures.load(), 0);

        // Losing one game leaves the other session working.
        one.game.stop();
        ScopedSnapshot lost, still;
        QVERIFY(lost.capture(one.session.handle) != 0);
        QCOMPARE(still.capture(two.session.handle), 0u);
    }

    void wrongHandlesAndPointersGiveStatuses()
    {
        for (qint64 processId :
             {qint64(0), QCoreApplication::applicationPid(), qint64(0x7FFFFFF0)}) {
            ScopedSession session;
            QCOMPARE(statusText(session.open(processId)), QStringLiteral("Jeu introuvable"));
            QCOMPARE(session.handle, SdkSession(0));
        }
        Observed o;
        QVERIFY(o.start(
            QStringLiteral(R"({"tracks": [{"id": 1}], "trains": [{"id": 5, "path": [1]}]})")));
        const SdkSnapshot snapshot = o.snapshot.handle;
        uint32_t count = 0;
        SdkSnapshot captured = 0;
        QVERIFY(ZorvySdk_CaptureSnapshot(0x1234567890ULL, &captured) != 0);
        QCOMPARE(captured, SdkSnapshot(0));
        QVERIFY(ZorvySdk_CaptureSnapshot(o.session.handle, nullptr) != 0);
        // A snapshot handle is no session, and a session handle no snapshot.
        QVERIFY(ZorvySdk_CaptureSnapshot(snapshot, &captured) != 0);
        QVERIFY(ZorvySdk_CopyTracks(o.session.handle, nullptr, 0, &count) != 0);
        // Null count pointers, in a probe and in a fill.
        SdkTrack track{};
        QVERIFY(ZorvySdk_CopyTracks(snapshot, nullptr, 0, nullptr) != 0);
        QVERIFY(ZorvySdk_CopyTracks(snapshot, &track, 1, nullptr) != 0);
        QVERIFY(ZorvySdk_CopyTrainPathTracks(snapshot, 5, nullptr, 0, nullptr) != 0);
        // Only mode 1 is known.
        SdkSession other = 0;
        QVERIFY(ZorvySdk_OpenProcess(2, uint32_t(o.game.processId()), &other) != 0);
        QCOMPARE(other, SdkSession(0));

        // A released snapshot is gone, and counted so; a second release changes nothing, and
        // neither does releasing or closing what never existed.
        SdkSnapshot a = 0;
        QCOMPARE(ZorvySdk_CaptureSnapshot(o.session.handle, &a), 0u);
        QVERIFY(a != 0 && a != snapshot);
        QCOMPARE(GameProcess::openSnapshotCount(), 2u);
        ZorvySdk_ReleaseSnapshot(a);
        QCOMPARE(GameProcess::openSnapshotCount(), 1u);
        QVERIFY(ZorvySdk_CopyTracks(a, nullptr, 0, &count) != 0);
        ZorvySdk_ReleaseSnapshot(a);
        ZorvySdk_ReleaseSnapshot(0xDEADBEEF);
        ZorvySdk_CloseSession(0xDEADBEEF);
        QCOMPARE(GameProcess::openSnapshotCount(), 1u);
        // A closed session is unknown afterwards and leaves its snapshots to their owner.
        const SdkSession closed = o.session.handle;
        o.session.reset();
        QVERIFY(ZorvySdk_CaptureSnapshot(closed, &captured) != 0);
        QCOMPARE(captured, SdkSnapshot(0));
        QCOMPARE(ZorvySdk_CopyTracks(snapshot, nullptr, 0, &count), 0u);
        QCOMPARE(count, 1u);
    }

    // The game can make one copy fail for the tests of the panel (which check lists and lying
    // counts): the path of every train fails, with or without one.
    void failingPathExportFailsForEveryTrain()
    {
        Observed o;
        QVERIFY(o.start(QStringLiteral(R"({"trains": [{"id": 1, "path": [4, 5]}, {"id": 2}],
            "faults": {"failCopy": "ZorvySdk_CopyTrainPathTracks", "failStatus": 12}})")));
        const SdkSnapshot s = o.snapshot.handle;
        uint32_t count = 0;
        uint64_t ids[2] = {};
        QCOMPARE(ZorvySdk_CopyTrainPathTracks(s, 1, nullptr, 0, &count), 12u);
        QCOMPARE(ZorvySdk_CopyTrainPathTracks(s, 1, ids, 2, &count), 12u);
        QCOMPARE(ZorvySdk_CopyTrainPathTracks(s, 2, nullptr, 0, &count), 12u);
        QCOMPARE(ids[0], uint64_t(0));
        SdkStatus status = 1; // other lists are unaffected
        QCOMPARE(copyAll(&ZorvySdk_CopyTrains, s, &status).size(), size_t(2));
        QCOMPARE(status, 0u);
    }

    void sameSeedGivesTheSameWorld()
    {
        auto world = [](const char *seed) {
            Observed o;
            Capture c;
            if (!o.start(QStringLiteral("--size=small --seed=") + QLatin1String(seed)) ||
                !c.read(o.snapshot.handle))
                return QByteArrayList();
            // Trains move with time; their ids and names do not.
            QByteArray trains;
            for (const SdkTrain &train : c.trains)
                trains += QByteArray::number(train.id) + ':' + QByteArray(train.name) + ';';
            return QByteArrayList{bytesOf(c.tracks), bytesOf(c.nodes), bytesOf(c.stations),
                                  bytesOf(c.signalRecords), trains};
        };
        const QByteArrayList a = world("7");
        QVERIFY(a.size() == 5 && !a[0].isEmpty() && !a[4].isEmpty());
        QCOMPARE(world("7"), a);
        QVERIFY(world("8").value(1) != a[1]); // the nodes
    }

    void badArgumentsEndTheGame_data()
    {
        QTest::addColumn<QString>("options"); // or a scenario as JSON text
        // Else the bytes of the scenario file, or "<fifo>", "<folder>", "<huge>" for those.
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("error"); // part of what the game says on standard error
        const QByteArray none;
        const auto row = [](const char *tag, const char *options, const QByteArray &file,
                            const char *error) {
            QTest::newRow(tag) << QString(options) << file << QString(error);
        };
        row("unknown size", "--size=huge", none, "--size must be");
        row("unknown option", "--fly", none, "Unknown option");
        row("missing scenario", "--scenario=/nonexistent/world.json", none, "No such file");
        row("id that is no number", R"({"tracks": [{"id": "0xZZ"}]})", none,
            "tracks[0]: id id \"0xZZ\" is not a number");
        row("hex text that is no hex", R"({"stations": [{"nameHex": "4g"}]})", none,
            "nameHex is not hexadecimal");
        row("running train at a negative speed",
            R"({"running": true, "tracks": [{"id": 1}], "trains": [{"id": 7, "path": [1],)"
            R"( "maxSpeed": -5}]})",
            none, "maxSpeed must be within");
        row("stops that are no list", R"({"running": true, "trains": [{"stops": 3}]})", none,
            "must be a list");

        QFile source(QStringLiteral(ZORVY_SCENARIO_DIR "/circular-deadlock.json"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray scenario = source.readAll();
        QByteArray flipped = scenario;
        for (qsizetype i = 0; i < flipped.size(); i += 97)
            flipped[i] = char(flipped[i] ^ 1);
        row("truncated file", "", scenario.left(scenario.size() / 2), "not a JSON object");
        row("flipped bytes", "", flipped, "not a JSON object");
        row("number beyond a double", "", R"({"nodes": [{"id": 1, "x": 1e999}]})",
            "not a JSON object");
        row("number beyond its field", "", R"({"trains": [{"id": 1, "sense": 1e300}]})",
            "trains[0]: sense must be a whole number");
        row("negative flags", "", R"({"signalTextures": [{"signalId": 1, "flags": -1}]})",
            "flags must be a whole number");
        row("id beyond 64 bits", "", R"({"tracks": [{"id": 1e20}]})",
            "is not a whole number of 64 bits");
        row("huge file", "", "<huge>", "larger than 64 MiB");
        row("FIFO", "", "<fifo>", "not a regular file");
        row("folder", "", "<folder>", "not a regular file");
        const QByteArray line = R"("tracks": [{"id": 1}, {"id": 2}, {"id": 3}], "nodes": [)"
                                R"({"id": 1, "neighbour2": 2}, {"id": 2, "neighbour1": 1,)"
                                R"( "neighbour2": 3}, {"id": 3, "neighbour1": 2}])";
        const auto running = [&](const QByteArray &train) {
            return R"({"running": true, )" + line +
                   R"(, "trains": [{"id": 7, "trackId": 1, "sense": 1, "flags": 3, )" + train +
                   "}]}";
        };
        row("route over an unknown track", "", running(R"("path": [1, 2, 99])"),
            "path names track 99");
        row("route that jumps", "", running(R"("path": [1, 3])"),
            "from track 1 to track 3, which are not linked");
        row("route that turns on one track", "", running(R"("path": [1, 2, 2, 3])"),
            "from track 2 to track 2, which are not linked");
        row("loop that does not come back", "", running(R"("path": [1, 2, 3], "loop": true)"),
            "from track 3 to track 1, which are not linked");
    }

    // Nothing of a bad command line or scenario starts: the game ends at once with one clear
    // error, neither hanging (a FIFO) nor reading without end (a huge file) nor crashing.
    void badArgumentsEndTheGame()
    {
        QFETCH(QString, options);
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QStringList arguments = gameArguments(options, dir.path());
        if (!file.isEmpty()) {
            const QString path = dir.filePath("scenario.json");
            QFile out(path);
            if (file == "<fifo>") {
                QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            } else if (file == "<huge>") {
                QVERIFY(out.open(QIODevice::WriteOnly) && out.resize((qint64(64) << 20) + 1));
            } else if (file != "<folder>") {
                QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
            }
            out.close();
            arguments = {"--scenario", file == "<folder>" ? dir.path() : path};
        }
        QProcess game;
        game.start(QCoreApplication::applicationDirPath() + "/ZorvyRails.exe", arguments);
        QVERIFY(game.waitForFinished(20000));
        QCOMPARE(game.exitStatus(), QProcess::NormalExit);
        QCOMPARE(game.exitCode(), 1);
        const QString errors = QString::fromUtf8(game.readAllStandardError());
        QVERIFY2(errors.contains(error), qPrintable(errors));
        QVERIFY(!game.readAllStandardOutput().contains("ready"));
    }

    void generatedWorldLooksLikeARailway_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("trackTarget");
        QTest::newRow("small") << "small" << 300;
        QTest::newRow("medium") << "medium" << 5000;
    }

    void generatedWorldLooksLikeARailway()
    {
        QFETCH(QString, size);
        QFETCH(int, trackTarget);
        const bool medium = size == QLatin1String("medium");
        Observed o;
        QVERIFY(o.start("--size=" + size));
        Capture w;
        QVERIFY(w.take(o.session.handle));
        const int tracks = int(w.tracks.size());
        QVERIFY2(tracks > trackTarget * 0.7 && tracks < trackTarget * 1.3,
                 qPrintable(QString::number(tracks)));

        // One node per track, carrying its id; links that point somewhere point at nodes, with
        // junctions where three or more links meet, and sidings that end somewhere.
        QCOMPARE(w.nodes.size(), w.tracks.size());
        std::map<uint64_t, std::set<uint64_t>> links; // by track id
        for (size_t i = 0; i < w.nodes.size(); ++i) {
            QCOMPARE(w.nodes[i].id, w.tracks[i].id);
            links[w.nodes[i].id];
        }
        for (const SdkTrackNode &node : w.nodes) {
            for (uint64_t neighbour : {node.neighbour1, node.neighbour2}) {
                if (links.count(neighbour) && neighbour != node.id) {
                    links[node.id].insert(neighbour);
                    links[neighbour].insert(node.id);
                }
            }
        }
        int junctions = 0, bufferStops = 0;
        for (const auto &entry : links) {
            junctions += entry.second.size() >= 3;
            bufferStops += entry.second.size() == 1;
        }
        QVERIFY(junctions >= 4 && bufferStops >= 1);

        // Stations, and tracks in them, outside them, and a few naming a station that is not there.
        std::set<uint64_t> stationIds;
        int unnamed = 0, inStation = 0, outside = 0, missingStation = 0;
        for (const SdkStation &station : w.stations) {
            stationIds.insert(station.id);
            unnamed += station.name[0] == '\0';
        }
        for (const SdkTrack &track : w.tracks) {
            ++(track.stationId == 0                ? outside
               : stationIds.count(track.stationId) ? inStation
                                                   : missingStation);
        }
        QVERIFY(w.stations.size() >= 4 && inStation > 0 && outside > 0);
        QVERIFY(!medium || (unnamed >= 1 && missingStation >= 1));

        // Every train is present (where trains run is checked capture by capture with their
        // paths); usage on tracks that exist, between their ends; signals on tracks that exist.
        QVERIFY(std::all_of(w.trains.begin(), w.trains.end(),
                            [](const auto &train) { return train.flags & SdkTrainPresent; }));
        for (const auto *usage : {&*w.reservations, &*w.occupations}) {
            QVERIFY(!usage->empty());
            for (const SdkTrackUsage &u : *usage)
                QVERIFY(links.count(u.trackId) && u.begin >= 0 && u.begin <= u.end && u.end <= 1);
        }
        std::set<uint32_t> kinds;
        for (const SdkSignal &signal : w.signalRecords) {
            QVERIFY(links.count(signal.trackId));
            kinds.insert(signal.kind);
        }
        // Signals of every kind and a few of unknown kinds, most with states and labels.
        for (uint32_t kind = 0; medium && kind <= 6; ++kind)
            QVERIFY2(kinds.count(kind), qPrintable(QString::number(kind)));
        QVERIFY(!medium || *kinds.rbegin() > 6);
        auto stateShare = [&](uint32_t flag) {
            return std::count_if(w.states.begin(), w.states.end(), [&](const auto &state) {
                       return (state.flags & flag) &&
                              (flag != SdkStateLabelsValid || state.label1[0]);
                   }) > int(w.signalRecords.size() / 2);
        };
        QVERIFY(stateShare(SdkStateNativeValid) && stateShare(SdkStateLabelsValid));
    }

    // Within a few seconds most trains are elsewhere, some signal that does not blink shows
    // another state, and signals blink (states 9 and 10) in step, each state with its own texture;
    // meanwhile the first snapshot still reads as it did.
    void theWorldMovesButNotItsSnapshot()
    {
        Observed o;
        QVERIFY(o.start(QStringLiteral("--size=medium --textures=all")));
        Capture first, later, again;
        QVERIFY(first.read(o.snapshot.handle));
        std::map<uint64_t, std::set<int>> seen; // blinking signals, and the states seen
        std::map<int, std::set<QByteArray>> texturesOfState;
        auto movedOn = [&] {
            if (!later.take(o.session.handle))
                return false;
            int moved = 0;
            for (size_t i = 0; i < first.trains.size() && i < later.trains.size(); ++i) {
                moved += first.trains[i].trackId != later.trains[i].trackId ||
                         first.trains[i].fraction != later.trains[i].fraction;
            }
            std::map<uint64_t, QByteArray> pathOf;
            for (const SdkSignalTexture &texture : later.textures)
                pathOf.emplace(texture.signalId, QByteArray(texture.path));
            std::set<int> blinkingNow;
            bool signalChanged = false;
            for (const SdkSignal &signal : later.signalRecords) {
                const int before = nativeState(first, signal.id),
                          now = nativeState(later, signal.id);
                signalChanged |=
                    before != INT_MIN && now != INT_MIN && before != now && before < 9 && now < 9;
                if (now == 9 || now == 10) {
                    seen[signal.id].insert(now);
                    blinkingNow.insert(now);
                    texturesOfState[now].insert(pathOf[signal.id]);
                }
            }
            if (blinkingNow.size() > 1)
                qFatal("blinking signals out of step");
            return moved > int(first.trains.size()) / 2 && signalChanged &&
                   std::count_if(seen.begin(), seen.end(),
                                 [](const auto &entry) { return entry.second.size() == 2; }) >= 2;
        };
        QTRY_VERIFY_WITH_TIMEOUT(movedOn(), 30000);
        QCOMPARE(texturesOfState[9].size(), size_t(1));
        QCOMPARE(texturesOfState[10].size(), size_t(1));
        QVERIFY(*texturesOfState[9].begin() != *texturesOfState[10].begin());
        QVERIFY(again.read(o.snapshot.handle));
        QCOMPARE(allBytes(again), allBytes(first));
    }

    // Running scenarios through the library: a train held at a signal at stop and then let go, a
    // train stalled on open line, deadlocks whose trains wait for one another in a circle, a
    // queue behind a stalled train; and a generated world whose trains keep moving. A shuttle
    // that keeps running (train 7900) shows that time passes while the others stay put.
    void runningRailway_data()
    {
        QTest::addColumn<QString>("world"); // a file of sim/scenarios, or the game's options
        QTest::addColumn<QString>("expect");
        QTest::addColumn<QList<quint64>>("trains");
        QTest::newRow("held at a signal, then cleared") << "held-at-signal.json"
                                                        << "held" << QList<quint64>{7002};
        QTest::newRow("stalled on open line") << "stalled-outside-station.json"
                                              << "stalled" << QList<quint64>{7001};
        QTest::newRow("two trains face to face on a single line")
            << "single-line-deadlock.json"
            << "cycle" << QList<quint64>{7101, 7102};
        QTest::newRow("three trains round a loop") << "circular-deadlock.json"
                                                   << "cycle" << QList<quint64>{7201, 7202, 7203};
        QTest::newRow("queue behind a stalled train, stalled one first")
            << "queue-behind-stalled-train.json"
            << "queue" << QList<quint64>{7300, 7301, 7302, 7303, 7304, 7305};
        QTest::newRow("generated world") << "--size=small --seed=3"
                                         << "flowing" << QList<quint64>{};
    }

    void runningRailway()
    {
        QFETCH(QString, world);
        QFETCH(QString, expect);
        QFETCH(QList<quint64>, trains);
        constexpr int stopState = 2;
        Observed o;
        const bool scenario = world.endsWith(QLatin1String(".json"));
        QVERIFY(o.start(scenario ? "--scenario=" ZORVY_SCENARIO_DIR "/" + world : world));
        Railway first, now;
        QVERIFY(first.take(o.session.handle));

        if (expect == QLatin1String("flowing")) {
            int positioned = 0;
            for (const SdkTrain &train : first.trains)
                positioned += (train.flags & SdkTrainPositioned) != 0;
            auto mostMoved = [&] {
                int moved = 0;
                for (const SdkTrain &train : first.trains) {
                    const SdkTrain *later = now.train(train.id);
                    moved += (train.flags & SdkTrainPositioned) && later &&
                             (later->trackId != train.trackId || later->fraction != train.fraction);
                }
                return moved > positioned * 2 / 3;
            };
            QTRY_VERIFY_WITH_TIMEOUT(now.take(o.session.handle) && mostMoved(), 20000);
            return;
        }

        auto situation = [&] {
            const uint64_t lead = trains.front();
            bool all = std::all_of(trains.begin(), trains.end(),
                                   [&](uint64_t id) { return now.stopped(id); });
            if (expect == QLatin1String("held"))
                return all && now.signalAhead(lead) == stopState;
            if (expect == QLatin1String("stalled")) {
                const SdkTrain *train = now.train(lead);
                return all && train && now.signalAhead(lead) != stopState && !now.waitsFor(lead) &&
                       std::none_of(now.tracks.begin(), now.tracks.end(), [&](const SdkTrack &t) {
                           return t.id == train->trackId && t.stationId != 0;
                       });
            }
            for (qsizetype i = 0; i < trains.size(); ++i) {
                if (expect == QLatin1String("cycle"))
                    all = all && now.signalAhead(trains[i]) == stopState &&
                          now.waitsFor(trains[i]) == trains[(i + 1) % trains.size()];
                else // a queue: each waits for the one ahead, the first for nothing
                    all = all && now.waitsFor(trains[i]) == (i ? trains[i - 1] : 0);
            }
            return all;
        };
        QTRY_VERIFY_WITH_TIMEOUT(now.take(o.session.handle) && situation(), 60000);

        if (expect == QLatin1String("held")) {
            QTRY_VERIFY_WITH_TIMEOUT(now.take(o.session.handle) && !now.stopped(trains.front()),
                                     60000);
            return;
        }
        // It stays so while the shuttle runs over two more tracks.
        uint64_t shuttleTrack = now.train(7900)->trackId;
        int shuttleMoves = 0;
        auto shuttleMovedOn = [&] {
            if (!now.take(o.session.handle))
                return false;
            const uint64_t track = now.train(7900)->trackId;
            shuttleMoves += track != shuttleTrack;
            shuttleTrack = track;
            return shuttleMoves >= 2;
        };
        QTRY_VERIFY_WITH_TIMEOUT(shuttleMovedOn(), 60000);
        QVERIFY(situation());
    }

    void textureOptions_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("coverage"); // 0: no signal has a texture, 1: most, 2: every one
        QTest::addColumn<bool>("broken");  // the first signal's texture does not decode
        QTest::newRow("all") << "--textures=all" << 2 << false;
        QTest::newRow("most") << "" << 1 << false;
        QTest::newRow("none") << "--textures=none" << 0 << false;
        QTest::newRow("all, one broken") << "--textures=all --broken-texture" << 2 << true;
    }

    void textureOptions()
    {
        QFETCH(QString, options);
        QFETCH(int, coverage);
        QFETCH(bool, broken);
        Observed o;
        QVERIFY(o.start("--size=small " + options));
        Capture world;
        QVERIFY(world.take(o.session.handle));
        std::map<uint64_t, QString> pathOf; // the first record of a signal counts
        for (const SdkSignalTexture &texture : world.textures) {
            if (texture.flags & SdkTexturePathValid)
                pathOf.emplace(texture.signalId, QString::fromUtf8(texture.path));
        }
        std::vector<uint64_t> undecodable;
        for (const auto &[signal, path] : pathOf) {
            QVERIFY(QFileInfo(path).isAbsolute());
            if (QImageReader(path).read().isNull())
                undecodable.push_back(signal);
        }
        const size_t signalCount = world.signalRecords.size(), paths = pathOf.size();
        QCOMPARE(world.textures.empty(), coverage == 0);
        QCOMPARE(paths == signalCount, coverage == 2);
        QVERIFY(coverage != 1 || paths > signalCount / 2);
        QVERIFY(coverage == 0 || paths > undecodable.size()); // some decode
        QCOMPARE(undecodable, broken ? std::vector<uint64_t>{world.signalRecords.front().id}
                                     : std::vector<uint64_t>{});
    }

    // Found by its executable's name whatever the case, and no longer once it has ended.
    void gameFoundByNameIgnoringCase()
    {
        QVERIFY2(GameProcess::runningGames().isEmpty(), "a ZorvyRails.exe not started here runs");
        QTemporaryDir dir;
        const QString renamed = dir.filePath(QStringLiteral("zorvyRAILS.EXE"));
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/ZorvyRails.exe", renamed));
        QProcess game; // its destructor kills the game should the test fail half-way
        game.start(renamed, {QStringLiteral("--size=small")});
        QVERIFY(game.waitForStarted());
        QByteArray output; // the macro evaluates its condition more than once
        QTRY_VERIFY_WITH_TIMEOUT((output += game.readAllStandardOutput()).contains("ready"), 20000);
        const quint32 found = findGameProcess();
        QCOMPARE(qint64(found), game.processId());
        ScopedSession session;
        ScopedSnapshot snapshot;
        QVERIFY(session.open(found) == 0 && snapshot.capture(session.handle) == 0);
        snapshot.reset();
        game.terminate();
        QVERIFY(game.waitForFinished(10000));
        QCOMPARE(findGameProcess(), 0u);
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
