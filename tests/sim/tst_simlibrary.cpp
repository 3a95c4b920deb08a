// The stand-in library's contract, checked against real running games started by the test (by
// process id, so no lock is needed): the copy protocol, capacities, immutability and release of
// snapshots, unavailable usage data, paths, sessions on games that stop, several games at once,
// wrong handles, and a scenario read back record for record.

#include "GameProcess.h"
#include "SdkCalls.h"
#include "SdkLoader.h"

#include <QJsonArray>
#include <QLibrary>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <sys/mman.h>
#include <thread>

namespace {

template <size_t N> void setText(char (&array)[N], const QByteArray &bytes)
{
    std::memset(array, 0, N);
    std::memcpy(array, bytes.constData(), std::min<size_t>(N, size_t(bytes.size())));
}

QJsonObject object(std::initializer_list<QPair<QString, QJsonValue>> fields)
{
    QJsonObject result;
    for (const auto &field : fields)
        result.insert(field.first, field.second);
    return result;
}

} // namespace

class TestSimLibrary : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void openProcessRefusesWhatIsNotAPublishingGame_data();
    void openProcessRefusesWhatIsNotAPublishingGame();
    void scenarioIsReadBackByteForByte();
    void probeAndFillAgreeForEveryList();
    void fillNeverWritesBeyondCapacity_data();
    void fillNeverWritesBeyondCapacity();
    void snapshotIsImmutableWhileTheGameMoves();
    void releasedSnapshotIsGoneAndCounted();
    void unavailableUsageAnswersEight_data();
    void unavailableUsageAnswersEight();
    void pathPerTrain();
    void sessionOnAGameThatStops();
    void sessionOnAGameThatWasKilled();
    void everyCaptureIsOneConsistentState();
    void sessionsOnTwoThreads();
    void twoGamesAtOnceStayApart();
    void wrongHandlesAndPointersGiveStatuses();
    void statusTextsAreStableAndFrench();
    void scenarioFaultsReachTheCaller();
    void failingPathExportFailsForEveryTrain();
    void sameSeedGivesTheSameWorld();

private:
    QString scenarioFile(const QJsonObject &scenario);
    bool startScenario(GameProcess &game, const QJsonObject &scenario);
    uint32_t openSnapshots() const { return m_openSnapshotCount(); }

    QTemporaryDir m_dir;
    using OpenSnapshotCountFn = uint32_t (*)();
    OpenSnapshotCountFn m_openSnapshotCount = nullptr;
};

void TestSimLibrary::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(loadSdk(&error), qPrintable(error));
    QLibrary library(QCoreApplication::applicationDirPath() + QStringLiteral("/ZorvyRailsSDK.dll"));
    m_openSnapshotCount =
        reinterpret_cast<OpenSnapshotCountFn>(library.resolve("ZorvySim_OpenSnapshotCount"));
    QVERIFY2(m_openSnapshotCount, qPrintable(library.errorString()));
}

void TestSimLibrary::cleanup()
{
    // Every test releases what it captured, pass or fail, through its scoped handles.
    QCOMPARE(openSnapshots(), 0u);
}

QString TestSimLibrary::scenarioFile(const QJsonObject &scenario)
{
    return GameProcess::writeScenario(scenario, m_dir.path());
}

bool TestSimLibrary::startScenario(GameProcess &game, const QJsonObject &scenario)
{
    const QString file = scenarioFile(scenario);
    if (file.isEmpty())
        return false;
    if (!game.start({QStringLiteral("--scenario"), file})) {
        qWarning("%s", qPrintable(game.errorString()));
        return false;
    }
    return true;
}

void TestSimLibrary::openProcessRefusesWhatIsNotAPublishingGame_data()
{
    QTest::addColumn<qint64>("processId");
    QTest::newRow("no process id") << qint64(0);
    QTest::newRow("the test itself") << QCoreApplication::applicationPid();
    QTest::newRow("no such process") << qint64(0x7FFFFFF0);
}

void TestSimLibrary::openProcessRefusesWhatIsNotAPublishingGame()
{
    QFETCH(qint64, processId);
    ScopedSession session;
    const SdkStatus status = session.open(processId);
    QVERIFY(status != 0);
    QCOMPARE(session.handle, SdkSession(0));
    QCOMPARE(statusText(status), QStringLiteral("Jeu introuvable"));
}

