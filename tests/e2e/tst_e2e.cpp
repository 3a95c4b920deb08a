// The real ZorvyTco against the real simulated game: verification runs, their output lines, their
// screenshots and exit codes, and the --smoke quit.

#include "GameProcess.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TestEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void verifyLivePasses();
    void verifyLiveWithoutGameFails();
    void texturesBlinkAndScreenshots();
    void undecodableTextureFails();
    void missingReservationsFail();
    void smokeQuits();

private:
    struct Run
    {
        int exitCode = -1;
        QStringList lines; // standard output
        QString log;       // standard error (the message log)
    };
    static Run runTco(const QStringList &arguments);
    // A small frozen world: one positioned train with a reservation and an occupation, four
    // signals whose states blink 9, 9, 10, 10, each with the texture given (or none).
    static QJsonObject world(const QStringList &texturePaths);
    static QString writePng(const QString &dir, const QString &name, const QColor &colour);
    void startGame(GameProcess &game, const QJsonObject &scenario);

    QTemporaryDir m_dir;
};

void TestEndToEnd::init()
{
    QVERIFY(m_dir.isValid());
    const QList<qint64> running = GameProcess::runningGames();
    QVERIFY2(running.isEmpty(),
             qPrintable(QStringLiteral("a ZorvyRails.exe that this test did not start is running "
                                       "(PID %1); stop it and run the test again")
                            .arg(running.value(0))));
}

