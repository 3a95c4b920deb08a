// The simulated game as a program: its options, its clean stop, and whether the worlds it
// generates look and behave like a railway, all read back through the stand-in library.

#include "GameProcess.h"
#include "SdkCalls.h"
#include "SdkLoader.h"

#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <map>
#include <set>

namespace {

// Everything one capture holds, copied at once.
struct Capture
{
    std::vector<SdkTrain> trains;
    std::vector<SdkTrack> tracks;
    std::vector<SdkStation> stations;
    std::vector<SdkSignal> signalRecords;
    std::vector<SdkSignalState> states;
    std::vector<SdkSignalTexture> textures;
    std::vector<SdkTrackNode> nodes;
    std::vector<SdkTrackUsage> reservations;
    std::vector<SdkTrackUsage> occupations;
    std::map<uint64_t, SdkSignalState> stateBySignal;
};

bool captureAll(SdkSession session, Capture *capture)
{
    ScopedSnapshot snapshot;
    if (snapshot.capture(session) != 0)
        return false;
    SdkStatus status = 0, worst = 0;
    auto keep = [&] { worst = worst ? worst : status; };
    capture->trains = copyAll(&ZorvySdk_CopyTrains, snapshot.handle, &status), keep();
    capture->tracks = copyAll(&ZorvySdk_CopyTracks, snapshot.handle, &status), keep();
    capture->stations = copyAll(&ZorvySdk_CopyStations, snapshot.handle, &status), keep();
    capture->signalRecords = copyAll(&ZorvySdk_CopySignals, snapshot.handle, &status), keep();
    capture->states = copyAll(&ZorvySdk_CopySignalStates, snapshot.handle, &status), keep();
    capture->textures = copyAll(&ZorvySdk_CopySignalTextures, snapshot.handle, &status), keep();
    capture->nodes = copyAll(&ZorvySdk_CopyTrackNodes, snapshot.handle, &status), keep();
    capture->reservations = copyAll(&ZorvySdk_CopyTrackReservations, snapshot.handle, &status);
    capture->occupations = copyAll(&ZorvySdk_CopyTrackOccupations, snapshot.handle, &status);
    capture->stateBySignal.clear();
    for (const SdkSignalState &state : capture->states)
        capture->stateBySignal.emplace(state.signalId, state);
    return worst == 0;
}

bool nativeState(const Capture &capture, uint64_t signalId, int *state)
{
    const auto it = capture.stateBySignal.find(signalId);
    if (it == capture.stateBySignal.end() || !(it->second.flags & SdkStateNativeValid))
        return false;
    *state = it->second.nativeState;
    return true;
}

} // namespace

class TestSimGame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void helpListsTheOptions();
    void badArgumentsEndTheGame_data();
    void badArgumentsEndTheGame();
    void stopSignalRemovesTheRegion_data();
    void stopSignalRemovesTheRegion();
    void generatedWorldLooksLikeARailway_data();
    void generatedWorldLooksLikeARailway();
    void trainsMoveAndSignalsFollow();
    void aFewSignalsBlinkTogether();
    void textureOptions_data();
    void textureOptions();

private:
    QString gameProgram() const
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/ZorvyRails.exe");
    }
    QTemporaryDir m_dir;
};

void TestSimGame::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(loadSdk(&error), qPrintable(error));
}

void TestSimGame::helpListsTheOptions()
{
    QProcess game;
    game.start(gameProgram(), {QStringLiteral("--help")});
    QVERIFY(game.waitForFinished(20000));
    QCOMPARE(game.exitCode(), 0);
    const QString help = QString::fromUtf8(game.readAllStandardOutput());
    for (const char *option : {"--seed", "--size", "--scenario", "--no-reservations",
                               "--no-occupations", "--textures", "--broken-texture"})
        QVERIFY2(help.contains(QLatin1String(option)), option);
}

void TestSimGame::badArgumentsEndTheGame_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown size") << QStringList{QStringLiteral("--size"), QStringLiteral("huge")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--fly")};
    QTest::newRow("missing scenario")
        << QStringList{QStringLiteral("--scenario"), QStringLiteral("/nonexistent/world.json")};
    QTest::newRow("id that is no number") << QStringList{QStringLiteral("bad-id")};
    QTest::newRow("hex text that is no hex") << QStringList{QStringLiteral("bad-hex")};
}

