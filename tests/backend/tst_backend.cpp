// Backend against the real game, found by its process id: connection, acceptance of results,
// ageing, the view choices and the train selection. Results with a request word or revision of
// the test's choosing go in through BackendProbe.

#include "BackendProbe.h"
#include "DataMap.h"
#include "GameProcess.h"
#include "SdkApi.h"
#include "SdkLoader.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLibrary>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>

using DataMap::idText;

namespace {

std::atomic<int> snapshotLines{0};
QtMessageHandler previousHandler = nullptr;

// Counts the reader's "SDK snapshot:" lines (written from its thread): one per capture that
// starts a connection.
void countSnapshotLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtInfoMsg && message.startsWith(QLatin1String("SDK snapshot:")))
        ++snapshotLines;
    if (previousHandler)
        previousHandler(type, context, message);
}

QString status(const Backend &backend)
{
    return backend.data().value(QStringLiteral("status")).toString();
}

bool isLive(const Backend &backend)
{
    return backend.data().value(QStringLiteral("live")).toBool();
}

QJsonObject object(std::initializer_list<QPair<QString, QJsonValue>> fields)
{
    QJsonObject result;
    for (const auto &field : fields)
        result.insert(field.first, field.second);
    return result;
}

// A small frozen world: one positioned train with a path and usage, one present but unpositioned
// train, two signals, one with a native state and a texture.
QJsonObject smallWorld()
{
    QJsonObject world;
    world.insert(QStringLiteral("stations"),
                 QJsonArray{object({{"id", 26}, {"name", QStringLiteral("Gare Nord")}})});
    world.insert(QStringLiteral("tracks"),
                 QJsonArray{object({{"id", 1}, {"stationId", 26}, {"speedLimit", 22.5}}),
                            object({{"id", 2}, {"stationId", 26}, {"speedLimit", 10.0}}),
                            object({{"id", 3}, {"stationId", 0}, {"speedLimit", 30.0}})});
    world.insert(QStringLiteral("nodes"),
                 QJsonArray{object({{"id", 1}, {"neighbour1", 2}, {"x", 0.0}, {"y", 0.0}}),
                            object({{"id", 2}, {"neighbour1", 1}, {"x", 100.0}, {"y", 0.0}})});
    world.insert(QStringLiteral("trains"),
                 QJsonArray{object({{"id", 5},
                                    {"name", QStringLiteral("IC 12")},
                                    {"trackId", 1},
                                    {"speed", 12.5},
                                    {"fraction", 0.457},
                                    {"sense", 1},
                                    {"flags", 3},
                                    {"path", QJsonArray{1, 2}}}),
                            object({{"id", 6}, {"name", QStringLiteral("Fret 7")}, {"flags", 1}})});
    world.insert(
        QStringLiteral("signals"),
        QJsonArray{
            object({{"id", 100}, {"trackId", 1}, {"fraction", 0.5}, {"sense", 1}, {"kind", 1}}),
            object({{"id", 101}, {"trackId", 2}, {"fraction", 0.2}, {"kind", 3}})});
    world.insert(QStringLiteral("signalStates"), QJsonArray{object({{"signalId", 100},
                                                                    {"flags", 6},
                                                                    {"nativeState", 2},
                                                                    {"label1", "Voie libre"},
                                                                    {"label2", "VL"}})});
    world.insert(QStringLiteral("signalTextures"),
                 QJsonArray{object({{"signalId", 100}, {"flags", 2}, {"path", "/tmp/vl.png"}})});
    world.insert(
        QStringLiteral("reservations"),
        QJsonArray{object({{"trainId", 5}, {"trackId", 2}, {"begin", 0.0}, {"end", 1.0}})});
    world.insert(
        QStringLiteral("occupations"),
        QJsonArray{object({{"trainId", 5}, {"trackId", 1}, {"begin", 0.3}, {"end", 0.6}})});
    return world;
}

} // namespace

