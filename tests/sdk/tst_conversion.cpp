#include "DataMap.h"
#include "GameProcess.h"
#include "GeometryBlob.h"
#include "SdkApi.h"
#include "SdkCopy.h"
#include "SdkLoader.h"
#include "SnapshotConverter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <stdexcept>

Q_DECLARE_METATYPE(ViewParameters)

namespace {

using O = QJsonObject;
uint32_t (*openSnapshotCount)() = nullptr;

const auto id = DataMap::idText;

ViewParameters view(qint32 scope, qint32 page = 0, quint64 station = 0, quint64 track = 0,
                    quint64 train = 0, quint64 revision = 1)
{
    return ViewParameters{scope, page, station, track, revision, train};
}

QStringList idsOf(const QVariant &maps)
{
    QStringList ids;
    for (const QVariant &map : maps.toList())
        ids << map.toMap().value("id").toString();
    return ids;
}

// The values of a map under space-separated keys, as text.
QStringList valuesOf(const QVariant &map, const QString &keys)
{
    QStringList values;
    for (const QString &key : keys.split(' '))
        values << map.toMap().value(key).toString();
    return values;
}

QVariantMap usage(quint64 train, quint64 track, double begin, double end)
{
    return {{"train", id(train)}, {"track", id(track)}, {"begin", begin}, {"end", end}};
}

// One running game with a scenario and a library session on it; both end with the object.
class ObservedGame
{
public:
    ~ObservedGame()
    {
        if (m_session != 0)
            ZorvySdk_CloseSession(m_session);
    }
    // Empty when the game runs and the session is open, else why not.
    QString start(const QStringList &arguments)
    {
        if (!m_game.start(arguments))
            return m_game.errorString();
        const SdkStatus status = ZorvySdk_OpenProcess(1, quint32(m_game.processId()), &m_session);
        return status == 0 ? QString() : QString::fromUtf8(ZorvySdk_StatusString(status));
    }
    QString start(const QJsonObject &scenario)
    {
        return start({"--scenario", GameProcess::writeScenario(scenario, m_dir.path())});
    }
    QVariantMap convert(const ViewParameters &v) const
    {
        return convertSnapshot(m_session, quint32(m_game.processId()), v);
    }
    // The text of a failed conversion; empty when it succeeded.
    QString failure(const ViewParameters &v) const
    {
        try {
            convert(v);
        } catch (const std::runtime_error &error) {
            return QString::fromUtf8(error.what());
        }
        return QString();
    }
    qint64 processId() const { return m_game.processId(); }
    SdkSession session() const { return m_session; }

private:
    QTemporaryDir m_dir;
    GameProcess m_game;
    SdkSession m_session = 0;
};

// Every edge of names, kinds, states, textures and selection.
QJsonObject edgeWorld()
{
    // Station 27: a name of 257 bytes, the whole array without a NUL.
    return QJsonDocument::fromJson(QString(R"({
  "stations": [{"id": 26, "name": ""}, {"id": 27, "nameHex": "%1"},
               {"id": 28, "nameHex": "56C3A96C6FFF00"}],
  "tracks": [{"id": 1, "stationId": 26, "speedLimit": 22.5}, {"id": 2}, {"id": 3, "stationId": 99},
             {"id": 4, "stationId": 27}, {"id": "0xFFFFFFFFFFFFFFF0", "stationId": 28}],
  "nodes": [{"id": 1, "x": 10, "y": 4}, {"id": 2}, {"id": 2, "y": -1.5}, {"id": 3}],
  "trains": [
    {"id": 5, "name": "IC 12", "trackId": 1, "speed": 12.5, "fraction": 0.457, "sense": 1,
     "flags": 3, "path": [1, 2, 3]},
    {"id": 6, "name": "Fret 6", "trackId": 2, "flags": 1, "path": [4]},
    {"id": 7, "name": "TER 7", "trackId": 4, "flags": 10},
    {"id": "0x8000000000000005", "name": "Nuit", "trackId": 1, "flags": 3, "path": []}],
  "signals": [{"id": 100, "trackId": 1, "fraction": 0.5, "sense": 1, "kind": 2},
              {"id": 101, "trackId": 1, "kind": 3}, {"id": 102, "trackId": 2, "kind": 6},
              {"id": 103, "trackId": 3}, {"id": 104, "trackId": 77, "kind": 1}],
  "signalStates": [
    {"signalId": 100, "flags": 6, "nativeState": -1, "label1": "Voie libre", "label2": "VL"},
    {"signalId": 100, "flags": 6, "nativeState": 5, "label1": "Second"},
    {"signalId": 101, "flags": 2, "nativeState": 3, "label1": "Avert"},
    {"signalId": 103, "flags": 4, "nativeState": 9}],
  "signalTextures": [{"signalId": 100, "flags": 2, "path": "/tmp/zorvy/a.png"},
                     {"signalId": 100, "flags": 2, "path": "/tmp/zorvy/other.png"},
                     {"signalId": 101, "flags": 1, "path": "/tmp/zorvy/b.png"},
                     {"signalId": 102, "flags": 3, "path": ""},
                     {"signalId": 103, "flags": 6, "path": "/tmp/zorvy/d.png"}],
  "reservations": [{"trainId": 5, "trackId": 2, "end": 1.0},
                   {"trainId": 6, "trackId": 3, "begin": 0.2, "end": 0.4},
                   {"trainId": 5, "trackId": 3, "begin": 0.5, "end": 0.9}],
  "occupations": [{"trainId": 5, "trackId": 1, "begin": 0.3, "end": 0.6},
                  {"trainId": 7, "trackId": 4, "end": 1.0}]})")
                                       .arg(QString("41").repeated(257))
                                       .toUtf8())
        .object();
}

} // namespace

