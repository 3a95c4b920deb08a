#include "ApplicationDirFiles.h"
#include "HttpsTestServer.h"
#include "UpdatePlatform.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The installer hand-off at quit, seen from outside: a helper program runs the updater against
// the test server until its update is ready and then quits; the installer it downloaded is a
// shell script that writes its arguments to a file.
class TestUpdateHandOff : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installerStartsAtQuit_data();
    void installerStartsAtQuit();
    void alteredInstallerStartsNothing_data();
    void alteredInstallerStartsNothing();

private:
    // Serves a feed whose installer writes its arguments to argumentsFile; runs the helper in the
    // given mode with its data location in dataHome and waits for it to end.
    void runHelper(const QString &mode, const QString &dataHome, const QString &argumentsFile);

    HttpsTestServer m_server;
};

void TestUpdateHandOff::initTestCase()
{
    if (!UpdatePlatform::markInstallerExecutable)
        QSKIP("The test installer is a shell script.");
    QVERIFY(m_server.start());
}

void TestUpdateHandOff::runHelper(const QString &mode, const QString &dataHome,
                                  const QString &argumentsFile)
{
    // The last line is a comment that the helper may alter without breaking the script.
    const QByteArray script = "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" +
                              QFile::encodeName(argumentsFile) + ".part' && mv '" +
                              QFile::encodeName(argumentsFile) + ".part' '" +
                              QFile::encodeName(argumentsFile) + "'\n#A\n";
    const QJsonObject manifest{
        {QStringLiteral("schema"), 1},
        {QStringLiteral("product"), QStringLiteral("ZorvyTco")},
        {QStringLiteral("platform"), QString(UpdatePlatform::manifestPlatform)},
        {QStringLiteral("version"), QStringLiteral("0.5.0")},
        {QStringLiteral("url"), m_server.url(QStringLiteral("/setup.run")).toString()},
        {QStringLiteral("sha256"),
         QString::fromLatin1(QCryptographicHash::hash(script, QCryptographicHash::Sha256).toHex())},
        {QStringLiteral("size"), double(script.size())},
    };
    m_server.reset();
    HttpsTestServer::Response response;
    response.body = QJsonDocument(manifest).toJson();
    m_server.setResponse("/manifest.json", response);
    response.body = script;
    m_server.setResponse("/setup.run", response);

    ApplicationDirFiles files;
    QVERIFY(files.writeFeed(m_server.url(QStringLiteral("/manifest.json"))));

    QProcess helper;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    helper.setProcessEnvironment(environment);
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QSignalSpy finished(&helper, &QProcess::finished);
    helper.start(QCoreApplication::applicationDirPath() + QStringLiteral("/update_handoff_helper"),
                 {mode, HttpsTestServer::certificatePath()});
    QVERIFY2(helper.waitForStarted(), qPrintable(helper.errorString()));
    // The server answers from this event loop, so wait without blocking it.
    QVERIFY(finished.wait(90000));
    const QByteArray output = helper.readAllStandardOutput();
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QVERIFY2(helper.exitCode() == 0, output.constData());
    QCOMPARE(QString::fromUtf8(output).trimmed(),
             QStringLiteral("Mise à jour prête · installation à la fermeture"));
}

void TestUpdateHandOff::installerStartsAtQuit_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("relaunch");
    // This one also relies on the updater's own first check, scheduled at construction.
    QTest::newRow("window closed") << QStringLiteral("quit") << false;
    QTest::newRow("restart") << QStringLiteral("restart") << true;
    QTest::newRow("restart before ready, then window closed")
        << QStringLiteral("early-restart") << false;
}

void TestUpdateHandOff::installerStartsAtQuit()
{
    QFETCH(QString, mode);
    QFETCH(bool, relaunch);
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString argumentsFile = work.filePath(QStringLiteral("installer-arguments.txt"));
    runHelper(mode, work.filePath(QStringLiteral("data")), argumentsFile);
    if (QTest::currentTestFailed())
        return;

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(argumentsFile), 30000);
    QFile written(argumentsFile);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QStringList expected{QStringLiteral("/VERYSILENT"), QStringLiteral("/SUPPRESSMSGBOXES"),
                         QStringLiteral("/NORESTART"),
                         QStringLiteral("/DIR=") + QCoreApplication::applicationDirPath()};
    if (relaunch)
        expected << QStringLiteral("/RELAUNCH");
    QCOMPARE(QString::fromLocal8Bit(written.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             expected);
}

void TestUpdateHandOff::alteredInstallerStartsNothing_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("one byte replaced") << QStringLiteral("replace");
    QTest::newRow("one byte appended") << QStringLiteral("append");
}

void TestUpdateHandOff::alteredInstallerStartsNothing()
{
    QFETCH(QString, mode);
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString argumentsFile = work.filePath(QStringLiteral("installer-arguments.txt"));
    runHelper(mode, work.filePath(QStringLiteral("data")), argumentsFile);
    if (QTest::currentTestFailed())
        return;

    // The altered script still works if started; give a started one ample time to write.
    QTest::qWait(2000);
    QVERIFY(!QFile::exists(argumentsFile));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Zorvy TCO"));
    QCoreApplication::setOrganizationName(QStringLiteral("ZorvyTools"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.4.0"));
    if (!HttpsTestServer::trustTestCertificate())
        return 1;
    TestUpdateHandOff test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_updatehandoff.moc"