void TestSimGame::badArgumentsEndTheGame()
{
    QFETCH(QStringList, arguments);
    if (arguments == QStringList{QStringLiteral("bad-id")}) {
        QJsonObject track;
        track.insert(QStringLiteral("id"), QStringLiteral("0xZZ"));
        QJsonObject scenario;
        scenario.insert(QStringLiteral("tracks"), QJsonArray{track});
        arguments = {QStringLiteral("--scenario"),
                     GameProcess::writeScenario(scenario, m_dir.path())};
    } else if (arguments == QStringList{QStringLiteral("bad-hex")}) {
        QJsonObject station;
        station.insert(QStringLiteral("nameHex"), QStringLiteral("4g"));
        QJsonObject scenario;
        scenario.insert(QStringLiteral("stations"), QJsonArray{station});
        arguments = {QStringLiteral("--scenario"),
                     GameProcess::writeScenario(scenario, m_dir.path())};
    }
    QProcess game;
    game.start(gameProgram(), arguments);
    QVERIFY(game.waitForFinished(20000));
    QVERIFY(game.exitCode() != 0);
    QVERIFY(!game.readAllStandardError().isEmpty());
    QVERIFY(!game.readAllStandardOutput().contains("ready"));
}

void TestSimGame::stopSignalRemovesTheRegion_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestSimGame::stopSignalRemovesTheRegion()
{
    QFETCH(int, signalNumber);
    QProcess game; // its destructor kills the game should the test fail half-way
    game.start(gameProgram(), {QStringLiteral("--size"), QStringLiteral("small")});
    QVERIFY(game.waitForStarted());
    QByteArray output; // the macro evaluates its condition more than once
    QTRY_VERIFY_WITH_TIMEOUT((output += game.readAllStandardOutput()).contains("ZorvyRails ready"),
                             20000);
    const qint64 pid = game.processId();
    const QString region = QStringLiteral("/dev/shm/ZorvyRails-%1").arg(pid);
    QVERIFY(QFile::exists(region));
    QVERIFY(::kill(pid_t(pid), signalNumber) == 0);
    QVERIFY(game.waitForFinished(10000));
    QCOMPARE(game.exitStatus(), QProcess::NormalExit);
    QCOMPARE(game.exitCode(), 0);
    QVERIFY(!QFile::exists(region));
}

void TestSimGame::generatedWorldLooksLikeARailway_data()
{
    QTest::addColumn<QString>("size");
    QTest::addColumn<int>("trackTarget");
    QTest::newRow("small") << QStringLiteral("small") << 300;
    QTest::newRow("medium") << QStringLiteral("medium") << 5000;
}