void TestSimLibrary::scenarioIsReadBackByteForByte()
{
    const QByteArray name257(257, 'A');
    const QByteArray label32(32, 'x');
    const QByteArray longLabel = QByteArray("Ralentissement à 30 km/h puis rappel — ").repeated(3);
    QByteArray path1024(1024, 'p');
    path1024[0] = '/';

    QJsonObject scenario;
    scenario.insert(QStringLiteral("stations"),
                    QJsonArray{object({{"id", 26}, {"name", ""}}),
                               object({{"id", "0xFFFFFFFFFFFFFFFE"},
                                       {"nameHex", QString::fromLatin1(name257.toHex())}}),
                               object({{"id", "27"}, {"name", "Lyon-Part-Dieu é"}})});
    scenario.insert(QStringLiteral("tracks"),
                    QJsonArray{object({{"id", 1}, {"stationId", 26}, {"speedLimit", 22.5}}),
                               object({{"id", "18446744073709551615"}, {"stationId", 99}}),
                               object({{"id", 1}})});
    scenario.insert(
        QStringLiteral("nodes"),
        QJsonArray{
            object({{"id", 1}, {"neighbour1", 2}, {"x", 0.0}, {"y", 0.0}}),
            object(
                {{"id", 2}, {"neighbour1", 1}, {"neighbour2", "0x10"}, {"x", -12.5}, {"y", 1e6}})});
    scenario.insert(QStringLiteral("trains"),
                    QJsonArray{object({{"id", 5},
                                       {"name", "IC 12"},
                                       {"trackId", 1},
                                       {"speed", 12.5},
                                       {"fraction", 0.457},
                                       {"sense", 1},
                                       {"flags", 3},
                                       {"path", QJsonArray{1, 2, "0x3"}}}),
                               object({{"id", 6},
                                       {"nameHex", "fffe00"},
                                       {"sense", -1},
                                       {"flags", 1},
                                       {"path", QJsonArray{}}}),
                               object({{"id", 7}, {"name", "sans itinéraire"}, {"flags", 255}})});
    scenario.insert(
        QStringLiteral("signals"),
        QJsonArray{
            object({{"id", 100}, {"trackId", 1}, {"fraction", 0.5}, {"sense", 1}, {"kind", 2}}),
            object({{"id", 101}, {"trackId", 2}, {"sense", -5}, {"kind", 250}})});
    scenario.insert(QStringLiteral("signalStates"),
                    QJsonArray{object({{"signalId", 100},
                                       {"flags", 6},
                                       {"nativeState", -1},
                                       {"label1", "Voie libre"},
                                       {"label2", "VL"}}),
                               object({{"signalId", 100}, {"flags", 4}, {"nativeState", 9}}),
                               object({{"signalId", 101},
                                       {"flags", 2},
                                       {"label1Hex", QString::fromLatin1(label32.toHex())},
                                       {"label2", QString::fromUtf8(longLabel)}})});
    scenario.insert(
        QStringLiteral("signalTextures"),
        QJsonArray{
            object({{"signalId", 100}, {"flags", 2}, {"path", "/absolute/file.png"}}),
            object({{"signalId", 101}, {"pathHex", QString::fromLatin1(path1024.toHex())}})});
    scenario.insert(
        QStringLiteral("reservations"),
        QJsonArray{object({{"trainId", 5}, {"trackId", 2}, {"begin", 0.0}, {"end", 1.0}})});
    scenario.insert(
        QStringLiteral("occupations"),
        QJsonArray{object({{"trainId", 5}, {"trackId", 1}, {"begin", 0.3}, {"end", 0.6}}),
                   object({{"trainId", 6}, {"trackId", 7}, {"begin", 1.0}, {"end", 0.0}})});

    // What the library must hand out, built here independently of the game's reader.
    std::vector<SdkStation> stations(3);
    stations[0].id = 26;
    stations[1].id = 0xFFFFFFFFFFFFFFFEULL;
    setText(stations[1].name, name257);
    stations[2].id = 27;
    setText(stations[2].name, QByteArray("Lyon-Part-Dieu é"));
    const std::vector<SdkTrack> tracks{
        {1, 26, 22.5}, {0xFFFFFFFFFFFFFFFFULL, 99, 0.0}, {1, 0, 0.0}};
    const std::vector<SdkTrackNode> nodes{{1, 2, 0, 0.0, 0.0}, {2, 1, 0x10, -12.5, 1e6}};
    std::vector<SdkTrain> trains(3);
    trains[0].id = 5;
    trains[0].trackId = 1;
    trains[0].speed = 12.5;
    trains[0].fraction = 0.457;
    trains[0].sense = 1;
    trains[0].flags = 3;
    setText(trains[0].name, QByteArray("IC 12"));
    trains[1].id = 6;
    trains[1].sense = -1;
    trains[1].flags = 1;
    setText(trains[1].name, QByteArray::fromHex("fffe00"));
    trains[2].id = 7;
    trains[2].flags = 255;
    setText(trains[2].name, QByteArray("sans itinéraire"));
    const std::vector<SdkSignal> signalRecords{{100, 1, 0.5, 1, 2}, {101, 2, 0.0, -5, 250}};
    std::vector<SdkSignalState> states(3);
    states[0].signalId = 100;
    states[0].flags = 6;
    states[0].nativeState = -1;
    setText(states[0].label1, QByteArray("Voie libre"));
    setText(states[0].label2, QByteArray("VL"));
    states[1].signalId = 100;
    states[1].flags = 4;
    states[1].nativeState = 9;
    states[2].signalId = 101;
    states[2].flags = 2;
    setText(states[2].label1, label32);
    setText(states[2].label2, longLabel);
    std::vector<SdkSignalTexture> textures(2);
    textures[0].signalId = 100;
    textures[0].flags = 2;
    setText(textures[0].path, QByteArray("/absolute/file.png"));
    textures[1].signalId = 101;
    setText(textures[1].path, path1024);
    const std::vector<SdkTrackUsage> reservations{{5, 2, 0.0, 1.0}};
    const std::vector<SdkTrackUsage> occupations{{5, 1, 0.3, 0.6}, {6, 7, 1.0, 0.0}};

    GameProcess game;
    QVERIFY(startScenario(game, scenario));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), SdkStatus(0));
    QVERIFY(session.handle != 0);
    ScopedSnapshot snapshot;
    QCOMPARE(snapshot.capture(session.handle), SdkStatus(0));
    QVERIFY(snapshot.handle != 0);

    SdkStatus status = 0;
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopyStations, snapshot.handle, &status)), bytesOf(stations));
    QCOMPARE(status, 0u);
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopyTracks, snapshot.handle, &status)), bytesOf(tracks));
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopyTrackNodes, snapshot.handle, &status)), bytesOf(nodes));
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopyTrains, snapshot.handle, &status)), bytesOf(trains));
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopySignals, snapshot.handle, &status)),
             bytesOf(signalRecords));
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopySignalStates, snapshot.handle, &status)),
             bytesOf(states));
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopySignalTextures, snapshot.handle, &status)),
             bytesOf(textures));
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopyTrackReservations, snapshot.handle, &status)),
             bytesOf(reservations));
    QCOMPARE(status, 0u);
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopyTrackOccupations, snapshot.handle, &status)),
             bytesOf(occupations));
    QCOMPARE(status, 0u);

    QCOMPARE(copyPath(snapshot.handle, 5, &status), (std::vector<uint64_t>{1, 2, 3}));
    QCOMPARE(status, 0u);
    QCOMPARE(copyPath(snapshot.handle, 6, &status), std::vector<uint64_t>{});
    QCOMPARE(status, 0u);
}