class TestBackend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void startsDisconnected();
    void connectGame_data();
    void connectGame();
    void everyConnectionGetsItsOwnRequestWord();
    void typedProcessIdGoesLive();

    void resultAfterDisconnectIsDroppedAndReleasesTheReader();
    void resultOfAnEarlierConnectionIsDropped();
    void noCaptureWhileAResultIsPending();
    void olderViewRevisionIsDroppedErrorMapIsNot();
    void pathIsShownOnlyForALiveSelectedTrain();
    void liveMapAgesWithoutLiveResults();
    void errorMapDoesNotAge();

    void setView_data();
    void setView();
    void sameViewTwiceRaisesTheRevisionTwice();
    void selectTrain_data();
    void selectTrain();
    void selectTrainOnStatusOnlyMap();
    void nextCaptureServesTheSelectedTrain();

    void destroyingDuringCaptureWaitsForIt();
    void mediumWorldArrivalRate();

private:
    // A live map of the small world for a backend connected to the game by its process id.
    bool waitUntilLive(Backend &backend, int timeoutMs = 20000);

    QTemporaryDir m_dir;
    GameProcess m_game;
    QVariantMap m_liveMap;
};

void TestBackend::initTestCase()
{
    QString error;
    QVERIFY2(loadSdk(&error), qPrintable(error));
    QVERIFY(m_dir.isValid());
    const QString scenario = GameProcess::writeScenario(smallWorld(), m_dir.path());
    QVERIFY2(m_game.start({QStringLiteral("--scenario"), scenario}),
             qPrintable(m_game.errorString()));

    Backend backend;
    backend.connectGame(QString::number(m_game.processId()));
    QVERIFY(waitUntilLive(backend));
    m_liveMap = backend.data();
    previousHandler = qInstallMessageHandler(countSnapshotLines);
}

void TestBackend::cleanupTestCase()
{
    qInstallMessageHandler(previousHandler);
    m_game.stop();
}

bool TestBackend::waitUntilLive(Backend &backend, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!isLive(backend) && !deadline.hasExpired())
        QTest::qWait(20);
    if (!isLive(backend))
        qWarning() << "still not live:" << status(backend);
    return isLive(backend);
}

void TestBackend::startsDisconnected()
{
    Backend backend;
    QCOMPARE(backend.data(), DataMap::baseDataMap(QStringLiteral("Déconnecté")));
    QCOMPARE(BackendProbe::requestWord(backend), quint64(0));
    QCOMPARE(backend.property("data").toMap(), backend.data());
}

void TestBackend::connectGame_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<quint32>("processId");

    QTest::newRow("empty searches") << QString() << true << 0u;
    QTest::newRow("blanks search") << QStringLiteral(" \t ") << true << 0u;
    QTest::newRow("blanks around a number") << QStringLiteral("  4242 \n") << true << 4242u;
    QTest::newRow("largest 32-bit") << QStringLiteral("4294967295") << true << 4294967295u;
    QTest::newRow("zero") << QStringLiteral("0") << false << 0u;
    QTest::newRow("letters") << QStringLiteral("abc") << false << 0u;
    QTest::newRow("number then letters") << QStringLiteral("12ab") << false << 0u;
    QTest::newRow("past 32 bits") << QStringLiteral("4294967296") << false << 0u;
    QTest::newRow("negative") << QStringLiteral("-5") << false << 0u;
}

void TestBackend::connectGame()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(quint32, processId);

    Backend backend;
    QSignalSpy changed(&backend, &Backend::changed);
    QList<QString> published;
    connect(&backend, &Backend::changed, &backend, [&] { published.append(status(backend)); });

    backend.connectGame(text);

    const quint64 word = BackendProbe::requestWord(backend);
    if (accepted) {
        QCOMPARE(published, QList<QString>{QStringLiteral("Connexion…")});
        QCOMPARE(backend.data(), DataMap::baseDataMap(QStringLiteral("Connexion…")));
        QCOMPARE(quint32(word & 0xFFFFFFFFu), processId);
        QCOMPARE(word >> 32, quint64(1));
    } else {
        QCOMPARE(published,
                 (QList<QString>{QStringLiteral("Déconnecté"), QStringLiteral("PID invalide")}));
        QCOMPARE(backend.data(), DataMap::baseDataMap(QStringLiteral("PID invalide")));
        QCOMPARE(word, quint64(0));
    }
}