void TestSimGame::generatedWorldLooksLikeARailway()
{
    QFETCH(QString, size);
    QFETCH(int, trackTarget);
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size"), size}), qPrintable(game.errorString()));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    Capture world;
    QVERIFY(captureAll(session.handle, &world));

    const int tracks = int(world.tracks.size());
    QVERIFY2(tracks > trackTarget * 0.7 && tracks < trackTarget * 1.3,
             qPrintable(QString::number(tracks)));
    QVERIFY(world.trains.size() >= size_t(tracks / 50 / 2) &&
            world.trains.size() <= size_t(tracks / 50 * 2));
    QVERIFY(world.signalRecords.size() > size_t(tracks / 3 * 0.7) &&
            world.signalRecords.size() < size_t(tracks / 3 * 1.3));

    // One node per track, carrying its id; links that point somewhere point at nodes, and the
    // network is in one piece with junctions where three or more links meet.
    QCOMPARE(world.nodes.size(), world.tracks.size());
    std::map<uint64_t, std::set<uint64_t>> links;
    for (size_t i = 0; i < world.nodes.size(); ++i) {
        QCOMPARE(world.nodes[i].id, world.tracks[i].id);
        links[world.nodes[i].id];
    }
    for (const SdkTrackNode &node : world.nodes) {
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
    QVERIFY(junctions >= 4);
    QVERIFY(bufferStops >= 1); // sidings end somewhere
    std::set<uint64_t> reached{world.nodes.front().id};
    std::vector<uint64_t> queue{world.nodes.front().id};
    while (!queue.empty()) {
        const uint64_t id = queue.back();
        queue.pop_back();
        for (uint64_t next : links[id]) {
            if (reached.insert(next).second)
                queue.push_back(next);
        }
    }
    QCOMPARE(reached.size(), links.size());

    // Stations, and tracks in them, outside them, and a few naming a station that is not there.
    std::set<uint64_t> stationIds;
    int unnamed = 0;
    for (const SdkStation &station : world.stations) {
        stationIds.insert(station.id);
        unnamed += station.name[0] == '\0';
    }
    QVERIFY(world.stations.size() >= 4);
    int inStation = 0, outside = 0, missingStation = 0;
    for (const SdkTrack &track : world.tracks) {
        QVERIFY(track.speedLimit > 5 && track.speedLimit < 90);
        if (track.stationId == 0)
            ++outside;
        else if (stationIds.count(track.stationId))
            ++inStation;
        else
            ++missingStation;
    }
    QVERIFY(inStation > 0 && outside > 0);
    if (size == QLatin1String("medium")) {
        QVERIFY(unnamed >= 1);
        QVERIFY(missingStation >= 1);
    }

    // Trains on tracks that exist, each with an occupation on its own track.
    std::set<uint64_t> trackIds;
    for (const SdkTrack &track : world.tracks)
        trackIds.insert(track.id);
    int positioned = 0, offTheNetwork = 0;
    for (const SdkTrain &train : world.trains) {
        QVERIFY(train.flags & SdkTrainPresent);
        QVERIFY(train.name[0] != '\0');
        if (!(train.flags & SdkTrainPositioned)) {
            ++offTheNetwork;
            continue;
        }
        ++positioned;
        QVERIFY(trackIds.count(train.trackId));
        QVERIFY(train.fraction >= 0 && train.fraction <= 1);
        QVERIFY(train.speed >= 0 && train.speed < 90);
        QVERIFY(std::any_of(world.occupations.begin(), world.occupations.end(),
                            [&](const SdkTrackUsage &u) {
                                return u.trainId == train.id && u.trackId == train.trackId;
                            }));
    }
    QVERIFY(positioned >= 3);
    if (size == QLatin1String("medium"))
        QVERIFY(offTheNetwork >= 1);
    for (const auto *usage : {&world.reservations, &world.occupations}) {
        QVERIFY(!usage->empty());
        for (const SdkTrackUsage &u : *usage) {
            QVERIFY(trackIds.count(u.trackId));
            QVERIFY(u.begin >= 0 && u.begin <= u.end && u.end <= 1);
        }
    }

    // Signals of every kind, a few of unknown kinds, with states and labels.
    std::set<uint32_t> kinds;
    for (const SdkSignal &signal : world.signalRecords) {
        QVERIFY(trackIds.count(signal.trackId));
        kinds.insert(signal.kind);
    }
    if (size == QLatin1String("medium")) {
        for (uint32_t kind = 0; kind <= 6; ++kind)
            QVERIFY2(kinds.count(kind), qPrintable(QString::number(kind)));
        QVERIFY(*kinds.rbegin() > 6);
    }
    int withNative = 0, withLabels = 0;
    for (const SdkSignalState &state : world.states) {
        withNative += (state.flags & SdkStateNativeValid) != 0;
        if (state.flags & SdkStateLabelsValid) {
            ++withLabels;
            QVERIFY(state.label1[0] != '\0');
        }
    }
    QVERIFY(withNative > int(world.signalRecords.size() / 2));
    QVERIFY(withLabels > int(world.signalRecords.size() / 2));
}

void TestSimGame::trainsMoveAndSignalsFollow()
{
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("medium")}),
             qPrintable(game.errorString()));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    Capture first;
    QVERIFY(captureAll(session.handle, &first));

    // Within a few seconds most trains are elsewhere, at more than one speed, and some signal
    // (not a blinking one) shows another state.
    Capture later;
    auto trainsMoved = [&] {
        int moved = 0;
        for (size_t i = 0; i < first.trains.size() && i < later.trains.size(); ++i) {
            moved += first.trains[i].trackId != later.trains[i].trackId ||
                     first.trains[i].fraction != later.trains[i].fraction;
        }
        return moved > int(first.trains.size()) / 2;
    };
    auto signalChanged = [&] {
        for (const auto &entry : first.stateBySignal) {
            int before = 0, after = 0;
            if (nativeState(first, entry.first, &before) &&
                nativeState(later, entry.first, &after) && before != after && before < 9 &&
                after < 9)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(captureAll(session.handle, &later) && trainsMoved() && signalChanged(),
                             30000);
    std::set<double> speeds;
    for (const SdkTrain &train : later.trains)
        speeds.insert(std::round(train.speed));
    QVERIFY(speeds.size() >= 5);
}

void TestSimGame::aFewSignalsBlinkTogether()
{
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(game.errorString()));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);

    // Signals seen in state 9 and in state 10, and the textures each state had.
    std::map<uint64_t, std::set<int>> seen;
    std::map<int, std::set<QByteArray>> texturesOfState;
    auto blinkersSeenInBoth = [&] {
        Capture capture;
        if (!captureAll(session.handle, &capture))
            return false;
        std::map<uint64_t, QByteArray> pathOf;
        for (const SdkSignalTexture &texture : capture.textures)
            pathOf.emplace(texture.signalId, QByteArray(texture.path));
        std::set<int> statesNow;
        for (const SdkSignal &signal : capture.signalRecords) {
            int state = 0;
            if (nativeState(capture, signal.id, &state) && (state == 9 || state == 10)) {
                seen[signal.id].insert(state);
                statesNow.insert(state);
                texturesOfState[state].insert(pathOf[signal.id]);
            }
        }
        // Blinking signals blink in step, so a capture never shows both states.
        if (statesNow.size() > 1)
            qFatal("blinking signals out of step");
        return std::count_if(seen.begin(), seen.end(),
                             [](const auto &entry) { return entry.second.size() == 2; }) >= 2;
    };
    QTRY_VERIFY_WITH_TIMEOUT(blinkersSeenInBoth(), 15000);
    QCOMPARE(texturesOfState[9].size(), size_t(1));
    QCOMPARE(texturesOfState[10].size(), size_t(1));
    QVERIFY(*texturesOfState[9].begin() != *texturesOfState[10].begin());
}

