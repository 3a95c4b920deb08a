// The real program recording the real game (the small frozen world): the replayed capture exports
// the very map the live conversion made, a replayed verification run passes as a live one (images
// included, after the game and its files have gone), a replay finds the alerts live found, a bad
// recording ends the program with 2, and a program killed or stopped while recording leaves a file
// that replays.

#include "DataMapJson.h"
#include "GameProcess.h"
#include "RecordWorld.h"
#include "RecordingReader.h"
#include "SnapshotConverter.h"
#include "TcoRun.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// The alert log lines of a run, "ALERT start …" / "ALERT end …", a replay's without its mark.
QStringList alertLines(const QString &log, const QString &prefix)
{
    QStringList alerts;
    for (const QString &line : log.split('\n')) {
        const qsizetype at = line.indexOf(prefix);
        if (at >= 0)
            alerts << "ALERT " + line.mid(at + prefix.size());
    }
    return alerts;
}

// The JSON of a map without what belongs to the moment of its capture.
QJsonObject withoutCaptureTime(const QByteArray &json)
{
    QJsonObject object = QJsonDocument::fromJson(json).object();
    object.remove("captureMs");
    object.remove("updated");
    return object;
}

// The captures of a recording that another reader sees (the committed ones); 0 until it opens.
qsizetype committedCaptures(const QString &recording)
{
    try {
        return qsizetype(RecordingReader(recording).captures().size());
    } catch (const RecordingFormat::Error &) {
        return 0;
    }
}

} // namespace