void TestBackend::everyConnectionGetsItsOwnRequestWord()
{
    Backend backend;
    backend.connectGame(QStringLiteral("77"));
    const quint64 first = BackendProbe::requestWord(backend);
    backend.connectGame(QStringLiteral("77"));
    const quint64 second = BackendProbe::requestWord(backend);
    QCOMPARE(first & 0xFFFFFFFFu, quint64(77));
    QCOMPARE(second & 0xFFFFFFFFu, quint64(77));
    QVERIFY(first != second);

    // A rejected text disconnects; the next accepted one still gets a fresh word.
    backend.connectGame(QStringLiteral("x"));
    QCOMPARE(BackendProbe::requestWord(backend), quint64(0));
    backend.connectGame(QStringLiteral("77"));
    const quint64 third = BackendProbe::requestWord(backend);
    QVERIFY(third != first && third != second);
}

void TestBackend::typedProcessIdGoesLive()
{
    Backend backend;
    backend.connectGame(QStringLiteral(" %1 ").arg(m_game.processId()));
    QCOMPARE(status(backend), QStringLiteral("Connexion…"));
    QVERIFY(waitUntilLive(backend));
    const QVariantMap data = backend.data();
    QCOMPARE(data.value("status").toString(),
             QStringLiteral("Connecté · PID %1").arg(m_game.processId()));
    QCOMPARE(data.value("trainCount").toInt(), 2);
    QCOMPARE(data.value("trackCount").toInt(), 3);
    QCOMPARE(data.value("signalCount").toInt(), 2);
    QCOMPARE(data.value("viewRevision").toULongLong(),
             BackendProbe::viewParameters(backend).revision);

    // Live results keep coming: "updated" moves on while the map stays live.
    const QString updated = data.value("updated").toString();
    QTRY_VERIFY_WITH_TIMEOUT(backend.data().value("updated").toString() != updated, 10000);
    QVERIFY(isLive(backend));
}

void TestBackend::resultAfterDisconnectIsDroppedAndReleasesTheReader()
{
    Backend backend;
    backend.connectGame(QString::number(m_game.processId()));
    QVERIFY(waitUntilLive(backend));

    // Wait, without delivering anything, for the reader to hand over its next map.
    QDeadlineTimer deadline(10000);
    while (!BackendProbe::isPending(backend) && !deadline.hasExpired())
        QThread::msleep(5);
    QVERIFY(BackendProbe::isPending(backend));

    backend.disconnectGame();
    QSignalSpy changed(&backend, &Backend::changed);
    QTRY_VERIFY_WITH_TIMEOUT(!BackendProbe::isPending(backend), 10000);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(backend.data(), DataMap::baseDataMap(QStringLiteral("Déconnecté")));
}

void TestBackend::resultOfAnEarlierConnectionIsDropped()
{
    Backend backend;
    backend.connectGame(QStringLiteral("4242"));
    const quint64 earlier = BackendProbe::requestWord(backend);
    backend.connectGame(QStringLiteral("4242"));
    const QVariantMap connecting = backend.data();
    QSignalSpy changed(&backend, &Backend::changed);

    QVariantMap result = m_liveMap;
    result.insert(QStringLiteral("viewRevision"), BackendProbe::viewParameters(backend).revision);
    BackendProbe::deliver(backend, earlier, result);
    BackendProbe::deliver(backend, earlier, DataMap::baseDataMap(QStringLiteral("erreur")));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(backend.data(), connecting);

    // The same result for the current word is taken.
    BackendProbe::deliver(backend, BackendProbe::requestWord(backend), result);
    QCOMPARE(changed.count(), 1);
    QVERIFY(isLive(backend));
}