namespace {

// Probing twice gives the same count, and a fill of that many reports that many: the snapshot
// does not move under the caller even though the game does.
template <typename Record> void checkProbeAndFill(SdkCopyFn<Record> copy, SdkSnapshot snapshot)
{
    uint32_t first = 0, second = 0;
    QCOMPARE(copy(snapshot, nullptr, 0, &first), 0u);
    QTest::qWait(60); // a few publications of the game
    QCOMPARE(copy(snapshot, nullptr, 0, &second), 0u);
    QCOMPARE(second, first);
    QVERIFY(first > 0);
    std::vector<Record> records(first);
    uint32_t written = 0;
    QCOMPARE(copy(snapshot, records.data(), first, &written), 0u);
    QCOMPARE(written, first);
}

// A fill given less room than the records need writes no byte past that room and says so.
template <typename Record>
void checkCapacity(SdkCopyFn<Record> copy, SdkSnapshot snapshot, uint32_t capacity)
{
    uint32_t available = 0;
    QCOMPARE(copy(snapshot, nullptr, 0, &available), 0u);
    QVERIFY2(available > capacity, "the world needs more records than the capacity tried");
    const int guard = 3;
    std::vector<Record> records(capacity + guard);
    std::memset(static_cast<void *>(records.data()), 0xA5, records.size() * sizeof(Record));
    uint32_t count = 0;
    const SdkStatus status = copy(snapshot, records.data(), capacity, &count);
    QVERIFY2(status != 0, "a short buffer must not pass for a full copy");
    const QByteArray untouched(int(guard * sizeof(Record)), char(0xA5));
    const QByteArray after(reinterpret_cast<const char *>(records.data() + capacity),
                           int(guard * sizeof(Record)));
    QCOMPARE(after, untouched);
    // What fits is the beginning of the list.
    std::vector<Record> all(available);
    QCOMPARE(copy(snapshot, all.data(), available, &count), 0u);
    QCOMPARE(
        QByteArray(reinterpret_cast<const char *>(records.data()), int(capacity * sizeof(Record))),
        QByteArray(reinterpret_cast<const char *>(all.data()), int(capacity * sizeof(Record))));
}

} // namespace

void TestSimLibrary::probeAndFillAgreeForEveryList()
{
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(game.errorString()));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    ScopedSnapshot snapshot;
    QCOMPARE(snapshot.capture(session.handle), 0u);

    checkProbeAndFill(&ZorvySdk_CopyTrains, snapshot.handle);
    checkProbeAndFill(&ZorvySdk_CopyTracks, snapshot.handle);
    checkProbeAndFill(&ZorvySdk_CopyStations, snapshot.handle);
    checkProbeAndFill(&ZorvySdk_CopySignals, snapshot.handle);
    checkProbeAndFill(&ZorvySdk_CopySignalStates, snapshot.handle);
    checkProbeAndFill(&ZorvySdk_CopySignalTextures, snapshot.handle);
    checkProbeAndFill(&ZorvySdk_CopyTrackNodes, snapshot.handle);
    checkProbeAndFill(&ZorvySdk_CopyTrackReservations, snapshot.handle);
    checkProbeAndFill(&ZorvySdk_CopyTrackOccupations, snapshot.handle);
}

