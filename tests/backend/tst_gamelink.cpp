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
const QString severalGames =
    QStringLiteral("Plusieurs jeux détectés · choisir le PID du jeu à observer");

#define START_SMALL_GAME(game)                                                                     \
    QVERIFY2((game).start({"--size", "small"}), qPrintable((game).errorString()))

} // namespace

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
    void severalGamesAskForTheProcessId_data()
    {
        QTest::addColumn<int>("games");  // real games, started first
        QTest::addColumn<int>("others"); // processes named like the game, started after them
        QTest::newRow("two games") << 2 << 0;
        QTest::newRow("eight") << 1 << 7;
        QTest::newRow("nine: one more") << 1 << 8;
        QTest::newRow("a thousand") << 1 << 999;
    }

    void severalGamesAskForTheProcessId()
    {
        QFETCH(int, games);
        QFETCH(int, others);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
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
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        // Each time with the first eight process ids by start time and when each started, so that
        // the window can offer them, and how many more run.
        QVariantList first;
        for (int i = 0; i < games; ++i)
            first.append(quint32(started[i].processId()));
        for (int i = 0; first.size() < 8 && i < others; ++i)
            first.append(quint32(namesakes.ids[size_t(i)]));
        QVariantMap expected = DataMap::baseDataMap(severalGames);
        if (games + others > 8)
            expected.insert(QStringLiteral("moreGameProcesses"), games + others - 8);
        for (int i = 1; i < published.size(); ++i) {
            QVariantMap map = published.at(i);
            const QVariantList entries = map.take(QStringLiteral("gameProcesses")).toList();
            QCOMPARE(map, expected);
            QVariantList pids;
            for (const QVariant &entry : entries) {
                pids.append(entry.toMap().value(QStringLiteral("pid")));
                // The boot time that start times count from is known to the second.
                const qint64 at = entry.toMap().value(QStringLiteral("started")).toLongLong();
                QVERIFY2(at >= before - 2000 && at <= after + 2000,
                         qPrintable(QString::number(at)));
            }
            QCOMPARE(pids, first);
        }

        // The user types one of them: live at once.
        backend.connectGame(QString::number(started[games - 1].processId()));
        WAIT_UNTIL_LIVE(backend, 20000);
        QCOMPARE(status(backend),
                 QStringLiteral("Connecté · PID %1").arg(started[games - 1].processId()));
        // The games that ran before are no news; one started now is, once a second at most.
        QVERIFY(!backend.data().contains(QStringLiteral("newGameProcesses")));
        if (games + others < 8) {
            NamedLikeTheGame later;
            QVERIFY(later.start(1));
            QTRY_COMPARE_WITH_TIMEOUT(backend.data()
                                          .value(QStringLiteral("newGameProcesses"))
                                          .toList()
                                          .value(0)
                                          .toMap()
                                          .value(QStringLiteral("pid")),
                                      QVariant(quint32(later.ids[0])), 20000);
        }
    }

    void deadGameIsReportedAndRestartedGameFound_data()
    {
        QTest::addColumn<bool>("chosen"); // the game chosen by its process id, else found by name
        QTest::newRow("found by name") << false;
        QTest::newRow("chosen by its process id") << true;
    }

    void deadGameIsReportedAndRestartedGameFound()
    {
        QFETCH(bool, chosen);
        auto game = std::make_unique<GameProcess>();
        START_SMALL_GAME(*game);
        const int linesBefore = snapshotLines;
        Backend backend;
        QList<QVariantMap> failures;
        connect(&backend, &Backend::changed, this, [&] {
            if (!isLive(backend))
                failures.append(backend.data());
        });
        const quint32 gameId = quint32(game->processId());
        const QString pid = QString::number(gameId);
        if (chosen) {
            // A process id under which no game runs: said so, with the id for the automatic search.
            const QString self = QString::number(QCoreApplication::applicationPid());
            backend.connectGame(self);
            QTRY_COMPARE_WITH_TIMEOUT(
                status(backend),
                QStringLiteral(
                    "Aucun jeu en cours sous le PID %1 · lancer la recherche automatique "
                    "ou saisir un autre PID")
                    .arg(self),
                20000);
            QCOMPARE(backend.data().value(QStringLiteral("endedGame")).toString(), self);
            failures.clear();
        }
        backend.connectGame(chosen ? pid : QString());
        WAIT_UNTIL_LIVE(backend, 20000);
        failures.clear();
        game->stop();
        QTRY_VERIFY_WITH_TIMEOUT(!failures.isEmpty(), 20000);
        const QString text = failures.first().value(QStringLiteral("status")).toString();
        if (chosen) {
            // The chosen game has ended, and the status says so rather than the library's error.
            QVariantMap expected = DataMap::baseDataMap(
                QStringLiteral("Le jeu PID %1 s’est arrêté · relancer la recherche automatique ou "
                               "saisir un autre PID")
                    .arg(pid));
            expected.insert(QStringLiteral("endedGame"), gameId);
            QCOMPARE(failures.first(), expected);
        } else {
            // The first failure comes from the session on the dead game: one of the library's own
            // status texts, in a map that carries nothing but the status.
            bool libraryText = false;
            for (SdkStatus code = 1; code < 256; ++code)
                libraryText = libraryText || text == QString::fromUtf8(ZorvySdk_StatusString(code));
            QVERIFY2(libraryText && !text.isEmpty(), qPrintable(text));
            QCOMPARE(failures.first(), DataMap::baseDataMap(text));
            // Then the search by name finds nothing, and says so.
            QTRY_COMPARE_WITH_TIMEOUT(status(backend), noUniqueGame, 20000);
        }

        game = std::make_unique<GameProcess>();
        START_SMALL_GAME(*game);
        // A chosen process id stays chosen: the user asks for the automatic search.
        if (chosen)
            backend.connectGame(QString());
        WAIT_UNTIL_LIVE(backend, 20000);
        QCOMPARE(status(backend), QStringLiteral("Connecté · PID %1").arg(game->processId()));
        // The first capture of each connection is logged, a recovered one is not.
        QCOMPARE(snapshotLines - linesBefore, chosen ? 2 : 1);
    }
};

QTEST_GUILESS_MAIN(TestGameLink)
#include "tst_gamelink.moc"
