// The conversion of record lists into the data map, without any process: golden data maps of
// hand-written worlds, bad records, and the capture through a fake of the library's functions.

#include "GeometryBlob.h"
#include "GoldenFile.h"
#include "RecordWorld.h"
#include "SdkCopy.h"
#include "SnapshotConverter.h"
#include "Worlds.h"

#include <QtTest>

#include <stdexcept>
#include <thread>

Q_DECLARE_METATYPE(ViewParameters)
Q_DECLARE_METATYPE(SdkCopy::OpenProcess)

using namespace RecordWorld;

namespace {

constexpr quint32 processId = 4242;

ViewParameters view(qint32 scope, qint32 page = 0, quint64 track = 0, quint64 train = 0)
{
    return ViewParameters{scope, page, 0, track, 7, train};
}

QVariantMap convert(const QJsonObject &world, const ViewParameters &v)
{
    SnapshotRecords records;
    toRecords(fromJson(world), v.train, records);
    return convertRecords(records, processId, v);
}

// The capture of the fake's world and its conversion; the failure text when it throws.
QVariantMap captureAndConvert(FakeLibrary &fake, const ViewParameters &v, QString *failure)
{
    SnapshotRecords records;
    try {
        records.capture(fake.functions(), 1, v.train);
    } catch (const std::runtime_error &error) {
        *failure = QString::fromUtf8(error.what());
        return QVariantMap();
    }
    return convertRecords(records, processId, v);
}

// Fakes of the session export: what each answers, and how many sessions each leaves open.
SdkStatus openWithoutHandle(uint32_t, uint32_t, SdkSession *session)
{
    *session = 0;
    return 0;
}
SdkStatus openRefused(uint32_t, uint32_t, SdkSession *session)
{
    *session = 0;
    return 4;
}
SdkStatus openWell(uint32_t, uint32_t, SdkSession *session)
{
    *session = 99;
    return 0;
}
const char *openStatusText(SdkStatus)
{
    return "Processus introuvable (simulé)";
}

} // namespace

class TestConversion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void goldenMaps_data();
    void goldenMaps();
    void networkChangesAreSeen_data();
    void networkChangesAreSeen();
    void captureCallsTheLibraryInOrder();
    void countsThatGrowBetweenTheCallsKeepTheFirstCount();
    void failingCall_data();
    void failingCall();
    void blobOfPartialRecordReadsWholeRecords();
    void captureWithoutHandleFails();
    void captureBeyondTheBudgetFails_data();
    void captureBeyondTheBudgetFails();
    void memoryRunningOutFailsTheCapture();
    void sessionWithoutHandleFails_data();
    void sessionWithoutHandleFails();
};

void TestConversion::goldenMaps_data()
{
    QTest::addColumn<QJsonObject>("world");
    QTest::addColumn<ViewParameters>("parameters");
    QTest::addColumn<QString>("golden");
    // All tracks; the first positioned train is followed.
    QTest::newRow("small world") << Worlds::edges() << view(2) << "small-world";
    QTest::newRow("optional lists unavailable")
        << Worlds::unavailable() << view(0) << "optional-lists-unavailable";
    // Present but not positioned: no track; its path names a track that does not exist.
    QTest::newRow("selected train, path")
        << Worlds::edges() << view(3, 0, 2, 6) << "selected-train-with-path";
    QTest::newRow("selected train, no path")
        << Worlds::edges() << view(3, 0, 4, 7) << "selected-train-without-path";
    QTest::newRow("page past the end") << Worlds::manyTracks() << view(2, 9) << "page-past-the-end";
    QTest::newRow("ids that point nowhere")
        << Worlds::danglingIds() << view(2) << "ids-that-point-nowhere";
    // No fallback to the first positioned train.
    QTest::newRow("selected train gone")
        << Worlds::danglingIds() << view(2, 0, 0, 0xDEAD) << "selected-train-gone";
}