void TestBackend::noCaptureWhileAResultIsPending()
{
    Backend backend;
    backend.connectGame(QString::number(m_game.processId()));
    QVERIFY(waitUntilLive(backend));
    QDeadlineTimer deadline(10000);
    while (!BackendProbe::isPending(backend) && !deadline.hasExpired())
        QThread::msleep(5);
    QVERIFY(BackendProbe::isPending(backend));

    // A new connection while the last map waits undelivered: the reader drops its session but
    // must not capture for the new one (whose first capture would log a line) until the GUI
    // thread has taken that map. A second is four capture periods.
    const int linesBefore = snapshotLines;
    backend.connectGame(QString::number(m_game.processId()));
    QThread::msleep(1000);
    QCOMPARE(snapshotLines - linesBefore, 0);
    QVERIFY(BackendProbe::isPending(backend));

    QVERIFY(waitUntilLive(backend));
    QCOMPARE(snapshotLines - linesBefore, 1);
}

void TestBackend::olderViewRevisionIsDroppedErrorMapIsNot()
{
    Backend backend;
    backend.connectGame(QStringLiteral("4242"));
    const quint64 word = BackendProbe::requestWord(backend);
    const quint64 before = BackendProbe::viewParameters(backend).revision;
    backend.setView(2, QString(), QString(), 0);
    QCOMPARE(BackendProbe::viewParameters(backend).revision, before + 1);

    QSignalSpy changed(&backend, &Backend::changed);
    QVariantMap older = m_liveMap;
    older.insert(QStringLiteral("viewRevision"), before);
    BackendProbe::deliver(backend, word, older);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(status(backend), QStringLiteral("Connexion…"));

    const QVariantMap error = DataMap::baseDataMap(QStringLiteral("Session perdue"));
    BackendProbe::deliver(backend, word, error);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(backend.data(), error);
    QVERIFY(!BackendProbe::staleTimerActive(backend));

    QVariantMap current = m_liveMap;
    current.insert(QStringLiteral("viewRevision"), before + 1);
    BackendProbe::deliver(backend, word, current);
    QCOMPARE(changed.count(), 2);
    QVERIFY(isLive(backend));
    QVERIFY(BackendProbe::staleTimerActive(backend));
}

void TestBackend::pathIsShownOnlyForALiveSelectedTrain()
{
    QVERIFY2(m_liveMap.value("pathAvailable").toBool(), "the small world's train has a path");
    Backend backend;
    const quint64 revision = BackendProbe::viewParameters(backend).revision;

    QVariantMap noSelection = m_liveMap;
    noSelection.insert(QStringLiteral("selectedTrainId"), QString());
    noSelection.insert(QStringLiteral("viewRevision"), revision);
    BackendProbe::deliver(backend, 0, noSelection);
    QVariantMap data = backend.data();
    QCOMPARE(data.value("mapPath").toList(), QVariantList());
    QCOMPARE(data.value("pathAvailable").toBool(), false);
    QCOMPARE(data.value("pathSize"), QVariant(0));
    QCOMPARE(data.value("pathStale").toBool(), false);

    QVariantMap notLive = m_liveMap;
    notLive.insert(QStringLiteral("live"), false);
    notLive.insert(QStringLiteral("viewRevision"), revision);
    BackendProbe::deliver(backend, 0, notLive);
    QCOMPARE(backend.data().value("pathAvailable").toBool(), false);

    QVariantMap selected = m_liveMap;
    selected.insert(QStringLiteral("viewRevision"), revision);
    BackendProbe::deliver(backend, 0, selected);
    QCOMPARE(backend.data().value("mapPath"), m_liveMap.value("mapPath"));
    QCOMPARE(backend.data().value("pathAvailable").toBool(), true);
}