void TestSimLibrary::fillNeverWritesBeyondCapacity_data()
{
    QTest::addColumn<QString>("list");
    for (const char *list : {"trains", "tracks", "stations", "signals", "states", "textures",
                             "nodes", "reservations", "occupations", "path"})
        QTest::newRow(list) << QString::fromLatin1(list);
}

void TestSimLibrary::fillNeverWritesBeyondCapacity()
{
    QFETCH(QString, list);
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("small"),
                         QStringLiteral("--textures"), QStringLiteral("all")}),
             qPrintable(game.errorString()));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    ScopedSnapshot snapshot;
    QCOMPARE(snapshot.capture(session.handle), 0u);
    const SdkSnapshot s = snapshot.handle;
    if (list == QLatin1String("trains"))
        checkCapacity(&ZorvySdk_CopyTrains, s, 2);
    else if (list == QLatin1String("tracks"))
        checkCapacity(&ZorvySdk_CopyTracks, s, 7);
    else if (list == QLatin1String("stations"))
        checkCapacity(&ZorvySdk_CopyStations, s, 1);
    else if (list == QLatin1String("signals"))
        checkCapacity(&ZorvySdk_CopySignals, s, 5);
    else if (list == QLatin1String("states"))
        checkCapacity(&ZorvySdk_CopySignalStates, s, 5);
    else if (list == QLatin1String("textures"))
        checkCapacity(&ZorvySdk_CopySignalTextures, s, 2);
    else if (list == QLatin1String("nodes"))
        checkCapacity(&ZorvySdk_CopyTrackNodes, s, 9);
    else if (list == QLatin1String("reservations"))
        checkCapacity(&ZorvySdk_CopyTrackReservations, s, 1);
    else if (list == QLatin1String("occupations"))
        checkCapacity(&ZorvySdk_CopyTrackOccupations, s, 1);
    else {
        SdkStatus status = 0;
        const auto trains = copyAll(&ZorvySdk_CopyTrains, s, &status);
        QCOMPARE(status, 0u);
        QVERIFY(!trains.empty());
        const uint64_t trainId = trains.front().id;
        uint32_t available = 0;
        QCOMPARE(ZorvySdk_CopyTrainPathTracks(s, trainId, nullptr, 0, &available), 0u);
        QVERIFY(available > 2);
        uint64_t ids[4] = {0xA5A5, 0xA5A5, 0xA5A5, 0xA5A5};
        uint32_t count = 0;
        QVERIFY(ZorvySdk_CopyTrainPathTracks(s, trainId, ids, 2, &count) != 0);
        QCOMPARE(ids[2], uint64_t(0xA5A5));
        QCOMPARE(ids[3], uint64_t(0xA5A5));
    }
}

void TestSimLibrary::snapshotIsImmutableWhileTheGameMoves()
{
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(game.errorString()));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    ScopedSnapshot first;
    QCOMPARE(first.capture(session.handle), 0u);
    SdkStatus status = 0;
    const QByteArray trains = bytesOf(copyAll(&ZorvySdk_CopyTrains, first.handle, &status));
    const QByteArray states = bytesOf(copyAll(&ZorvySdk_CopySignalStates, first.handle, &status));
    const QByteArray occupations =
        bytesOf(copyAll(&ZorvySdk_CopyTrackOccupations, first.handle, &status));
    QCOMPARE(status, 0u);

    // Wait until the game has visibly moved on, then read the first snapshot again.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            ScopedSnapshot later;
            SdkStatus laterStatus = later.capture(session.handle);
            return laterStatus == 0 &&
                   bytesOf(copyAll(&ZorvySdk_CopyTrains, later.handle, &laterStatus)) != trains;
        }(),
        20000);
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopyTrains, first.handle, &status)), trains);
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopySignalStates, first.handle, &status)), states);
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopyTrackOccupations, first.handle, &status)), occupations);
}

void TestSimLibrary::releasedSnapshotIsGoneAndCounted()
{
    GameProcess game;
    QVERIFY(startScenario(game, object({{"tracks", QJsonArray{object({{"id", 1}})}}})));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    SdkSnapshot a = 0, b = 0;
    QCOMPARE(ZorvySdk_CaptureSnapshot(session.handle, &a), 0u);
    QCOMPARE(ZorvySdk_CaptureSnapshot(session.handle, &b), 0u);
    QVERIFY(a != 0 && b != 0 && a != b);
    QCOMPARE(openSnapshots(), 2u);

    ZorvySdk_ReleaseSnapshot(a);
    QCOMPARE(openSnapshots(), 1u);
    uint32_t count = 0;
    QVERIFY(ZorvySdk_CopyTracks(a, nullptr, 0, &count) != 0);
    QVERIFY(ZorvySdk_CopyTracks(b, nullptr, 0, &count) == 0);
    QCOMPARE(count, 1u);
    ZorvySdk_ReleaseSnapshot(a); // a second release changes nothing
    QCOMPARE(openSnapshots(), 1u);

    // Closing the session leaves its snapshots to their owner.
    session.close();
    QVERIFY(ZorvySdk_CopyTracks(b, nullptr, 0, &count) == 0);
    ZorvySdk_ReleaseSnapshot(b);
    QCOMPARE(openSnapshots(), 0u);
}

