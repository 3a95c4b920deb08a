// The simulated game as a program: its options, and whether the worlds it
// generates look and behave like a railway, all read back through the stand-in library.

#include "SdkCalls.h"
#include "SdkLoader.h"

#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QtTest>

#include <climits>
#include <map>
#include <set>

namespace {

// Everything one capture holds, copied at once.
struct Capture
{
    bool take(SdkSession session)
    {
        ScopedSnapshot snapshot;
        SdkStatus status = snapshot.capture(session), worst = status;
        auto get = [&](auto copy, auto &into) {
            into = copyAll(copy, snapshot.handle, &status);
            worst = worst ? worst : status;
        };
        get(&ZorvySdk_CopyTrains, trains);
        get(&ZorvySdk_CopyTracks, tracks);
        get(&ZorvySdk_CopyStations, stations);
        get(&ZorvySdk_CopySignals, signalRecords);
        get(&ZorvySdk_CopySignalStates, states);
        get(&ZorvySdk_CopySignalTextures, textures);
        get(&ZorvySdk_CopyTrackNodes, nodes);
        get(&ZorvySdk_CopyTrackReservations, reservations);
        get(&ZorvySdk_CopyTrackOccupations, occupations);
        return worst == 0;
    }
    // The native state of a signal's first state record, INT_MIN when it has none.
    int nativeState(uint64_t signalId) const
    {
        const auto it = std::find_if(states.begin(), states.end(),
                                     [&](const auto &state) { return state.signalId == signalId; });
        return it != states.end() && (it->flags & SdkStateNativeValid) ? it->nativeState : INT_MIN;
    }
    std::vector<SdkTrain> trains;
    std::vector<SdkTrack> tracks;
    std::vector<SdkStation> stations;
    std::vector<SdkSignal> signalRecords;
    std::vector<SdkSignalState> states;
    std::vector<SdkSignalTexture> textures;
    std::vector<SdkTrackNode> nodes;
    std::vector<SdkTrackUsage> reservations, occupations;
};

} // namespace

class TestSimGame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(loadSdk(&error), qPrintable(error));
    }

    void badArgumentsEndTheGame_data()
    {
        QTest::addColumn<QString>("options"); // or a scenario as JSON text
        QTest::newRow("unknown size") << "--size=huge";
        QTest::newRow("unknown option") << "--fly";
        QTest::newRow("missing scenario") << "--scenario=/nonexistent/world.json";
        QTest::newRow("id that is no number") << R"({"tracks": [{"id": "0xZZ"}]})";
        QTest::newRow("hex text that is no hex") << R"({"stations": [{"nameHex": "4g"}]})";
    }

    void badArgumentsEndTheGame()
    {
        QFETCH(QString, options);
        QProcess game;
        game.start(QCoreApplication::applicationDirPath() + "/ZorvyRails.exe",
                   gameArguments(options, m_dir.path()));
        QVERIFY(game.waitForFinished(20000));
        QVERIFY(game.exitCode() != 0);
        QVERIFY(!game.readAllStandardError().isEmpty());
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
        for (const auto *usage : {&w.reservations, &w.occupations}) {
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

    // Within a few seconds most trains are elsewhere, some signal that does not
    // blink shows another state, and signals blink (states 9 and 10) in step, each state with its
    // own texture.
    void theWorldMoves()
    {
        Observed o;
        QVERIFY(o.start(QStringLiteral("--size=medium --textures=all")));
        Capture first, later;
        QVERIFY(first.take(o.session.handle));
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
                const int before = first.nativeState(signal.id), now = later.nativeState(signal.id);
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

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestSimGame)
#include "tst_simgame.moc"
