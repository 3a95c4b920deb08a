// The real ZorvyTco against the real simulated game: verification runs, their output lines, their
// screenshots and exit codes, and the --smoke quit.

#include "GameProcess.h"
#include "HostileFiles.h"
#include "TcoRun.h"

#include <QTemporaryDir>
#include <QtTest>

class TestEndToEnd : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Runs the program while the game plays the scenario.
    Run runWithGame(const QJsonObject &scenario, const QStringList &arguments,
                    int timeoutMs = 60000)
    {
        GameProcess game;
        const QString file = GameProcess::writeScenario(scenario, m_dir.path());
        if (!game.start({"--scenario", file}))
            qFatal("the game does not start: %s", qPrintable(game.errorString()));
        return runTco(arguments, timeoutMs);
    }

    QStringList textures(int n) { return writeTextures(m_dir.path(), n); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(GameProcess::runningGames().isEmpty(), "a ZorvyRails.exe not started here runs");
    }

    void verifyLivePasses()
    {
        const Run run = runWithGame(frozenWorld({}), {"--verify-live"});
        QCOMPARE(run.exitCode, 0);
        const QStringList live = run.live();
        QVERIFY2(live.size() >= 2, qPrintable(run.lines.join('\n')));
        const QRegularExpression liveLine("^LIVE (\\d+) signal_states=4 capture_ms=\\d+ reserved=1 "
                                          "available=1 occupied=1 available=1$");
        for (int i = 0; i < live.size(); ++i) {
            const QRegularExpressionMatch match = liveLine.match(live.at(i));
            QVERIFY2(match.hasMatch(), qPrintable(live.at(i)));
            QCOMPARE(match.captured(1).toInt(), i + 1);
        }
        // The summary closes the output; a frozen train gives one position.
        QCOMPARE(run.lines.size(), live.size() + 2);
        QCOMPARE(run.verify(), QString("VERIFY frames=%1 usage_frames=%1 distinct_positions=1 "
                                       "texture_frames=0 decoded_textures=0")
                                   .arg(live.size()));
        QCOMPARE(run.lines.last(), "BLINK phases=0");
        QVERIFY2(run.log.contains("LIVE 1 QVariant(QString, \"") && run.log.contains("captureMs"),
                 qPrintable(run.log));
    }

    void verifyLiveWithoutGameFails()
    {
        const Run run = runTco({"--verify-live"});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.lines, QStringList({"VERIFY frames=0 usage_frames=0 distinct_positions=0 "
                                         "texture_frames=0 decoded_textures=0",
                                         "BLINK phases=0"}));
        QVERIFY2(run.log.contains("WAIT"), qPrintable(run.log));
    }

    void texturesBlinkAndScreenshots()
    {
        const QString shot = m_dir.filePath("shot.png");
        const Run run = runWithGame(frozenWorld(textures(4)),
                                    {"--verify-textures", "--verify-blink", "--screenshot", shot});
        QVERIFY2(run.exitCode == 0, qPrintable(run.lines.join('\n') + run.log));
        QVERIFY2(run.verify().endsWith(" decoded_textures=4"), qPrintable(run.verify()));
        QCOMPARE(run.lines.last(), "BLINK phases=2");
        for (const QString suffix : {"", ".phase9.png", ".phase10.png"})
            QVERIFY(!QImage(shot + suffix).isNull());
        QCOMPARE(QDir(m_dir.path()).entryList({"shot.png.phase*"}),
                 QStringList({"shot.png.phase10.png", "shot.png.phase9.png"}));
    }

    // A signal image that is a FIFO nobody writes to: the run reports it with the loader's reason
    // and goes on (the loader's other refusals are tst_textureloader's, the list's
    // tst_signalimages').
    void undecodableTextureFails()
    {
        QStringList paths = textures(3);
        paths << m_dir.filePath("bad-fifo.png");
        QVERIFY(HostileFiles::makeFifo(paths.last()));
        const Run run = runWithGame(frozenWorld(paths), {"--verify-textures"});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(
            run.log.contains("Texture decode failed \"" + paths.last() + "\" \"not a regular file"),
            qPrintable(run.log));
        QVERIFY2(run.verify().endsWith(" decoded_textures=3"), qPrintable(run.verify()));
    }

    void missingReservationsFail()
    {
        QJsonObject scenario = frozenWorld({});
        scenario["reservations"] = QJsonValue::Null;
        const Run run = runWithGame(scenario, {"--verify-live"});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.live().size() >= 2);
        QVERIFY2(run.live().first().contains(" reserved=0 available=0 occupied=1 available=1"),
                 qPrintable(run.live().first()));
        QVERIFY2(run.verify().contains(" usage_frames=0 "), qPrintable(run.verify()));
    }

    void smokeQuits()
    {
        // With a verification run the smoke clock still ends the program first, before any summary.
        const Run run = runWithGame(frozenWorld({}), {"--smoke", "--verify-live"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.lines.filter(QRegularExpression("^(VERIFY|BLINK) ")).isEmpty(),
                 qPrintable(run.lines.join('\n')));
        const Run alone = runTco({"--smoke"});
        QCOMPARE(alone.exitCode, 0);
        QVERIFY(alone.lines.isEmpty());
    }

    void smokeQuitsDuringStalledCall()
    {
        // The library's copy of the trains sleeps ten minutes: quitting gives up waiting for it,
        // says which call it was and still ends with the program's own exit code. 20 s is far
        // beyond the 3.5 s smoke clock plus the 2 s wait; only a quit that waits for the call
        // takes longer.
        QJsonObject scenario = frozenWorld({});
        scenario["faults"] = QJsonObject{{"stall", QJsonObject{{"ZorvySdk_CopyTrains", 600000}}}};
        const Run run = runWithGame(scenario, {"--smoke"}, 20000);
        QVERIFY2(run.exitCode == 0, qPrintable(run.log));
        QVERIFY2(run.log.contains(QRegularExpression("Quit: the library call ZorvySdk_CopyTrains "
                                                     "still runs after 2000 ms")),
                 qPrintable(run.log));
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
