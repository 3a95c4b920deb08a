// Backend against the real game, found by its process id: connection, acceptance of results,
// ageing, the view choices and the train selection. Results with a request word or revision of
// the test's choosing go in through BackendProbe.

#include "BackendProbe.h"
#include "DataMap.h"
#include "GameProcess.h"
#include "RecordWorld.h"
#include "SdkLoader.h"
#include "SnapshotConverter.h"
#include "Worlds.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>

using DataMap::idText;

namespace {

// Longer than any test may run (the test's time limit ends it first): a result that arrives
// although the reader was told to wait this long shows that its wait was cut short.
constexpr int endlessWaitMs = 3600 * 1000;

// A request word as Backend forms it: the connection's number above the process id.
quint64 requestWord(quint32 connection, qint64 processId)
{
    return quint64(connection) << 32 | quint64(processId);
}

// This test program publishes no game: a session on it cannot be opened.
qint64 notAGame()
{
    return QCoreApplication::applicationPid();
}

// How the reader's endless wait is ended.
enum EndBy { NewRequest, StopAndWait, DestroyReader, DestroyBackend };

// A value of a data map that notes the thread on which its last copy dies.
std::atomic<const QThread *> witnessDroppedOn{nullptr};
struct DropWitness
{
    struct Mark
    {
        ~Mark() { witnessDroppedOn.store(QThread::currentThread()); }
    };
    std::shared_ptr<Mark> mark = std::make_shared<Mark>();
    bool operator==(const DropWitness &other) const { return mark == other.mark; }
};

enum ReplacedBy { NextResult, OutdatedResult, TrainSelection, Disconnection };

} // namespace