void TestSimGame::textureOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    const QString small = QStringLiteral("--size=small");
    QTest::newRow("all") << QStringList{small, QStringLiteral("--textures=all")} << "all";
    QTest::newRow("most") << QStringList{small} << "most";
    QTest::newRow("none") << QStringList{small, QStringLiteral("--textures=none")} << "none";
    QTest::newRow("all, one broken")
        << QStringList{small, QStringLiteral("--textures=all"), QStringLiteral("--broken-texture")}
        << "broken";
}

void TestSimGame::textureOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    GameProcess game;
    QVERIFY2(game.start(arguments), qPrintable(game.errorString()));
    ScopedSession session;
    QCOMPARE(session.open(game.processId()), 0u);
    Capture world;
    QVERIFY(captureAll(session.handle, &world));

    std::map<uint64_t, QString> pathOf; // the first record of a signal counts
    for (const SdkSignalTexture &texture : world.textures) {
        if (texture.flags & SdkTexturePathValid)
            pathOf.emplace(texture.signalId, QString::fromUtf8(texture.path));
    }
    if (expected == QLatin1String("none")) {
        QVERIFY(world.textures.empty());
        return;
    }
    int decoded = 0, undecodable = 0;
    uint64_t undecodableSignal = 0;
    for (const auto &entry : pathOf) {
        QVERIFY(QFileInfo(entry.second).isAbsolute());
        QImageReader reader(entry.second);
        if (reader.read().isNull()) {
            ++undecodable;
            undecodableSignal = entry.first;
        } else {
            ++decoded;
        }
    }
    const size_t signalCount = world.signalRecords.size();
    if (expected == QLatin1String("most")) {
        QVERIFY(pathOf.size() < signalCount);
        QVERIFY(pathOf.size() > signalCount / 2);
        QCOMPARE(undecodable, 0);
    } else {
        QCOMPARE(pathOf.size(), signalCount);
        QCOMPARE(undecodable, expected == QLatin1String("broken") ? 1 : 0);
        if (undecodable)
            QCOMPARE(undecodableSignal, world.signalRecords.front().id);
    }
    QVERIFY(decoded > 0);
}

QTEST_GUILESS_MAIN(TestSimGame)
#include "tst_simgame.moc"
