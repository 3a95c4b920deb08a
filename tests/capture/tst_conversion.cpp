// The conversion of record lists into the data map, without any process: golden data maps of
// hand-written worlds, bad records, and the capture through a fake of the library's functions.

#include "GoldenFile.h"
#include "RecordWorld.h"
#include "SdkCopy.h"
#include "SnapshotConverter.h"
#include "Worlds.h"

#include <QtTest>

#include <stdexcept>
#include <thread>

Q_DECLARE_METATYPE(ViewParameters)

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

// Opening a session as the test's row says.
namespace SessionFake {
SdkStatus status = 0;
SdkSession handle = 0;
SdkStatus open(uint32_t, uint32_t, SdkSession *session)
{
    *session = handle;
    return status;
}
const char *statusText(SdkStatus)
{
    return "Processus introuvable (simulé)";
}
} // namespace SessionFake

} // namespace

class TestConversion : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void goldenMaps_data()
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
        QTest::newRow("page past the end")
            << Worlds::manyTracks() << view(2, 9) << "page-past-the-end";
        // Only the tracks of station 27, not those of no station or of a station not listed.
        QTest::newRow("one station")
            << Worlds::edges() << ViewParameters{2, 0, 27, 0, 7, 0} << "one-station";
        QTest::newRow("ids that point nowhere")
            << Worlds::danglingIds() << view(2) << "ids-that-point-nowhere";
        // No fallback to the first positioned train.
        QTest::newRow("selected train gone")
            << Worlds::danglingIds() << view(2, 0, 0, 0xDEAD) << "selected-train-gone";
    }

    void goldenMaps()
    {
        QFETCH(QJsonObject, world);
        QFETCH(ViewParameters, parameters);
        QFETCH(QString, golden);
        COMPARE_WITH_GOLDEN(convert(world, parameters), golden);
    }

    void networkChangesAreSeen_data()
    {
        QTest::addColumn<QString>("change"); // the list and the field of its last record
        QTest::addColumn<QJsonValue>("value");
        QTest::newRow("station renamed") << "stations name" << QJsonValue("Ouest");
        QTest::newRow("track to another station") << "tracks stationId" << QJsonValue(1);
        QTest::newRow("node moved") << "nodes x" << QJsonValue(5.0);
    }

    // A conversion after one of the same network reuses what depends only on the network; a change
    // of any of its records must show as in a conversion that saw no network before.
    void networkChangesAreSeen()
    {
        QFETCH(QString, change);
        QFETCH(QJsonValue, value);
        const QString list = change.section(' ', 0, 0);
        QJsonObject world = Worlds::danglingIds();
        const QVariantMap before = convert(world, view(2));
        QJsonArray records = world[list].toArray();
        QJsonObject record = records.last().toObject();
        record[change.section(' ', 1)] = value;
        records.replace(records.size() - 1, record);
        world[list] = records;

        const QVariantMap after = convert(world, view(2));
        QVariantMap fresh; // converted on a thread of its own, whose working memory is new
        std::thread([&] { fresh = convert(world, view(2)); }).join();
        QCOMPARE(after, fresh);
        QVERIFY(after != before);
    }

    void captureThroughTheLibrary_data()
    {
        QTest::addColumn<quint32>("growth");
        QTest::newRow("counts that hold") << 0u;
        QTest::newRow("counts that grow between the calls") << 3u;
    }

    // A capture through the library's functions gives the map of the same records, calling the
    // library in its order. Lists that grow between the probe and the fill are read at the probe's
    // count; only the path reports the count written last.
    void captureThroughTheLibrary()
    {
        QFETCH(quint32, growth);
        FakeLibrary fake(fromJson(Worlds::edges()));
        fake.growth = growth;
        SnapshotRecords records;
        records.capture(fake.functions(), 1, 0);
        QVariantMap data = convertRecords(records, processId, view(2));
        QCOMPARE(data.take("pathSize"), QVariant::fromValue(quint32(3 + growth)));
        QVariantMap expected = convert(Worlds::edges(), view(2));
        expected.remove("pathSize");
        QCOMPARE(data, expected);
        QStringList calls{"CaptureSnapshot"};
        for (const char *list : {"Trains", "Tracks", "Stations", "Signals", "SignalStates",
                                 "SignalTextures", "TrackNodes", "TrainPathTracks"})
            calls << QStringLiteral("Copy%1").arg(list) << QStringLiteral("Copy%1").arg(list);
        // Usage is probed once more: status 8 there is an answer, not a failure.
        for (const char *list : {"TrackReservations", "TrackOccupations"})
            calls << QStringList(3, QStringLiteral("Copy%1").arg(list));
        QCOMPARE(fake.calls, calls << "ReleaseSnapshot");
        QCOMPARE(fake.openSnapshots, 0);
    }

    void failingCapture_data()
    {
        QTest::addColumn<QString>("fault");   // as FakeLibrary::setFault reads it
        QTest::addColumn<QString>("failure"); // a regular expression; empty: the capture goes on
        const QString status = "^Statut simulé %1$";
        const auto row = [](const char *tag, const char *fault, const QString &failure) {
            QTest::newRow(tag) << QString(fault) << failure;
        };
        row("capture", "CaptureSnapshot 6", status.arg(6));
        row("capture without a handle", "no handle",
            "^Capture abandonnée : le SDK annonce un succès sans fournir de capture$");
        row("signals, probe", "CopySignals 5", status.arg(5));
        row("textures, fill", "CopySignalTextures 5 fill", status.arg(5));
        row("nodes answer 8", "CopyTrackNodes 8", status.arg(8));
        row("path probe refused", "CopyTrainPathTracks 9", "");
        row("path fill", "CopyTrainPathTracks 5 fill", status.arg(5));
        row("reservations answer 8", "CopyTrackReservations 8", "");
        row("occupations, probe", "CopyTrackOccupations 6", status.arg(6));
        // Records written past the capacity, or fewer than announced, are not used.
        row("stations past their capacity", "CopyStations overruns",
            "^Capture abandonnée : le SDK a écrit au-delà de la place donnée pour les gares$");
        row("path past its capacity", "CopyTrainPathTracks overruns",
            "^Capture abandonnée : le SDK a écrit au-delà de la place donnée pour les voies du "
            "parcours$");
        row("fewer trains than announced", "CopyTrains short",
            "^Capture abandonnée : le SDK annonce 4 trains mais n'en remplit que 3$");
        row("memory running out", "CopySignals bad_alloc",
            "^Capture abandonnée : mémoire insuffisante pour convertir la capture$");

        const QString beyond =
            "^Capture abandonnée : le SDK annonce %1, au-delà de la limite de %2 "
            "par capture$";
        row("trains", "CopyTrains announces 20001", beyond.arg("20001 trains", "20000"));
        row("stations at the limit", "CopyStations announces 25000", "");
        row("stations", "CopyStations announces 25001", beyond.arg("25001 gares", "25000"));
        row("signal textures", "CopySignalTextures announces 4000000000",
            beyond.arg("4000000000 textures de signaux", "320000"));
        row("nodes", "CopyTrackNodes announces 1000001",
            beyond.arg("1000001 nœuds de voie", "1000000"));
        row("path", "CopyTrainPathTracks announces 100001",
            beyond.arg("100001 voies du parcours", "100000"));
        row("occupations", "CopyTrackOccupations announces 100001",
            beyond.arg("100001 occupations", "100000"));
        // Each list within its limit, all of them together beyond the total.
        row("in total", "CopyTracks announces 1000000, CopyTrackNodes announces 1000000",
            "^Capture abandonnée : avec 1000000 nœuds de voie, le SDK "
            "annonce 20000\\d+ enregistrements, au-delà de la limite de "
            "2000000 par capture$");
    }

    // A capture that fails throws one text, gives its snapshot back (and, when it got none, calls
    // nothing more) and leaves no records; a list announced beyond the budget is never asked for,
    // so never allocated. A refused path probe or usage answering 8 only leaves that part out.
    void failingCapture()
    {
        QFETCH(QString, fault);
        QFETCH(QString, failure);
        FakeLibrary fake(fromJson(Worlds::edges()));
        fake.setFault(fault);
        SnapshotRecords records;
        QVariantMap data;
        QString caught;
        try {
            data = convertSnapshot(fake.functions(), 1, processId, view(0), records);
        } catch (const std::exception &error) {
            caught = QString::fromUtf8(error.what());
        }
        QVERIFY2(QRegularExpression(failure.isEmpty() ? "^$" : failure).match(caught).hasMatch(),
                 qPrintable(caught));
        QCOMPARE(fake.openSnapshots, 0);
        if (fault == "no handle" || fault.startsWith("CaptureSnapshot"))
            QCOMPARE(fake.calls, QStringList{"CaptureSnapshot"});
        else
            QCOMPARE(fake.calls.last(), "ReleaseSnapshot");
        QCOMPARE(records.trains.count(), 0u);
        if (fault.contains("announces") && !failure.isEmpty()) {
            const QString refused = fault.split(", ").last().section(' ', 0, 0);
            QVERIFY2(!fake.fills.contains(refused), qPrintable(fake.fills.join(' ')));
        }
        if (failure.isEmpty()) {
            QCOMPARE(data.value("trainCount").toInt(), 4);
            QCOMPARE(data.value("pathAvailable").toBool(), !fault.startsWith("CopyTrainPath"));
            QCOMPARE(data.value("reservationsAvailable").toBool(),
                     !fault.startsWith("CopyTrackRes"));
            QVERIFY(data.value("occupationsAvailable").toBool());
        }
    }

    void sessionWithoutHandleFails_data()
    {
        QTest::addColumn<SdkStatus>("status"); // what opening answers...
        QTest::addColumn<quint64>("handle");   // ...and the handle it writes
        QTest::addColumn<QString>("failure");
        QTest::newRow("success without a handle")
            << 0u << quint64(0)
            << "Connexion refusée : le SDK annonce un succès sans ouvrir de session";
        QTest::newRow("refused") << 4u << quint64(0) << "Processus introuvable (simulé)";
        QTest::newRow("opened") << 0u << quint64(99) << QString();
    }

    // Opening a session: a success that leaves no handle is a failure with a text.
    void sessionWithoutHandleFails()
    {
        QFETCH(SdkStatus, status);
        QFETCH(quint64, handle);
        QFETCH(QString, failure);
        SessionFake::status = status;
        SessionFake::handle = handle;
        QString thrown;
        SdkSession opened = 0;
        try {
            opened = SdkCopy::openSession(4242, &SessionFake::open, &SessionFake::statusText);
        } catch (const std::runtime_error &error) {
            thrown = QString::fromUtf8(error.what());
        }
        QCOMPARE(thrown, failure);
        QCOMPARE(opened, failure.isEmpty() ? handle : 0);
    }
};

QTEST_GUILESS_MAIN(TestConversion)
#include "tst_conversion.moc"