void TestConversion::goldenMaps()
{
    QFETCH(QJsonObject, world);
    QFETCH(ViewParameters, parameters);
    QFETCH(QString, golden);
    COMPARE_WITH_GOLDEN(convert(world, parameters), golden);
}

void TestConversion::networkChangesAreSeen_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QJsonValue>("value");
    QTest::newRow("station renamed") << "stations"
                                     << "name" << QJsonValue("Ouest");
    QTest::newRow("track to another station") << "tracks"
                                              << "stationId" << QJsonValue(1);
    QTest::newRow("node moved") << "nodes"
                                << "x" << QJsonValue(5.0);
}

// A conversion after one of the same network reuses what depends only on the network; a change
// of any of its records must show as in a conversion that saw no network before.
void TestConversion::networkChangesAreSeen()
{
    QFETCH(QString, list);
    QFETCH(QString, field);
    QFETCH(QJsonValue, value);
    QJsonObject world = Worlds::danglingIds();
    const QVariantMap before = convert(world, view(2));
    QJsonArray records = world[list].toArray();
    QJsonObject record = records.last().toObject();
    record[field] = value;
    records.replace(records.size() - 1, record);
    world[list] = records;

    const QVariantMap after = convert(world, view(2));
    QVariantMap fresh; // converted on a thread of its own, whose working memory is new
    std::thread([&] { fresh = convert(world, view(2)); }).join();
    QCOMPARE(after, fresh);
    QVERIFY(after != before);
}

// The library's call order of one capture, and the capture's map equals that of the records.
void TestConversion::captureCallsTheLibraryInOrder()
{
    FakeLibrary fake(fromJson(Worlds::edges()));
    QString failure;
    const QVariantMap data = captureAndConvert(fake, view(2), &failure);
    QCOMPARE(failure, QString());
    QCOMPARE(data, convert(Worlds::edges(), view(2)));
    QStringList expected;
    for (const char *list : {"Trains", "Tracks", "Stations", "Signals", "SignalStates",
                             "SignalTextures", "TrackNodes", "TrainPathTracks"})
        expected << QStringLiteral("Copy%1").arg(list) << QStringLiteral("Copy%1").arg(list);
    // Usage is probed once more: status 8 there is an answer, not a failure.
    for (const char *list : {"TrackReservations", "TrackOccupations"})
        expected << QStringList(3, QStringLiteral("Copy%1").arg(list));
    expected.prepend("CaptureSnapshot");
    expected.append("ReleaseSnapshot");
    QCOMPARE(fake.calls, expected);
    QCOMPARE(fake.openSnapshots, 0);
}

void TestConversion::countsThatGrowBetweenTheCallsKeepTheFirstCount()
{
    FakeLibrary fake(fromJson(Worlds::edges()));
    fake.growth = 3;
    QString failure;
    QVariantMap data = captureAndConvert(fake, view(2), &failure);
    QCOMPARE(failure, QString());
    // Only the records of the first count are read; the path reports the count written last.
    QCOMPARE(data.take("pathSize"), QVariant::fromValue(quint32(3 + 3)));
    QVariantMap expected = convert(Worlds::edges(), view(2));
    expected.remove("pathSize");
    QCOMPARE(data, expected);
}

void TestConversion::failingCall_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<SdkStatus>("status");
    QTest::addColumn<bool>("onFill"); // fail the call with a buffer, not the probe
    QTest::addColumn<bool>("fails");  // the capture fails; else it goes on
    QTest::newRow("capture") << "CaptureSnapshot" << 6u << false << true;
    QTest::newRow("signals, probe") << "CopySignals" << 5u << false << true;
    QTest::newRow("textures, fill") << "CopySignalTextures" << 5u << true << true;
    QTest::newRow("nodes answer 8") << "CopyTrackNodes" << 8u << false << true;
    QTest::newRow("path probe refused") << "CopyTrainPathTracks" << 9u << false << false;
    QTest::newRow("path fill") << "CopyTrainPathTracks" << 5u << true << true;
    QTest::newRow("reservations answer 8") << "CopyTrackReservations" << 8u << false << false;
    QTest::newRow("occupations, probe") << "CopyTrackOccupations" << 6u << false << true;
}

