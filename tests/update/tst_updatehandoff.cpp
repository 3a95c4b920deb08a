#include "UpdateTestSupport.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The installer hand-off at quit, seen from outside: a helper program runs the updater against the
// test server until its update is ready and then quits; the installer it downloaded is a shell
// script that writes its arguments to a file.
class TestUpdateHandOff : public QObject
{
    Q_OBJECT

    HttpsTestServer m_server;

private slots:
    void initTestCase()
    {
        if (!UpdatePlatform::markInstallerExecutable)
            QSKIP("The test installer is a shell script.");
        QVERIFY(HttpsTestServer::trustTestCertificate());
        QVERIFY(m_server.start());
    }

    void cleanup() { removeApplicationFiles(); }

    void handOff_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("expected"); // empty: nothing may start
        const QStringList arguments{"/VERYSILENT", "/SUPPRESSMSGBOXES", "/NORESTART",
                                    "/DIR=" + QCoreApplication::applicationDirPath()};
        QTest::newRow("window closed") << "quit" << arguments;
        QTest::newRow("restart") << "restart" << arguments + QStringList{"/RELAUNCH"};
        QTest::newRow("installer changed before quit") << "replace" << QStringList();
        // What was verified is what starts, whatever becomes of the downloaded file meanwhile.
        QTest::newRow("installer swapped after its check") << "swap" << arguments;
    }

    void handOff()
    {
        QFETCH(QString, mode);
        QFETCH(QStringList, expected);
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QByteArray argumentsFile = QFile::encodeName(work.filePath("arguments.txt"));
        // The last line is a comment that the helper may alter without breaking the script.
        const QByteArray script = "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + argumentsFile +
                                  ".part' && mv '" + argumentsFile + ".part' '" + argumentsFile +
                                  "'\n#A\n";
        m_server.replies = {
            {"/manifest.json",
             QJsonDocument(soundManifest(m_server.url("/setup.run"), script)).toJson()},
            {"/setup.run", script}};
        QVERIFY(writeApplicationFile("update.json", feedJson(m_server.url("/manifest.json"))));

        qputenv("XDG_DATA_HOME", QFile::encodeName(work.filePath("data"))); // for the helper
        QProcess helper;
        helper.setProcessChannelMode(QProcess::ForwardedChannels);
        helper.start(QCoreApplication::applicationDirPath() + "/update_handoff_helper", {mode});
        QVERIFY2(helper.waitForStarted(), qPrintable(helper.errorString()));
        // The server answers from this event loop, so wait without blocking it.
        QTRY_COMPARE_WITH_TIMEOUT(helper.state(), QProcess::NotRunning, 90000);
        QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(helper.exitCode(), 0); // 0: the update was ready before the planned ending

        if (expected.isEmpty()) {
            QTest::qWait(2000); // the altered script still works; a started one would have written
            QVERIFY(!QFile::exists(argumentsFile));
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(argumentsFile), 30000);
        QFile written(argumentsFile);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLocal8Bit(written.readAll()).split('\n', Qt::SkipEmptyParts),
                 expected);
        // It started from a folder of its own that only the user may enter.
        QStringList folders;
        QDirIterator it(work.filePath("data"), {"handoff-*"}, QDir::Dirs,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            folders << it.next();
        QCOMPARE(folders.size(), 1);
        QCOMPARE(QFileInfo(folders.first()).permissions(),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                     QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
    }
};

QTEST_GUILESS_MAIN(TestUpdateHandOff)

#include "tst_updatehandoff.moc"