void TestSimLibrary::unavailableUsageAnswersEight_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("reservations");
    QTest::addColumn<bool>("occupations");
    QTest::newRow("generated, no reservations")
        << QStringList{QStringLiteral("--size"), QStringLiteral("small"),
                       QStringLiteral("--no-reservations")}
        << false << true;
    QTest::newRow("generated, no occupations")
        << QStringList{QStringLiteral("--size"), QStringLiteral("small"),
                       QStringLiteral("--no-occupations")}
        << true << false;
    QTest::newRow("generated, both")
        << QStringList{QStringLiteral("--size"), QStringLiteral("small")} << true << true;
    QTest::newRow("scenario with null lists")
        << QStringList{QStringLiteral("null")} << false << false;
    QTest::newRow("scenario without the lists")
        << QStringList{QStringLiteral("absent")} << true << true;
}

void TestSimLibrary::unavailableUsageAnswersEight()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, reservations);
    QFETCH(bool, occupations);
    GameProcess game;
    if (arguments == QStringList{QStringLiteral("null")}) {
        QVERIFY(startScenario(
            game, object({{"reservations", QJsonValue::Null}, {"occupations", QJsonValue::Null}})));
    } else if (arguments == QStringList{QStringLiteral("absent")}) {
        QVERIFY(startScenario(game, QJsonObject()));
    } else {
        QVERIFY2(game.start(arguments), qPrintable(game.errorString()));
    }
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    ScopedSnapshot snapshot;
    QCOMPARE(snapshot.capture(session.handle), 0u);

    SdkTrackUsage record{};
    uint32_t count = 0;
    const SdkStatus reservationProbe =
        ZorvySdk_CopyTrackReservations(snapshot.handle, nullptr, 0, &count);
    const SdkStatus reservationFill =
        ZorvySdk_CopyTrackReservations(snapshot.handle, &record, 1, &count);
    const SdkStatus occupationProbe =
        ZorvySdk_CopyTrackOccupations(snapshot.handle, nullptr, 0, &count);
    QCOMPARE(reservationProbe, reservations ? 0u : 8u);
    if (!reservations)
        QCOMPARE(reservationFill, 8u);
    QCOMPARE(occupationProbe, occupations ? 0u : 8u);
    QCOMPARE(statusText(8), QStringLiteral("Données non disponibles"));
}

void TestSimLibrary::pathPerTrain()
{
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("medium")}),
             qPrintable(game.errorString()));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    ScopedSnapshot snapshot;
    QCOMPARE(snapshot.capture(session.handle), 0u);
    SdkStatus status = 0;
    const auto trains = copyAll(&ZorvySdk_CopyTrains, snapshot.handle, &status);
    const auto tracks = copyAll(&ZorvySdk_CopyTracks, snapshot.handle, &status);
    const auto reservations = copyAll(&ZorvySdk_CopyTrackReservations, snapshot.handle, &status);
    QCOMPARE(status, 0u);
    QSet<uint64_t> trackIds;
    for (const SdkTrack &track : tracks)
        trackIds.insert(track.id);

    int withPath = 0, withoutPath = 0;
    for (const SdkTrain &train : trains) {
        const auto path = copyPath(snapshot.handle, train.id, &status);
        if (!(train.flags & SdkTrainPositioned)) {
            // A train off the network has no calculated path.
            QVERIFY(status != 0);
            ++withoutPath;
            continue;
        }
        QCOMPARE(status, 0u);
        QVERIFY(path.size() >= 2);
        QCOMPARE(path.front(), train.trackId);
        for (uint64_t id : path)
            QVERIFY(trackIds.contains(id));
        // Its reservations lie on its path.
        for (const SdkTrackUsage &reservation : reservations) {
            if (reservation.trainId == train.id)
                QVERIFY(std::find(path.begin(), path.end(), reservation.trackId) != path.end());
        }
        ++withPath;
    }
    QVERIFY(withPath > 10);
    QVERIFY(withoutPath >= 1);
    uint32_t count = 0;
    QVERIFY(ZorvySdk_CopyTrainPathTracks(snapshot.handle, 0xBADBADBAD, nullptr, 0, &count) != 0);
}