void TestBackend::liveMapAgesWithoutLiveResults()
{
    // Disconnected, the reader is idle: the one live map handed in is the last one.
    Backend backend;
    QVariantMap live = m_liveMap;
    live.insert(QStringLiteral("viewRevision"), BackendProbe::viewParameters(backend).revision);
    BackendProbe::deliver(backend, 0, live);
    QVERIFY(isLive(backend));
    QSignalSpy changed(&backend, &Backend::changed);

    QTRY_VERIFY_WITH_TIMEOUT(backend.data().value("pathStale").toBool(), 10000);
    const QVariantMap aged = backend.data();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(aged.value("usageStale").toBool(), true);
    QCOMPARE(aged.value("pathAvailable").toBool(), false);
    QCOMPARE(aged.value("mapReservations").toList(), QVariantList());
    QCOMPARE(aged.value("reservationsAvailable").toBool(), false);
    QCOMPARE(aged.value("signalStateCount"), QVariant(0));
    QCOMPARE(aged.value("signalTextureCount"), QVariant(0));
    QCOMPARE(aged.value("live").toBool(), true);
    QCOMPARE(aged.value("status"), m_liveMap.value("status"));
    QCOMPARE(aged.value("trainCount"), m_liveMap.value("trainCount"));
    QCOMPARE(aged.value("trains"), m_liveMap.value("trains"));
    QCOMPARE(aged.value("tracks").toList().size(), m_liveMap.value("tracks").toList().size());
    int signalEntries = 0;
    for (const QVariant &track : aged.value("tracks").toList()) {
        for (const QVariant &signal : track.toMap().value("signals").toList()) {
            QCOMPARE(signal.toMap().value("aspect").toString(), QStringLiteral("Périmé"));
            QCOMPARE(signal.toMap().value("textureUrl").toString(), QString());
            ++signalEntries;
        }
    }
    QVERIFY(signalEntries > 0);
    for (const QVariant &entry : aged.value("mapSignals").toList())
        QCOMPARE(entry.toMap().value("stateAvailable").toBool(), false);

    // Aged once: the timer is single-shot and no other emission follows.
    QVERIFY(!BackendProbe::staleTimerActive(backend));
}

void TestBackend::errorMapDoesNotAge()
{
    Backend backend;
    QVariantMap live = m_liveMap;
    live.insert(QStringLiteral("viewRevision"), BackendProbe::viewParameters(backend).revision);
    BackendProbe::deliver(backend, 0, live);
    QVERIFY(BackendProbe::staleTimerActive(backend));
    BackendProbe::deliver(backend, 0, DataMap::baseDataMap(QStringLiteral("Session perdue")));
    QVERIFY(!BackendProbe::staleTimerActive(backend));
}

void TestBackend::setView_data()
{
    QTest::addColumn<int>("scope");
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("track");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("storedScope");
    QTest::addColumn<quint64>("storedStation");
    QTest::addColumn<quint64>("storedTrack");
    QTest::addColumn<int>("storedPage");

    QTest::newRow("as given") << 1 << "000000000000001A"
                              << "0000000000000001" << 2 << 1 << quint64(26) << quint64(1) << 2;
    QTest::newRow("scope past the end") << 7 << ""
                                        << "" << 0 << 3 << quint64(0) << quint64(0) << 0;
    QTest::newRow("negative scope and page") << -1 << ""
                                             << "" << -4 << 0 << quint64(0) << quint64(0) << 0;
    QTest::newRow("station not hexadecimal") << 2 << "Gare"
                                             << "" << 0 << 2 << quint64(0) << quint64(0) << 0;
    QTest::newRow("largest id") << 3 << ""
                                << "FFFFFFFFFFFFFFFF" << 0 << 3 << quint64(0) << ~quint64(0) << 0;
}

void TestBackend::setView()
{
    QFETCH(int, scope);
    QFETCH(QString, station);
    QFETCH(QString, track);
    QFETCH(int, page);

    Backend backend;
    backend.selectTrain(QStringLiteral("5"));
    const ViewParameters before = BackendProbe::viewParameters(backend);
    const QVariantMap data = backend.data();
    QSignalSpy changed(&backend, &Backend::changed);

    backend.setView(scope, station, track, page);

    const ViewParameters view = BackendProbe::viewParameters(backend);
    QTEST(view.scope, "storedScope");
    QTEST(view.station, "storedStation");
    QTEST(view.track, "storedTrack");
    QTEST(view.page, "storedPage");
    QCOMPARE(view.revision, before.revision + 1);
    QCOMPARE(view.train, quint64(5));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(backend.data(), data);
}