class TestRecordGame : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QStringList textures() { return writeTextures(m_dir.path(), 4); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(GameProcess::runningGames().isEmpty(), "a ZorvyRails.exe not started here runs");
    }

    void recordThenReplay()
    {
        const QStringList images = textures();
        const QJsonObject scenario = frozenWorld(images);
        const QString recording = m_dir.filePath("session.zrec");
        qint64 gamePid = 0;
        {
            GameProcess game;
            QVERIFY2(game.start({"--scenario", GameProcess::writeScenario(scenario, m_dir.path())}),
                     qPrintable(game.errorString()));
            gamePid = game.processId();
            const Run run = runTco({"--record", recording, "--smoke"});
            QVERIFY2(run.exitCode == 0, qPrintable(run.log));
        }

        // The export is the map the live conversion makes of the game's records.
        const QString out = m_dir.filePath("capture.json");
        Run run = runTco({"--replay", recording, "--export-json", out, "--at", "1"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.log));
        QFile exported(out);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        SnapshotRecords records;
        RecordWorld::toRecords(RecordWorld::fromJson(scenario), 0, records);
        const QByteArray live =
            DataMapJson::toJson(convertRecords(records, quint32(gamePid), ViewParameters{}));
        QCOMPARE(withoutCaptureTime(exported.readAll()), withoutCaptureTime(live));

        // The images are in the recording: gone from the disk, a replay still shows them.
        for (const QString &image : images)
            QVERIFY(QFile::remove(image));
        run = runTco({"--replay", recording, "--verify-textures"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.lines.join('\n') + run.log));
        QVERIFY2(run.lines.filter("decoded_textures=4").size() == 1,
                 qPrintable(run.lines.join('\n')));
        const QRegularExpression liveLine("^LIVE \\d+ signal_states=4 capture_ms=\\d+ reserved=1 "
                                          "available=1 occupied=1 available=1$");
        const QStringList lines = run.lines.filter(QRegularExpression("^LIVE "));
        QVERIFY2(lines.size() >= 2, qPrintable(run.lines.join('\n')));
        for (const QString &line : lines)
            QVERIFY2(liveLine.match(line).hasMatch(), qPrintable(line));
    }

    // The replay derives the alerts from the recorded captures as the live session did from the
    // game's, and says they are a replay's.
    void replayFindsTheLiveAlerts_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::newRow("circular deadlock of three") << "circular-deadlock";
    }

    void replayFindsTheLiveAlerts()
    {
        QFETCH(QString, scenario);
        const QString recording = m_dir.filePath(scenario + ".zrec");
        QStringList live;
        {
            GameProcess game;
            QVERIFY2(game.start({"--scenario",
                                 QStringLiteral(ZORVY_SCENARIO_DIR "/%1.json").arg(scenario)}),
                     qPrintable(game.errorString()));
            // Recorded until the deadlock has shown and its capture is committed.
            QProcess tco;
            tco.start(QCoreApplication::applicationDirPath() + "/ZorvyTco",
                      {"--record", recording});
            QString log;
            QTRY_VERIFY_WITH_TIMEOUT(
                (log += QString::fromUtf8(tco.readAllStandardError())).contains("state=deadlock"),
                60000);
            const qsizetype seen = committedCaptures(recording);
            QTRY_VERIFY_WITH_TIMEOUT(committedCaptures(recording) >= seen + 4, 30000);
            tco.terminate();
            QVERIFY(tco.waitForFinished(10000));
            live = alertLines(log + QString::fromUtf8(tco.readAllStandardError()), "ALERT ");
        }
        QVERIFY2(live.filter("state=deadlock").size() == 1, qPrintable(live.join('\n')));
        const Run run = runTco({"--replay", recording, "--smoke"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.log));
        QCOMPARE(alertLines(run.log, "ALERT replay "), live);
    }

    void badRecordingEndsWith2_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("error");
        QTest::newRow("not SQLite, in the window")
            << QStringList{"--verify-live"} << "ce n’est pas un fichier SQLite";
        QTest::newRow("not SQLite, exported")
            << QStringList{"--export-json", "out.json", "--at", "0"}
            << "ce n’est pas un fichier SQLite";
        QTest::newRow("a time that is no number")
            << QStringList{"--export-json", "out.json", "--at", "soon"}
            << "--at attend un nombre de secondes positif, pas « soon »";
    }

    void badRecordingEndsWith2()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, error);
        const QString bad = m_dir.filePath("bad.zrec");
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'z'));
        file.close();
        const Run run = runTco(QStringList{"--replay", bad} + options);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.log.contains(error), qPrintable(run.log));
        QVERIFY(run.lines.isEmpty());
    }

    void stoppedWhileRecording_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("SIGKILL") << true;
        QTest::newRow("SIGTERM") << false;
    }

    // Killed while recording, the program leaves a file that opens and replays up to its last
    // commit, at most two seconds before the kill. Asked to stop (Ctrl+C, SIGTERM), it ends as
    // when its window closes: the recording is whole in its own file, no journal beside it.
    void stoppedWhileRecording()
    {
        QFETCH(bool, killed);
        GameProcess game;
        QVERIFY2(
            game.start({"--scenario", GameProcess::writeScenario(frozenWorld({}), m_dir.path())}),
            qPrintable(game.errorString()));
        const QString recording = m_dir.filePath(QTest::currentDataTag() + QString(".zrec"));
        QProcess tco;
        tco.start(QCoreApplication::applicationDirPath() + "/ZorvyTco", {"--record", recording});
        qsizetype seen = 0;
        QTRY_VERIFY_WITH_TIMEOUT((seen = committedCaptures(recording)) >= 4, 30000);
        // With SIGKILL nothing is flushed or committed on the way out.
        const qint64 killedMs = QDateTime::currentMSecsSinceEpoch();
        if (killed)
            tco.kill();
        else
            tco.terminate();
        QVERIFY(tco.waitForFinished(10000));
        if (!killed) {
            QCOMPARE(tco.exitStatus(), QProcess::NormalExit);
            QCOMPARE(tco.exitCode(), 0);
            QVERIFY(!QFile::exists(recording + "-wal"));
        }

        RecordingReader reader(recording);
        QVERIFY(qsizetype(reader.captures().size()) >= seen);
        // The file holds the captures up to at most two seconds before the kill.
        const RecordingReader::Capture &last = reader.captures().back();
        QVERIFY2(
            last.timeMs >= killedMs - 2000,
            qPrintable(QString("last capture %1 ms before the kill").arg(killedMs - last.timeMs)));
        CapturedRecords capture;
        reader.load(qsizetype(reader.captures().size()) - 1, capture);
        QCOMPARE(capture.records.trains.count(), 1u);
        const QString at =
            QString::number(double(last.timeMs - reader.captures().front().timeMs) / 1000, 'f', 3);
        const Run run =
            runTco({"--replay", recording, "--export-json", m_dir.filePath("k.json"), "--at", at});
        QVERIFY2(run.exitCode == 0, qPrintable(run.log));
    }
};

QTEST_MAIN(TestRecordGame)
#include "tst_recordgame.moc"