void TestSimLibrary::sessionOnAGameThatStops()
{
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(game.errorString()));
    const qint64 processId = game.processId();
    ScopedSession session;
    QCOMPARE(session.open(processId), 0u);
    ScopedSnapshot before;
    QCOMPARE(before.capture(session.handle), 0u);
    SdkStatus status = 0;
    const QByteArray trains = bytesOf(copyAll(&ZorvySdk_CopyTrains, before.handle, &status));
    const QByteArray nodes = bytesOf(copyAll(&ZorvySdk_CopyTrackNodes, before.handle, &status));
    QCOMPARE(status, 0u);

    game.stop();
    QCOMPARE(game.exitCode(), 0);
    QVERIFY2(!QFile::exists(QStringLiteral("/dev/shm/ZorvyRails-%1").arg(processId)),
             "the game must remove its region when it stops");

    ScopedSnapshot after;
    const SdkStatus lost = after.capture(session.handle);
    QVERIFY(lost != 0);
    QCOMPARE(after.handle, SdkSnapshot(0));
    QCOMPARE(statusText(lost), QStringLiteral("Session perdue : le jeu s'est arrêté"));
    // What was captured stays readable.
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopyTrains, before.handle, &status)), trains);
    QCOMPARE(bytesOf(copyAll(&ZorvySdk_CopyTrackNodes, before.handle, &status)), nodes);
    // And the game cannot be opened again.
    ScopedSession again;
    QVERIFY(again.open(processId) != 0);
}

void TestSimLibrary::sessionOnAGameThatWasKilled()
{
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(game.errorString()));
    const qint64 processId = game.processId();
    const QByteArray region = "/ZorvyRails-" + QByteArray::number(processId);
    ScopedSession session;
    QCOMPARE(session.open(processId), 0u);

    // A killed game cannot remove its region: the library must tell it from a live one.
    QCOMPARE(::kill(pid_t(processId), SIGKILL), 0);
    game.stop();
    ScopedSnapshot after;
    QCOMPARE(statusText(after.capture(session.handle)),
             QStringLiteral("Session perdue : le jeu s'est arrêté"));
    ScopedSession again;
    const SdkStatus reopened = again.open(processId);
    ::shm_unlink(region.constData()); // the dead game's leftover
    QVERIFY(reopened != 0);
}

void TestSimLibrary::everyCaptureIsOneConsistentState()
{
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("medium"),
                         QStringLiteral("--rate"), QStringLiteral("100")}),
             qPrintable(game.errorString()));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    // Captures back to back while the game rewrites its state a hundred times a second: in each,
    // every positioned train's path starts on its track and its occupation lies under it, which a
    // mix of two states would break as soon as a train changes track.
    for (int i = 0; i < 150; ++i) {
        ScopedSnapshot snapshot;
        QCOMPARE(snapshot.capture(session.handle), 0u);
        SdkStatus status = 0;
        const auto trains = copyAll(&ZorvySdk_CopyTrains, snapshot.handle, &status);
        const auto occupations = copyAll(&ZorvySdk_CopyTrackOccupations, snapshot.handle, &status);
        QCOMPARE(status, 0u);
        for (const SdkTrain &train : trains) {
            if (!(train.flags & SdkTrainPositioned))
                continue;
            const auto path = copyPath(snapshot.handle, train.id, &status);
            QCOMPARE(status, 0u);
            QCOMPARE(path.front(), train.trackId);
            const bool under =
                std::any_of(occupations.begin(), occupations.end(), [&](const auto &u) {
                    return u.trainId == train.id && u.trackId == train.trackId &&
                           u.begin <= train.fraction && train.fraction <= u.end;
                });
            QVERIFY2(under,
                     qPrintable(QStringLiteral("train %1 in capture %2").arg(train.id).arg(i)));
        }
    }
}

void TestSimLibrary::sessionsOnTwoThreads()
{
    GameProcess first, second;
    QVERIFY2(first.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(first.errorString()));
    QVERIFY2(second.start({QStringLiteral("--size"), QStringLiteral("small"),
                           QStringLiteral("--seed"), QStringLiteral("2")}),
             qPrintable(second.errorString()));
    // Each thread opens, captures, copies and releases on its own session, all at once.
    std::atomic<int> failures{0};
    auto observe = [&failures](qint64 processId) {
        ScopedSession session;
        if (session.open(processId) != 0)
            return void(++failures);
        for (int i = 0; i < 100; ++i) {
            ScopedSnapshot snapshot;
            SdkStatus status = snapshot.capture(session.handle);
            const auto nodes = copyAll(&ZorvySdk_CopyTrackNodes, snapshot.handle, &status);
            if (status != 0 || nodes.empty())
                ++failures;
        }
    };
    std::thread a(observe, first.processId());
    std::thread b(observe, second.processId());
    a.join();
    b.join();
    QCOMPARE(failures.load(), 0);
}

void TestSimLibrary::twoGamesAtOnceStayApart()
{
    GameProcess first, second;
    QVERIFY(startScenario(first,
                          object({{"trains", QJsonArray{object({{"id", 1}, {"name", "Un"}})}}})));
    QVERIFY(
        startScenario(second, object({{"trains", QJsonArray{object({{"id", 2}, {"name", "Deux"}}),
                                                            object({{"id", 3}})}}})));
    ScopedSession one, two;
    QCOMPARE(one.open(first.processId()), 0u);
    QCOMPARE(two.open(second.processId()), 0u);
    QVERIFY(one.handle != two.handle);
    ScopedSnapshot a, b;
    QCOMPARE(a.capture(one.handle), 0u);
    QCOMPARE(b.capture(two.handle), 0u);
    SdkStatus status = 0;
    const auto trainsA = copyAll(&ZorvySdk_CopyTrains, a.handle, &status);
    const auto trainsB = copyAll(&ZorvySdk_CopyTrains, b.handle, &status);
    QCOMPARE(trainsA.size(), size_t(1));
    QCOMPARE(trainsA[0].id, uint64_t(1));
    QCOMPARE(QByteArray(trainsA[0].name), QByteArray("Un"));
    QCOMPARE(trainsB.size(), size_t(2));
    QCOMPARE(trainsB[0].id, uint64_t(2));

    // Losing one game leaves the other session working.
    first.stop();
    ScopedSnapshot lost, still;
    QVERIFY(lost.capture(one.handle) != 0);
    QCOMPARE(still.capture(two.handle), 0u);
}