Q_DECLARE_METATYPE(DropWitness)
class TestBackend : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(loadSdk(&error), qPrintable(error));
        QVERIFY2(
            m_game.start({"--scenario", GameProcess::writeScenario(Worlds::edges(), m_dir.path())}),
            qPrintable(m_game.errorString()));
        // The live map of the same world, converted from its records without the game.
        SnapshotRecords records;
        RecordWorld::toRecords(RecordWorld::fromJson(Worlds::edges()), 0, records);
        m_liveMap = convertRecords(records, quint32(m_game.processId()), ViewParameters());
    }

    void connectGame_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("processId"); // 0: search by name, -1: the text is refused
        QTest::newRow("blanks search") << " \t " << qint64(0);
        QTest::newRow("blanks around a number") << "  4242 \n" << qint64(4242);
        QTest::newRow("largest 32-bit") << "4294967295" << qint64(4294967295);
        QTest::newRow("zero") << "0" << qint64(-1);
        QTest::newRow("number then letters") << "12ab" << qint64(-1);
        QTest::newRow("past 32 bits") << "4294967296" << qint64(-1);
    }

    void connectGame()
    {
        QFETCH(QString, text);
        QFETCH(qint64, processId);
        Backend backend;
        QStringList published;
        connect(&backend, &Backend::changed, &backend, [&] { published.append(status(backend)); });
        backend.connectGame(text);
        const quint64 word = BackendProbe::requestWord(backend);
        const QStringList expected =
            processId < 0 ? QStringList{"Déconnecté", "PID invalide"} : QStringList{"Connexion…"};
        QCOMPARE(published, expected);
        QCOMPARE(backend.data(), DataMap::baseDataMap(expected.last()));
        // The word: the connection's number (from 1) above the process id; 0 when disconnected.
        QCOMPARE(word, processId < 0 ? 0 : (quint64(1) << 32 | quint64(processId)));
    }

    // A typed process id goes live; later captures serve the new selection and view. A result that
    // arrives after the disconnection is dropped and still releases the reader.
    void liveGameServesTheViewUntilDisconnected()
    {
        Backend backend;
        backend.connectGame(QStringLiteral(" %1 ").arg(m_game.processId()));
        WAIT_UNTIL_LIVE(backend, 20000);
        QCOMPARE(status(backend), QStringLiteral("Connecté · PID %1").arg(m_game.processId()));
        backend.selectTrain(idText(6));
        backend.setView(3, QString(), idText(2), 0);
        const quint64 revision = BackendProbe::viewParameters(backend).revision;
        QTRY_VERIFY_WITH_TIMEOUT(backend.data().value("viewRevision").toULongLong() == revision,
                                 10000);
        const QVariantMap data = backend.data();
        QCOMPARE(data.value("selectedTrainId").toString(), idText(6));
        QCOMPARE(data.value("tracks").toList().size(), 1);
        QCOMPARE(data.value("tracks").toList()[0].toMap().value("id").toString(), idText(2));

        // Wait, without delivering anything, for the reader to hand over its next map.
        QDeadlineTimer deadline(10000);
        while (!BackendProbe::isPending(backend) && !deadline.hasExpired())
            QThread::msleep(5);
        QVERIFY(BackendProbe::isPending(backend));
        backend.disconnectGame();
        QSignalSpy changed(&backend, &Backend::changed);
        QTRY_VERIFY_WITH_TIMEOUT(!BackendProbe::isPending(backend), 10000);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(backend.data(), DataMap::baseDataMap("Déconnecté"));
    }

    // Results of an earlier connection, and live maps of an older view, are dropped; an error map
    // of the current connection is taken whatever its revision.
    void staleResultsAreDropped()
    {
        Backend backend;
        backend.connectGame("4242");
        const quint64 earlier = BackendProbe::requestWord(backend);
        backend.connectGame("4242");
        const quint64 word = BackendProbe::requestWord(backend);
        const QVariantMap older = liveMap(backend);
        backend.setView(2, QString(), QString(), 0);
        QSignalSpy changed(&backend, &Backend::changed);
        BackendProbe::deliver(backend, earlier, liveMap(backend));
        BackendProbe::deliver(backend, earlier, DataMap::baseDataMap("erreur"));
        BackendProbe::deliver(backend, word, older);
        QCOMPARE(changed.count(), 0);

        BackendProbe::deliver(backend, word, DataMap::baseDataMap("Session perdue"));
        QCOMPARE(backend.data(), DataMap::baseDataMap("Session perdue"));
        BackendProbe::deliver(backend, word, liveMap(backend));
        QCOMPARE(changed.count(), 2);
        QVERIFY(isLive(backend));
    }

    void liveMapAgesOnceErrorMapNever()
    {
        // Disconnected, the reader is idle: the one live map handed in is the last one.
        Backend backend;
        BackendProbe::deliver(backend, 0, liveMap(backend));
        QSignalSpy changed(&backend, &Backend::changed);
        QTRY_VERIFY_WITH_TIMEOUT(backend.data().value("pathStale").toBool(), 10000);
        QCOMPARE(changed.count(), 1);
        const QVariantMap aged = backend.data();
        QVERIFY(aged.value("usageStale").toBool() && aged.value("live").toBool());
        const QVariant signal = aged.value("tracks").toList()[0].toMap()["signals"].toList()[0];
        QCOMPARE(signal.toMap()["aspect"].toString(), QStringLiteral("Périmé"));
        QVERIFY(!BackendProbe::staleTimerActive(backend)); // single-shot: aged once

        BackendProbe::deliver(backend, 0, liveMap(backend));
        QVERIFY(BackendProbe::staleTimerActive(backend));
        BackendProbe::deliver(backend, 0, DataMap::baseDataMap("Session perdue"));
        QVERIFY(!BackendProbe::staleTimerActive(backend));
    }

    void setView_data()
    {
        QTest::addColumn<QVariantList>("view");     // scope, station, track, page
        QTest::addColumn<QList<quint64>>("stored"); // scope, station, track, page
        using L = QList<quint64>;
        QTest::newRow("as given") << QVariantList{1, "1A", idText(~quint64(0)), 2}
                                  << L{1, 26, ~quint64(0), 2};
        QTest::newRow("scope past the end") << QVariantList{7, "", "", 0} << L{3, 0, 0, 0};
        QTest::newRow("negative scope, page") << QVariantList{-1, "", "", -4} << L{0, 0, 0, 0};
        QTest::newRow("station not hexadecimal") << QVariantList{2, "Gare", "", 0} << L{2, 0, 0, 0};
    }

    void setView()
    {
        QFETCH(QVariantList, view);
        Backend backend;
        backend.selectTrain("5");
        const quint64 revision = BackendProbe::viewParameters(backend).revision;
        QSignalSpy changed(&backend, &Backend::changed);
        backend.setView(view[0].toInt(), view[1].toString(), view[2].toString(), view[3].toInt());
        const ViewParameters stored = BackendProbe::viewParameters(backend);
        QTEST((QList<quint64>{quint64(stored.scope), stored.station, stored.track,
                              quint64(stored.page)}),
              "stored");
        QCOMPARE(stored.revision, revision + 1);
        QCOMPARE(stored.train, quint64(5));
        QCOMPARE(changed.count(), 0); // nothing shown changes before the next capture
    }

    void selectTrain_data()
    {
        QTest::addColumn<QString>("train");
        QTest::addColumn<QStringList>("selection"); // train id, name, track id
        QTest::newRow("positioned") << "5" << QStringList{idText(5), "IC 12", idText(1)};
        QTest::newRow("not positioned") << idText(6) << QStringList{idText(6), "Fret 6", ""};
        QTest::newRow("unknown") << "AB" << QStringList{idText(0xAB), "", ""};
        QTest::newRow("not a number") << "train" << QStringList{"", "", ""};
        // The user chose none: the capture must not choose the first train in its place.
        QTest::newRow("none chosen") << QString() << QStringList{"", "", ""};
    }

    void selectTrain()
    {
        QFETCH(QString, train);
        Backend backend;
        BackendProbe::deliver(backend, 0, liveMap(backend));
        const quint64 revision = BackendProbe::viewParameters(backend).revision;
        QSignalSpy changed(&backend, &Backend::changed);

        if (train.isNull())
            backend.clearTrain();
        else
            backend.selectTrain(train);

        // Shown at once, without waiting for a capture; path and usage wait for it.
        QCOMPARE(changed.count(), 1);
        const QVariantMap data = backend.data();
        QTEST((QStringList{data.value("selectedTrainId").toString(),
                           data.value("selectedTrain").toString(),
                           data.value("selectedTrackId").toString()}),
              "selection");
        QCOMPARE(data.value("pathAvailable").toBool(), false);
        QVERIFY(!BackendProbe::staleTimerActive(backend));
        const ViewParameters view = BackendProbe::viewParameters(backend);
        QCOMPARE(view.revision, revision + 1);
        QCOMPARE(view.train, train.isNull()
                                 ? ViewParameters::noTrain
                                 : DataMap::parseIdText(data.value("selectedTrainId").toString()));
    }

    void replacedMapsDieOnTheReaderThread_data()
    {
        QTest::addColumn<int>("replacedBy");
        QTest::newRow("the next result") << int(NextResult);
        QTest::newRow("a result dropped as outdated") << int(OutdatedResult);
        QTest::newRow("a train selection") << int(TrainSelection);
        QTest::newRow("a disconnection") << int(Disconnection);
    }

    // The path of a published map (or the whole of a result that is not published) dies where the
    // reader thread drops what it is handed, not on the GUI thread.
    void replacedMapsDieOnTheReaderThread()
    {
        QFETCH(int, replacedBy);
        Backend backend;
        witnessDroppedOn = nullptr;
        {
            QVariantMap map = liveMap(backend);
            map.insert("mapPath", QVariantList{QVariant::fromValue(DropWitness())});
            if (replacedBy == OutdatedResult)
                backend.setView(2, QString(), QString(), 0);
            BackendProbe::deliver(backend, 0, map);
        }
        const bool published = backend.data().value("mapPath").toList().size() == 1;
        QCOMPARE(published, replacedBy != OutdatedResult);
        if (replacedBy == NextResult)
            BackendProbe::deliver(backend, 0, liveMap(backend));
        else if (replacedBy == TrainSelection)
            backend.selectTrain(idText(6));
        else if (replacedBy == Disconnection)
            backend.disconnectGame();
        QTRY_VERIFY(witnessDroppedOn.load() != nullptr);
        QCOMPARE(witnessDroppedOn.load(), BackendProbe::readerThread(backend));
    }

    void destroyingDuringCaptureWaitsForIt()
    {
        GameProcess large;
        QVERIFY2(large.start({"--size", "large"}), qPrintable(large.errorString()));
        auto backend = std::make_unique<Backend>();
        backend->connectGame(QString::number(large.processId()));
        WAIT_UNTIL_LIVE(*backend, 60000);

        // Catch the reader inside a capture (a snapshot is open), then destroy the Backend.
        QDeadlineTimer deadline(20000);
        while (GameProcess::openSnapshotCount() == 0 && !deadline.hasExpired())
            QCoreApplication::processEvents();
        QVERIFY2(GameProcess::openSnapshotCount() > 0, "never caught the reader inside a capture");
        backend.reset();
        QCOMPARE(GameProcess::openSnapshotCount(), 0u);
    }

    void endlessWaitEnds_data()
    {
        QTest::addColumn<bool>(
            "observing"); // the first request: the game, or a process without one
        QTest::addColumn<int>("endBy");
        QTest::newRow("idle after a failure, new request") << false << int(NewRequest);
        QTest::newRow("observing, between captures, new request") << true << int(NewRequest);
        QTest::newRow("idle, stop() and wait()") << false << int(StopAndWait);
        QTest::newRow("idle, destroying the reader") << false << int(DestroyReader);
        QTest::newRow("idle, destroying the Backend") << false << int(DestroyBackend);
    }

    // The reader waits without end, idle after a failure or for its next capture. A new request
    // must end that wait, its result being the next to arrive, and so must stopping the reader (if
    // either waited it out, the test would never finish).
    void endlessWaitEnds()
    {
        QFETCH(bool, observing);
        QFETCH(int, endBy);
        if (endBy == DestroyBackend) {
            auto backend = std::make_unique<Backend>();
            BackendProbe::setReaderIdleInterval(*backend, endlessWaitMs);
            backend->connectGame(QString::number(notAGame()));
            QTRY_VERIFY(status(*backend) != QStringLiteral("Connexion…"));
            QVERIFY2(!isLive(*backend), qPrintable(status(*backend)));
            backend.reset();
            return;
        }

        QList<QPair<quint64, QVariantMap>> results;
        auto reader = std::make_unique<ReaderThread>();
        reader->setIdleInterval(endlessWaitMs);
        reader->setCapturePeriod(endlessWaitMs);
        QObject receiver; // on this thread, so results arrive queued, as they reach Backend
        connect(reader.get(), &ReaderThread::received, &receiver,
                [&](uint64_t request, const QVariantMap &data) {
                    results.append({request, data});
                });
        reader->start();
        const quint64 first = requestWord(1, observing ? m_game.processId() : notAGame());
        reader->exchangeRequest(first);
        QTRY_COMPARE(results.size(), 1);
        QCOMPARE(results[0].first, first);
        QCOMPARE(results[0].second.value("live").toBool(), observing);
        if (endBy == NewRequest) {
            reader->clearPending();
            const quint64 second = requestWord(2, m_game.processId());
            reader->exchangeRequest(second);
            QTRY_COMPARE(results.size(), 2);
            QCOMPARE(results[1].first, second);
            QVERIFY2(results[1].second.value("live").toBool(),
                     qPrintable(results[1].second.value("status").toString()));
        } else if (endBy == StopAndWait) {
            reader->stop();
            QVERIFY(reader->wait());
        }
        reader.reset();
    }

private:
    // The live map of the tests' world as of this backend's view revision.
    QVariantMap liveMap(Backend &backend) const
    {
        QVariantMap map = m_liveMap;
        map.insert("viewRevision", BackendProbe::viewParameters(backend).revision);
        return map;
    }

    QTemporaryDir m_dir;
    GameProcess m_game;
    QVariantMap m_liveMap;
};

QTEST_GUILESS_MAIN(TestBackend)
#include "tst_backend.moc"
