// The game found by its name: the automatic connection, two running games, a game that dies and
// comes back. These tests look at every process named "ZorvyRails.exe", so they hold the
// zorvy_game_by_name lock and refuse to run beside a game they did not start.

#include "Backend.h"
#include "DataMap.h"
#include "GameProcess.h"
#include "GameProcessFinder.h"
#include "SdkApi.h"
#include "SdkLoader.h"

#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

const QString noUniqueGame =
    QStringLiteral("Aucun jeu unique détecté · démarrer le jeu ou saisir son PID");

std::atomic<int> snapshotLines{0};
QtMessageHandler previousHandler = nullptr;

// Counts the reader's "SDK snapshot:" lines (written from its thread) and passes everything on.
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

// Every status text the library can give, to tell its failures from the program's own texts.
QSet<QString> libraryStatusTexts()
{
    QSet<QString> texts;
    for (SdkStatus status = 1; status < 256; ++status) {
        const char *text = ZorvySdk_StatusString(status);
        if (text && *text)
            texts.insert(QString::fromUtf8(text));
    }
    return texts;
}

} // namespace

class TestGameLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void findsExactlyOneGame();
    void automaticConnectionGoesLive();
    void twoGamesAskForTheProcessId();
    void deadGameIsReportedAndRestartedGameFound();
};

void TestGameLink::initTestCase()
{
    QString error;
    QVERIFY2(loadSdk(&error), qPrintable(error));
    previousHandler = qInstallMessageHandler(countSnapshotLines);
}

void TestGameLink::cleanupTestCase()
{
    qInstallMessageHandler(previousHandler);
}

void TestGameLink::init()
{
    const QList<qint64> foreign = GameProcess::runningGames();
    QVERIFY2(foreign.isEmpty(),
             qPrintable(QStringLiteral("a ZorvyRails.exe that this test did not start is running "
                                       "(pid %1): stop it, these tests find the game by name")
                            .arg(foreign.value(0))));
}

void TestGameLink::findsExactlyOneGame()
{
    QCOMPARE(findGameProcess(), 0u);
    GameProcess first;
    QVERIFY2(first.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(first.errorString()));
    QCOMPARE(qint64(findGameProcess()), first.processId());
    GameProcess second;
    QVERIFY2(second.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(second.errorString()));
    QCOMPARE(findGameProcess(), 0u);
    second.stop();
    QCOMPARE(qint64(findGameProcess()), first.processId());
}

void TestGameLink::automaticConnectionGoesLive()
{
    GameProcess game;
    QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(game.errorString()));
    const int linesBefore = snapshotLines;

    Backend backend;
    backend.connectGame(QString());
    QCOMPARE(status(backend), QStringLiteral("Connexion…"));
    QTRY_VERIFY_WITH_TIMEOUT(isLive(backend), 20000);
    QCOMPARE(status(backend), QStringLiteral("Connecté · PID %1").arg(game.processId()));
    QCOMPARE(snapshotLines - linesBefore, 1);
}

void TestGameLink::twoGamesAskForTheProcessId()
{
    GameProcess first;
    QVERIFY2(first.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(first.errorString()));
    GameProcess second;
    QVERIFY2(second.start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(second.errorString()));

    Backend backend;
    QList<QVariantMap> published;
    connect(&backend, &Backend::changed, this, [&] { published.append(backend.data()); });
    backend.connectGame(QStringLiteral("  "));
    // The reader keeps trying, once a second, and says so each time.
    QTRY_VERIFY_WITH_TIMEOUT(published.size() >= 4, 20000);
    QCOMPARE(published.first(), DataMap::baseDataMap(QStringLiteral("Connexion…")));
    for (int i = 1; i < published.size(); ++i)
        QCOMPARE(published.at(i), DataMap::baseDataMap(noUniqueGame));

    // The user types one of them: live at once.
    backend.connectGame(QString::number(second.processId()));
    QTRY_VERIFY_WITH_TIMEOUT(isLive(backend), 20000);
    QCOMPARE(status(backend), QStringLiteral("Connecté · PID %1").arg(second.processId()));
}

void TestGameLink::deadGameIsReportedAndRestartedGameFound()
{
    const QSet<QString> libraryTexts = libraryStatusTexts();
    auto game = std::make_unique<GameProcess>();
    QVERIFY2(game->start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(game->errorString()));
    const int linesBefore = snapshotLines;

    Backend backend;
    QList<QVariantMap> published;
    connect(&backend, &Backend::changed, this, [&] { published.append(backend.data()); });
    backend.connectGame(QString());
    QTRY_VERIFY_WITH_TIMEOUT(isLive(backend), 20000);

    game->stop();
    published.clear();
    const auto firstFailure = [&] {
        for (const QVariantMap &map : std::as_const(published)) {
            if (!map.value(QStringLiteral("live")).toBool())
                return map;
        }
        return QVariantMap();
    };
    QTRY_VERIFY_WITH_TIMEOUT(!firstFailure().isEmpty(), 20000);
    // The first failure comes from the session on the dead game: the library's own text, in a map
    // that carries nothing but the status.
    const QVariantMap failure = firstFailure();
    const QString text = failure.value(QStringLiteral("status")).toString();
    QVERIFY2(libraryTexts.contains(text), qPrintable(text));
    QCOMPARE(failure, DataMap::baseDataMap(text));
    // Then the search by name finds nothing, and says so.
    QTRY_COMPARE_WITH_TIMEOUT(status(backend), noUniqueGame, 20000);

    game = std::make_unique<GameProcess>();
    QVERIFY2(game->start({QStringLiteral("--size"), QStringLiteral("small")}),
             qPrintable(game->errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(isLive(backend), 20000);
    QCOMPARE(status(backend), QStringLiteral("Connecté · PID %1").arg(game->processId()));
    // Still the same connection: its first capture was logged, the recovered one is not.
    QCOMPARE(snapshotLines - linesBefore, 1);
}

QTEST_GUILESS_MAIN(TestGameLink)
#include "tst_gamelink.moc"