void TestSimLibrary::wrongHandlesAndPointersGiveStatuses()
{
    GameProcess game;
    QVERIFY(startScenario(
        game, object({{"tracks", QJsonArray{object({{"id", 1}})}},
                      {"trains", QJsonArray{object({{"id", 5}, {"path", QJsonArray{1}}})}}})));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    ScopedSnapshot snapshot;
    QCOMPARE(snapshot.capture(session.handle), 0u);

    SdkSnapshot captured = 0;
    QVERIFY(ZorvySdk_CaptureSnapshot(0, &captured) != 0);
    QVERIFY(ZorvySdk_CaptureSnapshot(0x1234567890ULL, &captured) != 0);
    QCOMPARE(captured, SdkSnapshot(0));
    QVERIFY(ZorvySdk_CaptureSnapshot(session.handle, nullptr) != 0);
    // A snapshot handle is no session, and a session handle no snapshot.
    QVERIFY(ZorvySdk_CaptureSnapshot(snapshot.handle, &captured) != 0);
    uint32_t count = 0;
    QVERIFY(ZorvySdk_CopyTracks(session.handle, nullptr, 0, &count) != 0);
    QVERIFY(ZorvySdk_CopyTracks(0, nullptr, 0, &count) != 0);
    QVERIFY(ZorvySdk_CopyTracks(0xFFFFFFFFFFFFFFFFULL, nullptr, 0, &count) != 0);
    // Null count pointers, in a probe and in a fill.
    SdkTrack track{};
    QVERIFY(ZorvySdk_CopyTracks(snapshot.handle, nullptr, 0, nullptr) != 0);
    QVERIFY(ZorvySdk_CopyTracks(snapshot.handle, &track, 1, nullptr) != 0);
    QVERIFY(ZorvySdk_CopyTrainPathTracks(snapshot.handle, 5, nullptr, 0, nullptr) != 0);
    QVERIFY(ZorvySdk_CopyTrackReservations(snapshot.handle, nullptr, 0, nullptr) != 0);
    QVERIFY(ZorvySdk_OpenProcess(1, uint32_t(game.processId()), nullptr) != 0);
    // Only mode 1 is known.
    SdkSession other = 0;
    QVERIFY(ZorvySdk_OpenProcess(2, uint32_t(game.processId()), &other) != 0);
    QCOMPARE(other, SdkSession(0));
    // Closing and releasing what does not exist is harmless.
    ZorvySdk_CloseSession(0);
    ZorvySdk_CloseSession(0xDEADBEEF);
    ZorvySdk_ReleaseSnapshot(0);
    ZorvySdk_ReleaseSnapshot(0xDEADBEEF);
    // A closed session is unknown afterwards.
    const SdkSession closed = session.handle;
    session.close();
    QVERIFY(ZorvySdk_CaptureSnapshot(closed, &captured) != 0);
    QCOMPARE(captured, SdkSnapshot(0));
    QVERIFY(ZorvySdk_CopyTracks(snapshot.handle, nullptr, 0, &count) == 0);
}

void TestSimLibrary::statusTextsAreStableAndFrench()
{
    for (uint32_t status :
         {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 99u, 0xFFFFFFFFu}) {
        const char *text = ZorvySdk_StatusString(status);
        QVERIFY(text != nullptr);
        QVERIFY(std::strlen(text) > 0);
        QCOMPARE(QString::fromUtf8(ZorvySdk_StatusString(status)), QString::fromUtf8(text));
        QVERIFY(!QString::fromUtf8(text).contains(QChar::ReplacementCharacter));
    }
    QCOMPARE(statusText(2), QStringLiteral("Jeu introuvable"));
}

