// The copy protocol end to end: the simulated game publishes a scenario, the library copies it,
// and the data map equals the golden map of the same world converted from hand-written records.

#include "DataMap.h"
#include "GameProcess.h"
#include "GoldenFile.h"
#include "SdkLoader.h"
#include "SnapshotConverter.h"
#include "Worlds.h"

#include <QLibrary>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>

namespace {

uint32_t (*openSnapshotCount)() = nullptr;

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
    QVariantMap convert(const ViewParameters &v)
    {
        return convertSnapshot(SdkFunctions::library(), m_session, quint32(m_game.processId()), v,
                               m_records);
    }
    // The text of a failed conversion; empty when it succeeded.
    QString failure(const ViewParameters &v)
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
    SnapshotRecords &records() { return m_records; }

private:
    QTemporaryDir m_dir;
    GameProcess m_game;
    SdkSession m_session = 0;
    SnapshotRecords m_records;
};

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup() { QCOMPARE(openSnapshotCount(), 0u); } // every capture gives its snapshot back
    void scenarioArrivesAsItsGoldenMap();
    void failingCaptureReleasesTheSnapshot_data();
    void failingCaptureReleasesTheSnapshot();
    void generatedMediumGameIsConsistentWithItsRecords();
};

void TestCapture::initTestCase()
{
    QString error;
    QVERIFY2(loadSdk(&error), qPrintable(error));
    QLibrary library(QCoreApplication::applicationDirPath() + "/ZorvyRailsSDK.dll");
    openSnapshotCount =
        reinterpret_cast<uint32_t (*)()>(library.resolve("ZorvySim_OpenSnapshotCount"));
    QVERIFY2(openSnapshotCount, qPrintable(library.errorString()));
}

void TestCapture::scenarioArrivesAsItsGoldenMap()
{
    ObservedGame game;
    QCOMPARE(game.start(Worlds::edges()), QString());
    QVariantMap data = game.convert(ViewParameters{2, 0, 0, 0, 7, 0});
    QCOMPARE(data.take("status").toString(), QString("Connecté · PID %1").arg(game.processId()));
    QVERIFY(data.take("captureMs").toLongLong() >= 0);
    QCOMPARE(QTime::fromString(data.take("updated").toString(), "HH:mm:ss.zzz").isValid(), true);
    // The capture's own keys as the converted records leave them.
    data.insert("status", QStringLiteral("Connecté · PID 4242"));
    data.insert("updated", QString());
    COMPARE_WITH_GOLDEN(data, "small-world");
}

void TestCapture::failingCaptureReleasesTheSnapshot_data()
{
    QTest::addColumn<QJsonObject>("faults");
    QTest::addColumn<QString>("failure");
    QTest::newRow("reservations") << QJsonObject{{"failCopy", "ZorvySdk_CopyTrackReservations"},
                                                 {"failStatus", 6}}
                                  << QString::fromUtf8(ZorvySdk_StatusString(6));
    QTest::newRow("beyond the budget")
        << QJsonObject{{"inflateCount", QJsonObject{{"ZorvySdk_CopySignalTextures", 600000}}}}
        << "Capture abandonnée : le SDK annonce 600000 textures de signaux, au-delà de la limite "
           "de 320000 par capture";
}

void TestCapture::failingCaptureReleasesTheSnapshot()
{
    QFETCH(QJsonObject, faults);
    QJsonObject world = Worlds::edges();
    world.insert("faults", faults);
    ObservedGame game;
    QCOMPARE(game.start(world), QString());
    QFETCH(QString, failure);
    QCOMPARE(game.failure(ViewParameters()), failure);
    QCOMPARE(openSnapshotCount(), 0u);
    QCOMPARE(game.failure(ViewParameters()), failure); // the session stays usable
}

void TestCapture::generatedMediumGameIsConsistentWithItsRecords()
{
    // The game's own moving world: only what does not move is compared with the records of a
    // separate capture.
    ObservedGame game;
    QCOMPARE(game.start(QStringList{"--size", "medium", "--seed", "3"}), QString());
    SnapshotRecords records;
    records.capture(SdkFunctions::library(), game.session(), 0);
    QHash<quint64, quint64> stationOfTrack;
    quint64 station = 0; // the last station that has tracks
    for (const SdkTrack &track : records.tracks) {
        stationOfTrack.insert(track.id, track.stationId);
        station = track.stationId != 0 ? track.stationId : station;
    }

    const QVariantMap data = game.convert(ViewParameters{2, 0, station, 0, 1, 0});
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