TestEndToEnd::Run TestEndToEnd::runTco(const QStringList &arguments)
{
    QProcess process;
    process.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/ZorvyTco"));
    process.setArguments(arguments);
    process.start();
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.lines = QString::fromUtf8(process.readAllStandardOutput())
                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.log = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString TestEndToEnd::writePng(const QString &dir, const QString &name, const QColor &colour)
{
    QImage image(32, 48, QImage::Format_ARGB32);
    image.fill(colour);
    const QString path = dir + QLatin1Char('/') + name;
    if (!image.save(path))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QJsonObject TestEndToEnd::world(const QStringList &texturePaths)
{
    QJsonArray signalList, states, textures;
    const int blinkStates[] = {9, 9, 10, 10};
    for (int i = 0; i < 4; ++i) {
        const int id = 100 + i;
        signalList.append(QJsonObject{{"id", id},
                                      {"trackId", 1 + i % 2},
                                      {"fraction", 0.2 + 0.2 * i},
                                      {"sense", 1},
                                      {"kind", 1}});
        states.append(QJsonObject{{"signalId", id},
                                  {"flags", 6},
                                  {"nativeState", blinkStates[i]},
                                  {"label1", "Voie libre"},
                                  {"label2", "VL"}});
        if (i < texturePaths.size())
            textures.append(
                QJsonObject{{"signalId", id}, {"flags", 2}, {"path", texturePaths.at(i)}});
    }
    return QJsonObject{
        {"stations", QJsonArray{QJsonObject{{"id", 26}, {"name", "Gare A"}}}},
        {"tracks", QJsonArray{QJsonObject{{"id", 1}, {"stationId", 26}, {"speedLimit", 22.5}},
                              QJsonObject{{"id", 2}, {"stationId", 26}, {"speedLimit", 30.0}}}},
        {"nodes", QJsonArray{QJsonObject{{"id", 1}, {"neighbour1", 2}, {"x", 0.0}, {"y", 0.0}},
                             QJsonObject{{"id", 2}, {"neighbour1", 1}, {"x", 400.0}, {"y", 0.0}}}},
        {"trains", QJsonArray{QJsonObject{{"id", 5},
                                          {"name", "IC 12"},
                                          {"trackId", 1},
                                          {"speed", 12.5},
                                          {"fraction", 0.457},
                                          {"sense", 1},
                                          {"flags", 3},
                                          {"path", QJsonArray{1, 2}}}}},
        {"signals", signalList},
        {"signalStates", states},
        {"signalTextures", textures},
        {"reservations",
         QJsonArray{QJsonObject{{"trainId", 5}, {"trackId", 2}, {"begin", 0.0}, {"end", 1.0}}}},
        {"occupations",
         QJsonArray{QJsonObject{{"trainId", 5}, {"trackId", 1}, {"begin", 0.3}, {"end", 0.6}}}},
    };
}

void TestEndToEnd::startGame(GameProcess &game, const QJsonObject &scenario)
{
    const QString file = GameProcess::writeScenario(scenario, m_dir.path());
    QVERIFY2(game.start({QStringLiteral("--scenario"), file}), qPrintable(game.errorString()));
}

void TestEndToEnd::verifyLivePasses()
{
    GameProcess game;
    startGame(game, world({}));
    const Run run = runTco({QStringLiteral("--verify-live")});
    QCOMPARE(run.exitCode, 0);

    const QRegularExpression liveLine(QStringLiteral(
        "^LIVE (\\d+) signal_states=4 capture_ms=\\d+ reserved=1 available=1 occupied=1 "
        "available=1$"));
    QStringList liveLines = run.lines.filter(QRegularExpression(QStringLiteral("^LIVE ")));
    QVERIFY2(liveLines.size() >= 2, qPrintable(run.lines.join(QLatin1Char('\n'))));
    for (int i = 0; i < liveLines.size(); ++i) {
        const QRegularExpressionMatch match = liveLine.match(liveLines.at(i));
        QVERIFY2(match.hasMatch(), qPrintable(liveLines.at(i)));
        QCOMPARE(match.captured(1).toInt(), i + 1);
    }
    // The summary closes the output; a frozen train gives one position.
    QCOMPARE(run.lines.size(), liveLines.size() + 2);
    QCOMPARE(run.lines.at(run.lines.size() - 2),
             QStringLiteral("VERIFY frames=%1 usage_frames=%1 distinct_positions=1 "
                            "texture_frames=0 decoded_textures=0")
                 .arg(liveLines.size()));
    QCOMPARE(run.lines.last(), QStringLiteral("BLINK phases=0"));
    QVERIFY2(run.log.contains(QLatin1String("LIVE 1 QVariant(QString, \"")), qPrintable(run.log));
    QVERIFY2(run.log.contains(QLatin1String("captureMs")), qPrintable(run.log));
}

void TestEndToEnd::verifyLiveWithoutGameFails()
{
    const Run run = runTco({QStringLiteral("--verify-live")});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.lines, QStringList({QStringLiteral("VERIFY frames=0 usage_frames=0 "
                                                    "distinct_positions=0 texture_frames=0 "
                                                    "decoded_textures=0"),
                                     QStringLiteral("BLINK phases=0")}));
    QVERIFY2(run.log.contains(QLatin1String("WAIT")), qPrintable(run.log));
}

void TestEndToEnd::texturesBlinkAndScreenshots()
{
    const QString dir = m_dir.path();
    QStringList textures;
    const QColor colours[] = {Qt::red, Qt::green, Qt::yellow, Qt::blue};
    for (int i = 0; i < 4; ++i)
        textures << writePng(dir, QStringLiteral("signal%1.png").arg(i), colours[i]);
    GameProcess game;
    startGame(game, world(textures));

    const QString shot = dir + QStringLiteral("/shot.png");
    const Run run = runTco({QStringLiteral("--verify-textures"), QStringLiteral("--verify-blink"),
                            QStringLiteral("--screenshot"), shot});
    QVERIFY2(run.exitCode == 0, qPrintable(run.lines.join(QLatin1Char('\n')) + run.log));
    QVERIFY(run.lines.size() >= 4);
    QVERIFY2(run.lines.at(run.lines.size() - 2).endsWith(QLatin1String(" decoded_textures=4")),
             qPrintable(run.lines.at(run.lines.size() - 2)));
    QCOMPARE(run.lines.last(), QStringLiteral("BLINK phases=2"));

    QVERIFY(!QImage(shot).isNull());
    QVERIFY(!QImage(shot + QStringLiteral(".phase9.png")).isNull());
    QVERIFY(!QImage(shot + QStringLiteral(".phase10.png")).isNull());
    const QStringList phaseFiles = QDir(dir).entryList({QStringLiteral("shot.png.phase*")});
    QCOMPARE(phaseFiles, QStringList({QStringLiteral("shot.png.phase10.png"),
                                      QStringLiteral("shot.png.phase9.png")}));
}

void TestEndToEnd::undecodableTextureFails()
{
    const QString dir = m_dir.path();
    QStringList textures;
    for (int i = 0; i < 3; ++i)
        textures << writePng(dir, QStringLiteral("signal%1.png").arg(i), Qt::green);
    const QString notAnImage = dir + QStringLiteral("/notes.png");
    QFile text(notAnImage);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not an image at all\n");
    text.close();
    textures << notAnImage;
    GameProcess game;
    startGame(game, world(textures));

    const Run run = runTco({QStringLiteral("--verify-textures")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.log.contains(QLatin1String("Texture decode failed \"") + notAnImage),
             qPrintable(run.log));
    QVERIFY2(run.lines.at(run.lines.size() - 2).endsWith(QLatin1String(" decoded_textures=3")),
             qPrintable(run.lines.join(QLatin1Char('\n'))));
}

void TestEndToEnd::missingReservationsFail()
{
    QJsonObject scenario = world({});
    scenario.insert(QStringLiteral("reservations"), QJsonValue::Null);
    GameProcess game;
    startGame(game, scenario);

    const Run run = runTco({QStringLiteral("--verify-live")});
    QCOMPARE(run.exitCode, 2);
    const QStringList liveLines = run.lines.filter(QRegularExpression(QStringLiteral("^LIVE ")));
    QVERIFY(liveLines.size() >= 2);
    QVERIFY2(liveLines.first().contains(QLatin1String(" reserved=0 available=0 occupied=1 "
                                                      "available=1")),
             qPrintable(liveLines.first()));
    QVERIFY2(run.lines.at(run.lines.size() - 2).contains(QLatin1String(" usage_frames=0 ")),
             qPrintable(run.lines.join(QLatin1Char('\n'))));
}

void TestEndToEnd::smokeQuits()
{
    GameProcess game;
    startGame(game, world({}));
    // With a verification run the smoke clock still ends the program first, before any summary.
    const Run run = runTco({QStringLiteral("--smoke"), QStringLiteral("--verify-live")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.lines.filter(QRegularExpression(QStringLiteral("^(VERIFY|BLINK) "))).isEmpty(),
             qPrintable(run.lines.join(QLatin1Char('\n'))));
    const Run alone = runTco({QStringLiteral("--smoke")});
    QCOMPARE(alone.exitCode, 0);
    QVERIFY(alone.lines.isEmpty());
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