void TestBackend::sameViewTwiceRaisesTheRevisionTwice()
{
    Backend backend;
    backend.setView(2, QString(), QString(), 0);
    const quint64 between = BackendProbe::viewParameters(backend).revision;
    backend.setView(2, QString(), QString(), 0);
    QCOMPARE(BackendProbe::viewParameters(backend).revision, between + 1);

    // A result computed between the two calls is dropped.
    QVariantMap result = m_liveMap;
    result.insert(QStringLiteral("viewRevision"), between);
    QSignalSpy changed(&backend, &Backend::changed);
    BackendProbe::deliver(backend, 0, result);
    QCOMPARE(changed.count(), 0);
}

void TestBackend::selectTrain_data()
{
    QTest::addColumn<QString>("train");
    QTest::addColumn<QString>("selectedTrainId");
    QTest::addColumn<QString>("selectedTrain");
    QTest::addColumn<QString>("selectedTrackId");

    QTest::newRow("listed and positioned") << "0000000000000005"
                                           << "0000000000000005"
                                           << "IC 12"
                                           << "0000000000000001";
    QTest::newRow("short id text") << "5"
                                   << "0000000000000005"
                                   << "IC 12"
                                   << "0000000000000001";
    QTest::newRow("listed, not positioned") << "0000000000000006"
                                            << "0000000000000006"
                                            << "Fret 7"
                                            << "";
    QTest::newRow("unknown") << "00000000000000AB"
                             << "00000000000000AB"
                             << ""
                             << "";
    QTest::newRow("empty") << ""
                           << ""
                           << ""
                           << "";
    QTest::newRow("not a number") << "train"
                                  << ""
                                  << ""
                                  << "";
}

void TestBackend::selectTrain()
{
    QFETCH(QString, train);

    Backend backend;
    QVariantMap live = m_liveMap;
    live.insert(QStringLiteral("viewRevision"), BackendProbe::viewParameters(backend).revision);
    BackendProbe::deliver(backend, 0, live);
    QVERIFY(BackendProbe::staleTimerActive(backend));
    const quint64 revision = BackendProbe::viewParameters(backend).revision;
    QSignalSpy changed(&backend, &Backend::changed);

    backend.selectTrain(train);

    // Shown at once, without waiting for a capture.
    QCOMPARE(changed.count(), 1);
    const QVariantMap data = backend.data();
    QTEST(data.value("selectedTrainId").toString(), "selectedTrainId");
    QTEST(data.value("selectedTrain").toString(), "selectedTrain");
    QTEST(data.value("selectedTrackId").toString(), "selectedTrackId");
    QCOMPARE(data.value("pathAvailable").toBool(), false);
    QCOMPARE(data.value("pathStale").toBool(), false);
    QCOMPARE(data.value("mapPath").toList(), QVariantList());
    QCOMPARE(data.value("reservationsAvailable").toBool(), false);
    QCOMPARE(data.value("usageStale").toBool(), false);
    QCOMPARE(data.value("signalStateCount"), QVariant(0));
    QCOMPARE(data.value("trains"), m_liveMap.value("trains"));
    QVERIFY(!BackendProbe::staleTimerActive(backend));

    const ViewParameters view = BackendProbe::viewParameters(backend);
    QCOMPARE(view.revision, revision + 1);
    QCOMPARE(view.train, DataMap::parseIdText(data.value("selectedTrainId").toString()));
}

void TestBackend::selectTrainOnStatusOnlyMap()
{
    Backend backend;
    backend.selectTrain(QStringLiteral("0000000000000005"));
    QVariantMap expected = DataMap::baseDataMap(QStringLiteral("Déconnecté"));
    expected.insert(QStringLiteral("mapSignals"), QVariantList());
    expected.insert(QStringLiteral("signalStateCount"), 0);
    expected.insert(QStringLiteral("signalTextureCount"), 0);
    expected.insert(QStringLiteral("selectedTrainId"), QStringLiteral("0000000000000005"));
    QCOMPARE(backend.data(), expected);
}

