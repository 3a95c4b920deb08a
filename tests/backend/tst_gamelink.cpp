// The game found by its name: several running games (up to a thousand processes of its name), a
// game that dies and comes back. These tests
// look at every process named "ZorvyRails.exe", so they hold the zorvy_game_by_name lock and
// refuse to run beside a game they did not start.

#include "BackendProbe.h"
#include "DataMap.h"
#include "GameProcess.h"
#include "SdkApi.h"
#include "SdkLoader.h"

#include <QtTest>

#include <memory>
#include <vector>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString noUniqueGame =
    QStringLiteral("Aucun jeu unique détecté · démarrer le jeu ou saisir son PID");

#define START_SMALL_GAME(game)                                                                     \
    QVERIFY2((game).start({"--size", "small"}), qPrintable((game).errorString()))

} // namespace

class TestGameLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(loadSdk(&error), qPrintable(error));
        previousHandler = qInstallMessageHandler(countSnapshotLines);
    }
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }
    void init()
    {
        const QList<qint64> foreign = GameProcess::runningGames();
        // A game this test did not start: stop it, these tests find the game by name.
        QVERIFY2(foreign.isEmpty(), qPrintable(QString::number(foreign.value(0))));
    }
    void severalGamesAskForTheProcessId_data();
    void severalGamesAskForTheProcessId();
    void deadGameIsReportedAndRestartedGameFound();
};

// Processes that only bear the game's name: copies of sleep named "ZorvyRails.exe", killed when
// the object dies.
struct NamedLikeTheGame
{
    QTemporaryDir dir;
    std::vector<pid_t> ids;

    bool start(int count)
    {
        const QString program = dir.filePath(QStringLiteral("ZorvyRails.exe"));
        if (count > 0 && !QFile::copy(QStringLiteral("/bin/sleep"), program))
            return false;
        const QByteArray path = QFile::encodeName(program);
        char name[] = "ZorvyRails.exe", seconds[] = "600";
        char *arguments[] = {name, seconds, nullptr};
        for (int i = 0; i < count; ++i) {
            pid_t id = 0;
            if (::posix_spawn(&id, path.constData(), nullptr, nullptr, arguments, environ) != 0)
                return false;
            ids.push_back(id);
        }
        return true;
    }
    ~NamedLikeTheGame()
    {
        for (const pid_t id : ids)
            ::kill(id, SIGKILL);
        for (const pid_t id : ids)
            ::waitpid(id, nullptr, 0);
    }
};

void TestGameLink::severalGamesAskForTheProcessId_data()
{
    QTest::addColumn<int>("games");  // real games, started first
    QTest::addColumn<int>("others"); // processes named like the game, started after them
    QTest::newRow("two games") << 2 << 0;
    QTest::newRow("eight") << 1 << 7;
    QTest::newRow("nine: one more") << 1 << 8;
    QTest::newRow("a thousand") << 1 << 999;
}

void TestGameLink::severalGamesAskForTheProcessId()
{
    QFETCH(int, games);
    QFETCH(int, others);
    GameProcess started[2];
    for (int i = 0; i < games; ++i)
        START_SMALL_GAME(started[i]);
    NamedLikeTheGame namesakes;
    QVERIFY(namesakes.start(others));
    Backend backend;
    QList<QVariantMap> published;
    connect(&backend, &Backend::changed, this, [&] { published.append(backend.data()); });
    backend.connectGame(QStringLiteral("  "));
    // The reader keeps trying, once a second, and says so each time.
    QTRY_VERIFY_WITH_TIMEOUT(published.size() >= 3, 20000);
    // Each time with the first eight process ids by start time, so that the window can offer
    // them, and how many more run.
    QVariantList first;
    for (int i = 0; i < games; ++i)
        first.append(quint32(started[i].processId()));
    for (int i = 0; first.size() < 8 && i < others; ++i)
        first.append(quint32(namesakes.ids[size_t(i)]));
    QVariantMap expected = DataMap::baseDataMap(noUniqueGame);
    expected.insert(QStringLiteral("gameProcesses"), first);
    if (games + others > 8)
        expected.insert(QStringLiteral("moreGameProcesses"), games + others - 8);
    for (int i = 1; i < published.size(); ++i)
        QCOMPARE(published.at(i), expected);

    // The user types one of them: live at once.
    backend.connectGame(QString::number(started[games - 1].processId()));
    WAIT_UNTIL_LIVE(backend, 20000);
    QCOMPARE(status(backend),
             QStringLiteral("Connecté · PID %1").arg(started[games - 1].processId()));
}

void TestGameLink::deadGameIsReportedAndRestartedGameFound()
{
    auto game = std::make_unique<GameProcess>();
    START_SMALL_GAME(*game);
    const int linesBefore = snapshotLines;
    Backend backend;
    QList<QVariantMap> failures;
    connect(&backend, &Backend::changed, this, [&] {
        if (!isLive(backend))
            failures.append(backend.data());
    });
    backend.connectGame(QString());
    WAIT_UNTIL_LIVE(backend, 20000);
    failures.clear();
    game->stop();
    QTRY_VERIFY_WITH_TIMEOUT(!failures.isEmpty(), 20000);
    // The first failure comes from the session on the dead game: one of the library's own status
    // texts, in a map that carries nothing but the status.
    const QString text = failures.first().value(QStringLiteral("status")).toString();
    bool libraryText = false;
    for (SdkStatus code = 1; code < 256; ++code)
        libraryText = libraryText || text == QString::fromUtf8(ZorvySdk_StatusString(code));
    QVERIFY2(libraryText && !text.isEmpty(), qPrintable(text));
    QCOMPARE(failures.first(), DataMap::baseDataMap(text));
    // Then the search by name finds nothing, and says so.
    QTRY_COMPARE_WITH_TIMEOUT(status(backend), noUniqueGame, 20000);

    game = std::make_unique<GameProcess>();
    START_SMALL_GAME(*game);
    WAIT_UNTIL_LIVE(backend, 20000);
    QCOMPARE(status(backend), QStringLiteral("Connecté · PID %1").arg(game->processId()));
    // Still the same connection: its first capture was logged, the recovered one is not.
    QCOMPARE(snapshotLines - linesBefore, 1);
}

QTEST_GUILESS_MAIN(TestGameLink)
#include "tst_gamelink.moc"