void TestSimLibrary::scenarioFaultsReachTheCaller()
{
    QJsonObject faults;
    faults.insert(QStringLiteral("failCopy"), QStringLiteral("ZorvySdk_CopySignals"));
    faults.insert(QStringLiteral("failStatus"), 5);
    faults.insert(QStringLiteral("inflateCount"),
                  object({{"ZorvySdk_CopySignalTextures", 600000}}));
    GameProcess game;
    QVERIFY(startScenario(
        game, object({{"signals", QJsonArray{object({{"id", 1}})}},
                      {"signalTextures",
                       QJsonArray{object({{"signalId", 1}, {"flags", 2}, {"path", "/t.png"}})}},
                      {"faults", faults}})));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    ScopedSnapshot snapshot;
    QCOMPARE(snapshot.capture(session.handle), 0u);
    uint32_t count = 0;
    QCOMPARE(ZorvySdk_CopySignals(snapshot.handle, nullptr, 0, &count), 5u);
    SdkSignal signal{};
    QCOMPARE(ZorvySdk_CopySignals(snapshot.handle, &signal, 1, &count), 5u);
    QCOMPARE(ZorvySdk_CopySignalTextures(snapshot.handle, nullptr, 0, &count), 0u);
    QCOMPARE(count, 600000u);
    std::vector<SdkSignalTexture> textures(4);
    std::memset(static_cast<void *>(textures.data()), 0x5A,
                textures.size() * sizeof(SdkSignalTexture));
    QCOMPARE(ZorvySdk_CopySignalTextures(snapshot.handle, textures.data(), 2, &count), 0u);
    QCOMPARE(count, 1u);
    QCOMPARE(textures[0].signalId, uint64_t(1));
    QCOMPARE(QByteArray(textures[0].path), QByteArray("/t.png"));
    QCOMPARE(textures[1].signalId, uint64_t(0x5A5A5A5A5A5A5A5AULL));
    // Other lists are unaffected.
    QCOMPARE(ZorvySdk_CopyTracks(snapshot.handle, nullptr, 0, &count), 0u);
}

void TestSimLibrary::failingPathExportFailsForEveryTrain()
{
    QJsonObject faults;
    faults.insert(QStringLiteral("failCopy"), QStringLiteral("ZorvySdk_CopyTrainPathTracks"));
    faults.insert(QStringLiteral("failStatus"), 12);
    GameProcess game;
    QVERIFY(startScenario(
        game, object({{"trains", QJsonArray{object({{"id", 1}, {"path", QJsonArray{4, 5}}}),
                                            object({{"id", 2}})}},
                      {"faults", faults}})));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    ScopedSnapshot snapshot;
    QCOMPARE(snapshot.capture(session.handle), 0u);
    uint32_t count = 0;
    uint64_t ids[2] = {};
    QCOMPARE(ZorvySdk_CopyTrainPathTracks(snapshot.handle, 1, nullptr, 0, &count), 12u);
    QCOMPARE(ZorvySdk_CopyTrainPathTracks(snapshot.handle, 1, ids, 2, &count), 12u);
    QCOMPARE(ZorvySdk_CopyTrainPathTracks(snapshot.handle, 2, nullptr, 0, &count), 12u);
    QCOMPARE(ids[0], uint64_t(0));
    SdkStatus status = 0;
    QCOMPARE(copyAll(&ZorvySdk_CopyTrains, snapshot.handle, &status).size(), size_t(2));
    QCOMPARE(status, 0u);
}

void TestSimLibrary::sameSeedGivesTheSameWorld()
{
    struct World
    {
        QByteArray tracks, nodes, stations, signalList, trains;
    };
    auto capture = [](const QStringList &arguments, World *world) {
        GameProcess game;
        QVERIFY2(game.start(arguments), qPrintable(game.errorString()));
        ScopedSession session;
        QCOMPARE(session.open(game.processId()), 0u);
        ScopedSnapshot snapshot;
        QCOMPARE(snapshot.capture(session.handle), 0u);
        SdkStatus status = 0;
        world->tracks = bytesOf(copyAll(&ZorvySdk_CopyTracks, snapshot.handle, &status));
        world->nodes = bytesOf(copyAll(&ZorvySdk_CopyTrackNodes, snapshot.handle, &status));
        world->stations = bytesOf(copyAll(&ZorvySdk_CopyStations, snapshot.handle, &status));
        world->signalList = bytesOf(copyAll(&ZorvySdk_CopySignals, snapshot.handle, &status));
        // Trains move with time; their ids and names do not.
        QByteArray trains;
        for (const SdkTrain &train : copyAll(&ZorvySdk_CopyTrains, snapshot.handle, &status))
            trains += QByteArray::number(train.id) + ':' + QByteArray(train.name) + ';';
        world->trains = trains;
        QCOMPARE(status, 0u);
    };
    const QStringList seed7{QStringLiteral("--size"), QStringLiteral("small"),
                            QStringLiteral("--seed"), QStringLiteral("7")};
    World a, b, c;
    capture(seed7, &a);
    capture(seed7, &b);
    capture({QStringLiteral("--size"), QStringLiteral("small"), QStringLiteral("--seed"),
             QStringLiteral("8")},
            &c);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!a.tracks.isEmpty() && !a.trains.isEmpty());
    QCOMPARE(b.tracks, a.tracks);
    QCOMPARE(b.nodes, a.nodes);
    QCOMPARE(b.stations, a.stations);
    QCOMPARE(b.signalList, a.signalList);
    QCOMPARE(b.trains, a.trains);
    QVERIFY(c.nodes != a.nodes);
}

QTEST_GUILESS_MAIN(TestSimLibrary)
#include "tst_simlibrary.moc"