// A failing call throws the library's text and gives the snapshot back; the records are cleared.
void TestConversion::failingCall()
{
    QFETCH(QString, failing);
    QFETCH(SdkStatus, status);
    QFETCH(bool, onFill);
    QFETCH(bool, fails);
    FakeLibrary fake(fromJson(Worlds::edges()));
    fake.failing = failing;
    fake.failStatus = status;
    fake.failOnFill = onFill;
    SnapshotRecords records;
    QString failure;
    try {
        records.capture(fake.functions(), 1, 0);
    } catch (const std::runtime_error &error) {
        failure = QString::fromUtf8(error.what());
    }
    QCOMPARE(failure, fails ? QString::fromUtf8(FakeLibrary::statusText(status)) : QString());
    QCOMPARE(fake.openSnapshots, 0);
    QCOMPARE(fake.calls.last(), failing == "CaptureSnapshot" ? failing : "ReleaseSnapshot");
    QCOMPARE(records.trains.count(), fails ? 0u : 4u);
    if (!fails) {
        const QVariantMap data = convertRecords(records, processId, view(0));
        const bool path = failing.contains("Path");
        QCOMPARE(data["pathAvailable"].toBool(), !path);
        QCOMPARE(data["reservationsAvailable"].toBool(), path);
        QVERIFY(data["occupationsAvailable"].toBool());
    }
}

void TestConversion::blobOfPartialRecordReadsWholeRecords()
{
    const QVariantMap data = convert(Worlds::edges(), view(0));
    const QByteArray blob = data["mapGeometry"].toByteArray();
    QCOMPARE(blob.size(), 4 * 40);
    const QVector<SdkTrackNode> nodes = GeometryBlob::toNodes(blob.left(85));
    QCOMPARE(nodes.size(), 2);
    QCOMPARE(nodes[1].id, quint64(2));
    QCOMPARE(GeometryBlob::toNodes(blob + QByteArray(39, '\x7f')).size(), 4);
}

// A capture that answers success but leaves the handle at 0 fails with a text and releases
// nothing, and no list is asked for.
void TestConversion::captureWithoutHandleFails()
{
    FakeLibrary fake(fromJson(Worlds::edges()));
    fake.zeroSnapshot = true;
    QString failure;
    const QVariantMap data = captureAndConvert(fake, view(2), &failure);
    QVERIFY(data.isEmpty());
    QCOMPARE(failure, QStringLiteral(
                          "Capture abandonnée : le SDK annonce un succès sans fournir de capture"));
    QCOMPARE(fake.calls, QStringList{"CaptureSnapshot"});
    QCOMPARE(fake.openSnapshots, 0);
}

void TestConversion::captureBeyondTheBudgetFails_data()
{
    using Counts = QHash<QString, quint32>;
    QTest::addColumn<Counts>("announced");
    QTest::addColumn<QString>("refused"); // the export whose records are never asked for
    QTest::addColumn<QString>("failure"); // a regular expression; empty: the capture goes on
    const QString beyond = "^Capture abandonnée : le SDK annonce %1, au-delà de la limite de %2 "
                           "par capture$";
    QTest::newRow("trains") << Counts{{"CopyTrains", 20001}} << "CopyTrains"
                            << beyond.arg("20001 trains", "20000");
    QTest::newRow("stations at the limit") << Counts{{"CopyStations", 25000}} << ""
                                           << "";
    QTest::newRow("stations") << Counts{{"CopyStations", 25001}} << "CopyStations"
                              << beyond.arg("25001 gares", "25000");
    QTest::newRow("signal textures")
        << Counts{{"CopySignalTextures", 4000000000u}} << "CopySignalTextures"
        << beyond.arg("4000000000 textures de signaux", "320000");
    QTest::newRow("nodes") << Counts{{"CopyTrackNodes", 1000001}} << "CopyTrackNodes"
                           << beyond.arg("1000001 nœuds de voie", "1000000");
    QTest::newRow("path") << Counts{{"CopyTrainPathTracks", 100001}} << "CopyTrainPathTracks"
                          << beyond.arg("100001 voies du parcours", "100000");
    QTest::newRow("occupations") << Counts{{"CopyTrackOccupations", 100001}}
                                 << "CopyTrackOccupations"
                                 << beyond.arg("100001 occupations", "100000");
    // Each list within its limit, all of them together beyond the total.
    QTest::newRow("in total") << Counts{{"CopyTracks", 1000000}, {"CopyTrackNodes", 1000000}}
                              << "CopyTrackNodes"
                              << "^Capture abandonnée : avec 1000000 nœuds de voie, le SDK "
                                 "annonce 20000\\d+ enregistrements, au-delà de la limite de "
                                 "2000000 par capture$";
}