class TestConversion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup() { QCOMPARE(openSnapshotCount(), 0u); } // every capture gives its snapshot back
    void edgeWorld();
    void trackFilterAndPaging_data();
    void trackFilterAndPaging();
    void selection_data();
    void selection();
    void failingCaptureReleasesTheSnapshot_data();
    void failingCaptureReleasesTheSnapshot();
    void generatedMediumGameIsConsistentWithItsRecords();

private:
    ObservedGame m_edges, m_paging, m_bare;
};

void TestConversion::initTestCase()
{
    QString error;
    QVERIFY2(loadSdk(&error), qPrintable(error));
    QLibrary library(QCoreApplication::applicationDirPath() + "/ZorvyRailsSDK.dll");
    openSnapshotCount =
        reinterpret_cast<uint32_t (*)()>(library.resolve("ZorvySim_OpenSnapshotCount"));
    QVERIFY2(openSnapshotCount, qPrintable(library.errorString()));
    QCOMPARE(m_edges.start(::edgeWorld()), QString());
    // 1001 tracks and nothing else: 1000 of station 1, one of station 2.
    QJsonArray tracks;
    for (int i = 1; i <= 1001; ++i)
        tracks.append(O{{"id", i}, {"stationId", i <= 1000 ? 1 : 2}});
    QCOMPARE(m_paging.start(O{{"tracks", tracks}}), QString());
    QCOMPARE(m_bare.start(QJsonDocument::fromJson(R"({"trains": [{"id": 6, "flags": 1, "path": []}],
        "reservations": null, "occupations": [{"trainId": 9, "trackId": 4}]})")
                              .object()),
             QString());
}