void TestBackend::nextCaptureServesTheSelectedTrain()
{
    Backend backend;
    backend.connectGame(QString::number(m_game.processId()));
    QVERIFY(waitUntilLive(backend));
    QCOMPARE(backend.data().value("selectedTrainId").toString(), idText(5));

    backend.selectTrain(idText(6));
    QCOMPARE(backend.data().value("selectedTrain").toString(), QStringLiteral("Fret 7"));
    const quint64 revision = BackendProbe::viewParameters(backend).revision;
    QTRY_VERIFY_WITH_TIMEOUT(backend.data().value("viewRevision").toULongLong() == revision, 10000);
    const QVariantMap data = backend.data();
    QCOMPARE(data.value("selectedTrainId").toString(), idText(6));
    QCOMPARE(data.value("selectedTrain").toString(), QStringLiteral("Fret 7"));
    QCOMPARE(data.value("pathAvailable").toBool(), false);

    backend.setView(3, QString(), idText(2), 0);
    const quint64 viewRevision = BackendProbe::viewParameters(backend).revision;
    QTRY_VERIFY_WITH_TIMEOUT(backend.data().value("viewRevision").toULongLong() == viewRevision,
                             10000);
    const QVariantList tracks = backend.data().value("tracks").toList();
    QCOMPARE(tracks.size(), 1);
    QCOMPARE(tracks.first().toMap().value("id").toString(), idText(2));
}

void TestBackend::destroyingDuringCaptureWaitsForIt()
{
    QLibrary library(QCoreApplication::applicationDirPath() + QStringLiteral("/ZorvyRailsSDK.dll"));
    using CountFn = quint32 (*)();
    const auto openSnapshots =
        reinterpret_cast<CountFn>(library.resolve("ZorvySim_OpenSnapshotCount"));
    QVERIFY2(openSnapshots, qPrintable(library.errorString()));

    GameProcess large;
    QVERIFY2(large.start({QStringLiteral("--size"), QStringLiteral("large")}),
             qPrintable(large.errorString()));
    auto backend = std::make_unique<Backend>();
    backend->connectGame(QString::number(large.processId()));
    QVERIFY(waitUntilLive(*backend, 60000));

    // Catch the reader inside a capture (a snapshot is open), then destroy the Backend.
    QDeadlineTimer deadline(20000);
    while (openSnapshots() == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents();
    QVERIFY2(openSnapshots() > 0, "never caught the reader inside a capture");
    backend.reset();
    QCOMPARE(openSnapshots(), 0u);
}

// Not a speed check: logs how many live maps of a medium world the GUI thread receives per second.
void TestBackend::mediumWorldArrivalRate()
{
    GameProcess medium;
    QVERIFY2(medium.start({QStringLiteral("--size"), QStringLiteral("medium")}),
             qPrintable(medium.errorString()));
    Backend backend;
    backend.connectGame(QString::number(medium.processId()));
    QVERIFY(waitUntilLive(backend, 60000));

    int liveMaps = 0;
    connect(&backend, &Backend::changed, this, [&] { liveMaps += isLive(backend) ? 1 : 0; });
    QElapsedTimer elapsed;
    elapsed.start();
    QTest::qWait(3000);
    const double seconds = elapsed.elapsed() / 1000.0;
    const QVariantMap data = backend.data();
    qInfo("medium world (%d trains, %d tracks, %d signals): %.2f live data maps per second, "
          "last capture %lld ms",
          data.value("trainCount").toInt(), data.value("trackCount").toInt(),
          data.value("signalCount").toInt(), liveMaps / seconds,
          data.value("captureMs").toLongLong());
    QVERIFY(liveMaps > 0);
}

QTEST_GUILESS_MAIN(TestBackend)
#include "tst_backend.moc"