// Counts beyond the budget fail the capture with a text naming the list and the count, before
// that list's records are asked for (so before they are allocated); the snapshot is given back.
void TestConversion::captureBeyondTheBudgetFails()
{
    using Counts = QHash<QString, quint32>;
    QFETCH(Counts, announced);
    QFETCH(QString, refused);
    QFETCH(QString, failure);
    FakeLibrary fake(fromJson(Worlds::edges()));
    fake.announced = announced;
    SnapshotRecords records;
    QString caught;
    try {
        records.capture(fake.functions(), 1, 0);
    } catch (const std::exception &error) {
        caught = QString::fromUtf8(error.what());
    }
    if (failure.isEmpty())
        QCOMPARE(caught, QString());
    else
        QVERIFY2(QRegularExpression(failure).match(caught).hasMatch(), qPrintable(caught));
    if (!refused.isEmpty())
        QVERIFY2(!fake.fills.contains(refused), qPrintable(fake.fills.join(' ')));
    QCOMPARE(fake.openSnapshots, 0);
    QCOMPARE(fake.calls.last(), "ReleaseSnapshot");
}

// Memory running out during a capture fails it with a status text, as a refusal does.
void TestConversion::memoryRunningOutFailsTheCapture()
{
    FakeLibrary fake(fromJson(Worlds::edges()));
    fake.badAllocOn = "CopySignals";
    SnapshotRecords records;
    QString caught;
    try {
        convertSnapshot(fake.functions(), 1, processId, view(2), records);
    } catch (const std::exception &error) {
        caught = QString::fromUtf8(error.what());
    }
    QCOMPARE(caught,
             QStringLiteral("Capture abandonnée : mémoire insuffisante pour convertir la capture"));
    QCOMPARE(fake.openSnapshots, 0);
    QCOMPARE(records.trains.count(), 0u);
}

void TestConversion::sessionWithoutHandleFails_data()
{
    QTest::addColumn<SdkCopy::OpenProcess>("open");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<quint64>("session");
    QTest::newRow("success without a handle")
        << &openWithoutHandle
        << "Connexion refusée : le SDK annonce un succès sans ouvrir de session" << quint64(0);
    QTest::newRow("refused") << &openRefused << "Processus introuvable (simulé)" << quint64(0);
    QTest::newRow("opened") << &openWell << QString() << quint64(99);
}

// Opening a session: a success that leaves no handle is a failure with a text.
void TestConversion::sessionWithoutHandleFails()
{
    QFETCH(SdkCopy::OpenProcess, open);
    QFETCH(QString, failure);
    QFETCH(quint64, session);
    QString thrown;
    SdkSession opened = 0;
    try {
        opened = SdkCopy::openSession(4242, open, &openStatusText);
    } catch (const std::runtime_error &error) {
        thrown = QString::fromUtf8(error.what());
    }
    QCOMPARE(thrown, failure);
    QCOMPARE(opened, session);
}

QTEST_GUILESS_MAIN(TestConversion)
#include "tst_conversion.moc"