void TestConversion::edgeWorld()
{
    const QVariantMap data = m_edges.convert(view(0, 0, 0, 0, 0, 42));
    QStringList keys = DataMap::baseDataMap(QString()).keys();
    keys << QString("signalStateCount signalTextureCount positionedCount filteredCount page pages "
                    "viewRevision mapSignals mapGeometry mapStations captureMs")
                .split(' ');
    keys.sort();
    QCOMPARE(data.keys(), keys);
    // Only 100 and 103 have a valid native state and a non-empty valid texture path. Scope 0: the
    // tracks holding a positioned train; track 2 holds only the unpositioned one. The first
    // positioned train is followed by default.
    QCOMPARE(valuesOf(data, "trackCount stationCount trainCount signalCount baliseCount "
                            "positionedCount signalStateCount signalTextureCount filteredCount "
                            "pages page live"),
             QString("5 3 4 5 1 3 2 2 2 1 0 true").split(' '));
    QCOMPARE(data["status"].toString(), QString("Connecté · PID %1").arg(m_edges.processId()));
    QCOMPARE(data["viewRevision"], QVariant::fromValue<quint64>(42));
    QCOMPARE(valuesOf(data, "selectedTrainId selectedTrackId"), (QStringList{id(5), id(1)}));
    QCOMPARE(data["mapPath"].toList(), (QVariantList{id(1), id(2), id(3)}));
    QCOMPARE(data["mapReservations"].toList(),
             (QVariantList{usage(5, 2, 0, 1), usage(5, 3, 0.5, 0.9)}));
    QCOMPARE(data["mapOccupations"].toList(),
             (QVariantList{usage(5, 1, 0.3, 0.6), usage(7, 4, 0, 1)}));
    QCOMPARE(data["pathSize"].typeId(), QMetaType::UInt);

    const QVariantList stations = data["stations"].toList();
    QCOMPARE(stations[0].toMap(), (QVariantMap{{"id", id(26)}, {"name", "Gare 000000000000001A"}}));
    QCOMPARE(stations[1].toMap()["name"].toString(), QString(257, 'A'));
    QCOMPARE(stations[2].toMap()["name"].toString(), QStringLiteral("Vélo\uFFFD"));

    const QVariantList trains = data["trains"].toList();
    QCOMPARE(idsOf(trains), (QStringList{id(5), id(6), id(7), "8000000000000005"}));
    const QVariantMap ic12{{"id", id(5)},       {"name", "IC 12"},    {"speed", 12.5 * 3.6},
                           {"present", true},   {"positioned", true}, {"track", id(1)},
                           {"fraction", 0.457}, {"direction", 1}};
    QCOMPARE(trains[0].toMap(), ic12);
    // Present but not positioned: no track although its record names one; placed, not present.
    QCOMPARE(valuesOf(trains[1], "positioned track"), (QStringList{"false", ""}));
    QCOMPARE(trains[2].toMap()["present"], QVariant(false));

    const QVariantMap track1 = data["tracks"].toList()[0].toMap();
    QCOMPARE(idsOf(data["tracks"]), (QStringList{id(1), id(4)}));
    QCOMPARE(track1["station"].toString(), QStringLiteral("Gare 000000000000001A"));
    // Kind 2 and native state -1; the first state and texture record of a signal win.
    const QVariantList signals1 = track1["signals"].toList();
    QCOMPARE(signals1[0].toMap().size(), 11);
    QCOMPARE(valuesOf(signals1[0], "id kind balise marker fraction direction aspect specificState "
                                   "stateAvailable texturePath textureUrl"),
             (QStringList{id(100), "Inconnu", "false", "false", "0.5", "1", "État natif -1",
                          "Voie libre:VL", "true", "/tmp/zorvy/a.png", "file:///tmp/zorvy/a.png"}));
    QCOMPARE(valuesOf(signals1[1], "aspect specificState"), (QStringList{"Inconnu", "Avert:"}));

    // Every signal on the whole-network map, including the one on a track without record.
    const QVariantList mapSignals = data["mapSignals"].toList();
    QCOMPARE(mapSignals.size(), 5);
    QCOMPARE(mapSignals[2].toMap()["marker"], QVariant(true));
    QCOMPARE(mapSignals[4].toMap()["track"].toString(), id(77));

    // Stations named on the map: only 26 has a track with a node (27's track has none, 99 is
    // no station), placed at the middle of its tracks' nodes.
    QCOMPARE(data["mapStations"].toList(),
             (QVariantList{QVariantMap{{"name", "Gare 000000000000001A"},
                                       {"x", 10.0},
                                       {"y", 4.0},
                                       {"trackCount", 1}}}));

    // The node records byte for byte, the duplicate id kept; a cut last record is ignored.
    const QByteArray blob = data["mapGeometry"].toByteArray() + QByteArray(39, '\x7f');
    const QVector<SdkTrackNode> nodes = GeometryBlob::toNodes(blob);
    QCOMPARE(nodes.size(), 4);
    QCOMPARE(nodes[2].y, -1.5);
}

