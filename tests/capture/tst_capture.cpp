// The copy protocol end to end: the simulated game publishes a scenario, the library copies it,
// and the data map equals the golden map of the same world converted from hand-written records;
// the game's own generated world agrees with its records. Every capture gives its snapshot back.
// The failures of a capture are driven through a fake of the library in tst_conversion.

#include "DataMap.h"
#include "GameProcess.h"
#include "GoldenFile.h"
#include "SdkLoader.h"
#include "SnapshotConverter.h"
#include "Worlds.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// One running game and a library session on it; both end with the object.
struct ObservedGame
{
    QTemporaryDir dir;
    GameProcess game;
    SdkSession session = 0;

    ~ObservedGame()
    {
        if (session != 0)
            ZorvySdk_CloseSession(session);
    }
    // Empty when the game runs and the session is open, else why not.
    QString start(const QStringList &arguments)
    {
        if (!game.start(arguments))
            return game.errorString();
        const SdkStatus status = ZorvySdk_OpenProcess(1, quint32(game.processId()), &session);
        return status == 0 ? QString() : QString::fromUtf8(ZorvySdk_StatusString(status));
    }
    QVariantMap convert(const ViewParameters &view)
    {
        return convertSnapshot(session, quint32(game.processId()), view);
    }
};

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup() { QCOMPARE(GameProcess::openSnapshotCount(), 0u); }
    void scenarioArrivesAsItsGoldenMap();
    void generatedMediumGameIsConsistentWithItsRecords();
};

void TestCapture::initTestCase()
{
    QString error;
    QVERIFY2(loadSdk(&error), qPrintable(error));
}

void TestCapture::scenarioArrivesAsItsGoldenMap()
{
    ObservedGame observed;
    const QString scenario = GameProcess::writeScenario(Worlds::edges(), observed.dir.path());
    QCOMPARE(observed.start({"--scenario", scenario}), QString());
    QVariantMap data = observed.convert(ViewParameters{2, 0, 0, 0, 7, 0});
    QCOMPARE(data.take("status").toString(),
             QString("Connecté · PID %1").arg(observed.game.processId()));
    QVERIFY(data.take("captureMs").toLongLong() >= 0);
    QVERIFY(QTime::fromString(data.take("updated").toString(), "HH:mm:ss.zzz").isValid());
    // The capture's own keys as the converted records leave them.
    data.insert("status", QStringLiteral("Connecté · PID 4242"));
    data.insert("updated", QString());
    COMPARE_WITH_GOLDEN(data, "small-world");
}

// The game's own moving world: only what does not move is compared with the records of a separate
// capture, and the station filter keeps exactly the tracks of its station.
void TestCapture::generatedMediumGameIsConsistentWithItsRecords()
{
    ObservedGame observed;
    QCOMPARE(observed.start({"--size", "medium", "--seed", "3"}), QString());
    SnapshotRecords records;
    records.capture(SdkFunctions::library(), observed.session, 0);
    QHash<quint64, quint64> stationOfTrack;
    quint64 station = 0; // the last station that has tracks
    for (const SdkTrack &track : records.tracks) {
        stationOfTrack.insert(track.id, track.stationId);
        station = track.stationId != 0 ? track.stationId : station;
    }

    const QVariantMap data = observed.convert(ViewParameters{2, 0, station, 0, 1, 0});
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

QTEST_GUILESS_MAIN(TestCapture)
#include "tst_capture.moc"
