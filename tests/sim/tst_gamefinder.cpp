// Finding the game by its process name. Every test that looks for the game by name holds the
// resource lock zorvy_game_by_name, so no other test's game can be running meanwhile; a game
// that some other program started is reported, not silently counted.

#include "GameFinder.h"
#include "GameProcess.h"
#include "SdkCalls.h"
#include "SdkLoader.h"

#include <QTemporaryDir>
#include <QtTest>

class TestGameFinder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void aGameFoundByNameCanBeObserved();
    void exactlyOneGameIsFound();
    void nameIsComparedIgnoringCase();
};

void TestGameFinder::init()
{
    const QList<qint64> foreign = GameFinder::runningGames();
    if (!foreign.isEmpty()) {
        QStringList pids;
        for (qint64 pid : foreign)
            pids << QString::number(pid);
        QFAIL(qPrintable(QStringLiteral("A ZorvyRails.exe that this test did not start is running "
                                        "(PID %1); stop it and run the test again.")
                             .arg(pids.join(QStringLiteral(", ")))));
    }
}

void TestGameFinder::initTestCase()
{
    QString error;
    QVERIFY2(loadSdk(&error), qPrintable(error));
}

// What a new user does: start a medium world, find it by name, open it and copy every list.
void TestGameFinder::aGameFoundByNameCanBeObserved()
{
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("medium")}),
             qPrintable(game.errorString()));
    const uint32_t found = GameFinder::findUniqueGame();
    QCOMPARE(qint64(found), game.processId());
    ScopedSession session;
    QCOMPARE(session.open(found), 0u);
    ScopedSnapshot snapshot;
    QCOMPARE(snapshot.capture(session.handle), 0u);
    SdkStatus status = 0;
    QVERIFY(copyAll(&ZorvySdk_CopyTrains, snapshot.handle, &status).size() > 50);
    QVERIFY(copyAll(&ZorvySdk_CopyTracks, snapshot.handle, &status).size() > 3000);
    QVERIFY(copyAll(&ZorvySdk_CopyStations, snapshot.handle, &status).size() > 50);
    QVERIFY(copyAll(&ZorvySdk_CopySignals, snapshot.handle, &status).size() > 1000);
    QVERIFY(copyAll(&ZorvySdk_CopySignalStates, snapshot.handle, &status).size() > 1000);
    QVERIFY(copyAll(&ZorvySdk_CopySignalTextures, snapshot.handle, &status).size() > 1000);
    QVERIFY(copyAll(&ZorvySdk_CopyTrackNodes, snapshot.handle, &status).size() > 3000);
    QVERIFY(copyAll(&ZorvySdk_CopyTrackReservations, snapshot.handle, &status).size() > 50);
    QVERIFY(copyAll(&ZorvySdk_CopyTrackOccupations, snapshot.handle, &status).size() > 50);
    QCOMPARE(status, 0u);
}

void TestGameFinder::exactlyOneGameIsFound()
{
    QCOMPARE(GameFinder::findUniqueGame(), 0u);
    GameProcess first;
    QVERIFY2(first.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(first.errorString()));
    QCOMPARE(qint64(GameFinder::findUniqueGame()), first.processId());
    QCOMPARE(GameProcess::runningGames(), QList<qint64>{first.processId()});

    GameProcess second;
    QVERIFY2(second.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(second.errorString()));
    QCOMPARE(GameFinder::findUniqueGame(), 0u); // two games: none is "the" game
    QCOMPARE(GameProcess::runningGames().size(), 2);

    first.stop();
    QCOMPARE(qint64(GameFinder::findUniqueGame()), second.processId());
    second.stop();
    QCOMPARE(GameFinder::findUniqueGame(), 0u);
}

void TestGameFinder::nameIsComparedIgnoringCase()
{
    QTemporaryDir dir;
    const QString renamed = dir.filePath(QStringLiteral("zorvyRAILS.EXE"));
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/ZorvyRails.exe"),
                        renamed));
    QProcess game; // its destructor kills the game should the test fail half-way
    game.start(renamed, {QStringLiteral("--size"), QStringLiteral("small")});
    QVERIFY(game.waitForStarted());
    QByteArray output; // the macro evaluates its condition more than once
    QTRY_VERIFY_WITH_TIMEOUT((output += game.readAllStandardOutput()).contains("ready"), 20000);
    QCOMPARE(qint64(GameFinder::findUniqueGame()), game.processId());
    game.terminate();
    QVERIFY(game.waitForFinished(10000));
    QCOMPARE(GameFinder::findUniqueGame(), 0u);
}

QTEST_GUILESS_MAIN(TestGameFinder)
#include "tst_gamefinder.moc"