void TestConversion::trackFilterAndPaging_data()
{
    QTest::addColumn<bool>("paging"); // the 1001-track world, else the edge world
    QTest::addColumn<ViewParameters>("parameters");
    // filtered count, pages, page shown, ids of the page's first and last tracks (0: none)
    QTest::addColumn<QList<quint64>>("expected");
    using L = QList<quint64>;
    QTest::newRow("1001: 3 pages") << true << view(2) << L{1001, 3, 0, 1, 500};
    QTest::newRow("1001: last page") << true << view(2, 2) << L{1001, 3, 2, 1001, 1001};
    QTest::newRow("1000: page 7 is page 1") << true << view(2, 7, 1) << L{1000, 2, 1, 501, 1000};
    QTest::newRow("negative page: the last") << true << view(2, -1, 1) << L{1000, 2, 1, 501, 1000};
    QTest::newRow("0: one empty page") << true << view(0, 3) << L{0, 1, 0, 0, 0};
    QTest::newRow("scope 1") << false << view(1) << L{3, 1, 0, 1, 3};
    QTest::newRow("scope 3") << false << view(3, 0, 0, 4) << L{1, 1, 0, 4, 4};
    QTest::newRow("scope 3, unknown track") << false << view(3, 0, 0, 999) << L{0, 1, 0, 0, 0};
}

void TestConversion::trackFilterAndPaging()
{
    QFETCH(bool, paging);
    QFETCH(ViewParameters, parameters);
    const QVariantMap data = (paging ? m_paging : m_edges).convert(parameters);
    const QStringList ids = idsOf(data["tracks"]);
    const quint64 filtered = data["filteredCount"].toULongLong(), page = data["page"].toULongLong();
    QCOMPARE(quint64(ids.size()), filtered == 0 ? 0 : qMin<quint64>(500, filtered - page * 500));
    QTEST((QList<quint64>{filtered, data["pages"].toULongLong(), page,
                          DataMap::parseIdText(ids.value(0)),
                          DataMap::parseIdText(ids.value(ids.size() - 1))}),
          "expected");
}

void TestConversion::selection_data()
{
    QTest::addColumn<bool>("bare"); // the world of one unpositioned train, else the edge world
    QTest::addColumn<quint64>("train");
    // train id, track id, name, path available, reservations available
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<QVariantList>("path");
    QTest::addColumn<QVariantList>("reservations");
    QTest::newRow("present, not positioned")
        << false << quint64(6) << QStringList{id(6), "", "Fret 6", "true", "true"}
        << QVariantList{id(4)} << QVariantList{usage(6, 3, 0.2, 0.4)};
    QTest::newRow("no path") << false << quint64(7)
                             << QStringList{id(7), id(4), "TER 7", "false", "true"}
                             << QVariantList() << QVariantList();
    QTest::newRow("gone: no fallback")
        << false << quint64(999) << QStringList{"", "", "", "false", "false"} << QVariantList()
        << QVariantList();
    QTest::newRow("none positioned: none followed")
        << true << quint64(0) << QStringList{"", "", "", "false", "false"} << QVariantList()
        << QVariantList();
    // Reservations refused with status 8: unavailable, still a capture.
    QTest::newRow("no reservations")
        << true << quint64(6) << QStringList{id(6), "", "", "true", "false"} << QVariantList()
        << QVariantList();
}

