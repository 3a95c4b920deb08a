// Finding the game by its process name. Every test that looks for the game by name holds the
// resource lock zorvy_game_by_name, so no other test's game can be running meanwhile; a game
// that some other program started is reported, not silently counted.

#include "GameProcessFinder.h"
#include "SdkCalls.h"
#include "SdkLoader.h"

#include <QtTest>

class TestGameFinder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(loadSdk(&error), qPrintable(error));
    }
    void init()
    {
        const qint64 foreign = GameProcess::runningGames().value(0);
        const QString message =
            QStringLiteral("Stop ZorvyRails.exe %1, which this test did not start");
        QVERIFY2(!foreign, qPrintable(message.arg(foreign)));
    }
    void aGameFoundByNameCanBeObserved();
    void nameIsComparedIgnoringCase();
};

// What a new user does: start a medium world, find it by name, open it and capture it.
void TestGameFinder::aGameFoundByNameCanBeObserved()
{
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size=medium")}), qPrintable(game.errorString()));
    const quint32 found = findGameProcess();
    QCOMPARE(qint64(found), game.processId());
    ScopedSession session;
    QCOMPARE(session.open(found), 0u);
    ScopedSnapshot snapshot;
    QCOMPARE(snapshot.capture(session.handle), 0u);
}

void TestGameFinder::nameIsComparedIgnoringCase()
{
    QTemporaryDir dir;
    const QString renamed = dir.filePath(QStringLiteral("zorvyRAILS.EXE"));
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/ZorvyRails.exe", renamed));
    QProcess game; // its destructor kills the game should the test fail half-way
    game.start(renamed, {QStringLiteral("--size=small")});
    QVERIFY(game.waitForStarted());
    QByteArray output; // the macro evaluates its condition more than once
    QTRY_VERIFY_WITH_TIMEOUT((output += game.readAllStandardOutput()).contains("ready"), 20000);
    QCOMPARE(qint64(findGameProcess()), game.processId());
    game.terminate();
    QVERIFY(game.waitForFinished(10000));
    QCOMPARE(findGameProcess(), 0u);
}

QTEST_GUILESS_MAIN(TestGameFinder)
#include "tst_gamefinder.moc"