void TestConversion::selection()
{
    QFETCH(bool, bare);
    QFETCH(quint64, train);
    const QVariantMap data = (bare ? m_bare : m_edges).convert(view(2, 0, 0, 0, train));
    QTEST(valuesOf(data, "selectedTrainId selectedTrackId selectedTrain pathAvailable "
                         "reservationsAvailable"),
          "selection");
    QTEST(data["mapPath"].toList(), "path");
    QTEST(data["mapReservations"].toList(), "reservations");
    // Occupations are never filtered by the selection.
    QCOMPARE(data["mapOccupations"].toList().size(), bare ? 1 : 2);
}

void TestConversion::failingCaptureReleasesTheSnapshot_data()
{
    QTest::addColumn<QJsonObject>("faults");
    QTest::addColumn<QString>("failure");
    for (const auto &[name, status] : {std::pair<const char *, SdkStatus>{"Signals", 5},
                                       {"TrackNodes", 8}, // status 8 is a failure outside usage
                                       {"TrackReservations", 6}})
        QTest::newRow(name) << O{{"failCopy", QString("ZorvySdk_Copy") + name},
                                 {"failStatus", int(status)}}
                            << QString::fromUtf8(ZorvySdk_StatusString(status));
    QTest::newRow("1 GiB") << O{{"inflateCount", O{{"ZorvySdk_CopySignalTextures", 600000}}}}
                           << "Capture abandonnée : le SDK annonce 600000 enregistrements de 1960 "
                              "octets, au-delà de la limite de 1 Gio par liste";
}

void TestConversion::failingCaptureReleasesTheSnapshot()
{
    QFETCH(QJsonObject, faults);
    QJsonObject world = ::edgeWorld();
    world.insert("faults", faults);
    ObservedGame game;
    QCOMPARE(game.start(world), QString());
    QFETCH(QString, failure);
    QCOMPARE(game.failure(view(0)), failure);
    QCOMPARE(openSnapshotCount(), 0u);
    QCOMPARE(game.failure(view(0)), failure); // the session stays usable
}

void TestConversion::generatedMediumGameIsConsistentWithItsRecords()
{
    // The game's own moving world: only what does not move is compared with the records of a
    // separate capture.
    ObservedGame game;
    QCOMPARE(game.start(QStringList{"--size", "medium", "--seed", "3"}), QString());
    SnapshotRecords records;
    SdkSnapshot snapshot = 0;
    QCOMPARE(ZorvySdk_CaptureSnapshot(game.session(), &snapshot), 0u);
    records.copyLists(snapshot);
    ZorvySdk_ReleaseSnapshot(snapshot);
    QHash<quint64, quint64> stationOfTrack;
    quint64 station = 0; // the last station that has tracks
    for (const SdkTrack &track : records.tracks) {
        stationOfTrack.insert(track.id, track.stationId);
        station = track.stationId != 0 ? track.stationId : station;
    }

    const QVariantMap data = game.convert(view(2, 0, station));
    QCOMPARE(data["trackCount"], QVariant(int(records.tracks.count())));
    QCOMPARE(data["stationCount"], QVariant(int(records.stations.count())));
    QCOMPARE(data["signalCount"], QVariant(int(records.signalRecords.count())));
    QCOMPARE(data["trainCount"], QVariant(int(records.trains.count())));
    QCOMPARE(data["filteredCount"], QVariant(int(stationOfTrack.keys(station).size())));
    for (const QVariant &entry : data["tracks"].toList()) {
        const quint64 trackId = DataMap::parseIdText(entry.toMap()["id"].toString());
        QCOMPARE(stationOfTrack.value(trackId), station);
    }
}

QTEST_GUILESS_MAIN(TestConversion)
#include "tst_conversion.moc"
