// The updater against a TLS test server: its configuration file (hostile ones included), the
// manifest's rules, the download and its checks, servers that trickle, the clean-up of earlier
// runs, and the hand-off at quit seen from outside, through a helper program that runs an updater
// until its update is ready and then quits; that installer is a shell script that writes its
// arguments to a file.

#include "HostileFiles.h"
#include "UpdateTestSupport.h"
#include "Updater.h"

#include <QDir>
#include <QDirIterator>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString searching = QStringLiteral("Recherche de mise à jour…");
const QString downloading = QStringLiteral("Téléchargement du TCO et du SDK…");
const QString hubManaged = QStringLiteral("Mises à jour gérées par KVD Hub");
const QString notConfigured = QStringLiteral("Mises à jour : serveur non configuré");
const QString unavailable = QStringLiteral("Serveur de mises à jour indisponible");
const QString upToDate = QStringLiteral("TCO et SDK à jour");
const QString incompatible = QStringLiteral("Mise à jour incompatible ou invalide");
const QString readyText = QStringLiteral("Mise à jour prête · installation à la fermeture");
const QString rejected =
    QStringLiteral("Mise à jour rejetée : téléchargement incomplet ou empreinte incorrecte");
const QString manifestTooSlow =
    QStringLiteral("Serveur de mises à jour trop lent : recherche abandonnée");
const QString downloadTooSlow = QStringLiteral("Mise à jour rejetée : téléchargement trop lent");
const QByteArray manifestPath = "/manifest.json";
const QByteArray installerPath = "/setup.run";
// Large enough to arrive in several chunks, so that the checks run on the streaming path.
const QByteArray installer(300000, 'i');

QString updatesDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/updates";
}

QStringList leftInUpdates()
{
    return QDir(updatesDirectory())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QByteArray padded(QByteArray json, qsizetype size)
{
    return json.append(QByteArray(size - json.size(), ' '));
}

// Runs one check, and the download it may start, to its end; returns the statuses shown. The wait
// stays below the updater's 30 s transfer time-out: a transfer only that would end is a failure.
QStringList checkOnce(Updater &updater)
{
    QStringList statuses;
    QObject context;
    QObject::connect(&updater, &Updater::changed, &context, [&] { statuses << updater.status(); });
    updater.check();
    (void)QTest::qWaitFor(
        [&] { return updater.status() != searching && updater.status() != downloading; }, 25000);
    return statuses;
}

} // namespace

class TestUpdater : public QObject
{
    Q_OBJECT

    HttpsTestServer m_server;

    // The sound manifest with one key replaced; an undefined value removes the key.
    QByteArray manifest(const QString &key = {}, const QJsonValue &value = QJsonValue::Undefined)
    {
        QJsonObject object = soundManifest(m_server.url(installerPath), installer);
        object.insert(key, value);
        return QJsonDocument(object).toJson();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(HttpsTestServer::trustTestCertificate());
        QVERIFY(m_server.start());
        // The data location must be the private one set up by main(), never the user's own.
        QVERIFY(updatesDirectory().startsWith(qEnvironmentVariable("XDG_DATA_HOME")));
    }

    void init()
    {
        removeApplicationFiles(); // left over by a run that was killed
        QVERIFY(writeApplicationFile("update.json", feedJson(m_server.url(manifestPath))));
        m_server.requests.clear();
        m_server.redirects.clear();
        m_server.trickled.clear();
        m_server.replies = {{manifestPath, manifest("version", "0.4.0")},
                            {installerPath, installer}};
        QDir(updatesDirectory()).removeRecursively();
    }

    void cleanup()
    {
        QCoreApplication::setApplicationVersion("0.4.0");
        Updater::setTransferDeadlines({});
        QDir().rmdir(QCoreApplication::applicationDirPath() + "/update.json");
        removeApplicationFiles();
    }

    void configuration_data()
    {
        QUrl http = m_server.url(manifestPath), user = http;
        http.setScheme("http");
        user.setUserInfo("user:secret");
        const QByteArray sound = feedJson(m_server.url(manifestPath));
        QTest::addColumn<QString>("kind"); // of update.json: a file of this content, or else
        QTest::addColumn<QByteArray>("configuration");
        QTest::addColumn<QString>("status");
        QTest::newRow("65535 bytes") << "file" << padded(sound, 65535) << "TCO 0.4.0";
        QTest::newRow("65536 bytes") << "file" << padded(sound, 65536) << notConfigured;
        QTest::newRow("plain http") << "file" << feedJson(http) << notConfigured;
        QTest::newRow("no host") << "file" << feedJson(QUrl("https:///manifest.json"))
                                 << notConfigured;
        QTest::newRow("user information") << "file" << feedJson(user) << notConfigured;
        QTest::newRow("package hub marker") << "file" << sound << hubManaged;
        // What is no regular file is never opened for reading: a FIFO without a writer would
        // block, a device never ends. A link to a regular file is read as that file.
        QTest::newRow("FIFO") << "fifo" << sound << notConfigured;
        QTest::newRow("link to /dev/zero") << "zero" << sound << notConfigured;
        QTest::newRow("folder") << "folder" << sound << notConfigured;
        QTest::newRow("link to a sound file") << "link" << sound << "TCO 0.4.0";
    }

    void configuration()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, configuration);
        QFETCH(QString, status);
        const QString path = QCoreApplication::applicationDirPath() + "/update.json";
        QTemporaryDir elsewhere;
        const QString linked = elsewhere.filePath("feed.json");
        QVERIFY(QFile::remove(path));
        QVERIFY(kind == "fifo"     ? HostileFiles::makeFifo(path)
                : kind == "zero"   ? QFile::link("/dev/zero", path)
                : kind == "folder" ? QDir().mkdir(path)
                : kind == "link"   ? writeFile(linked, configuration) && QFile::link(linked, path)
                                   : writeFile(path, configuration));
        if (status == hubManaged)
            QVERIFY(writeApplicationFile(".kvd-project.json", "{}"));

        Updater updater;
        QCOMPARE(updater.status(), status);
        const bool asks = status == QLatin1String("TCO 0.4.0");
        // Under the hub the button still asks, but the configuration was never read.
        QCOMPARE(checkOnce(updater),
                 QStringList(asks ? QStringList{searching, upToDate} : QStringList{notConfigured}));
        if (!asks) {
            // A request started anyway would reach the server before one started after it.
            QNetworkAccessManager network;
            QNetworkReply *later = network.get(QNetworkRequest(m_server.url("/later")));
            QTRY_VERIFY_WITH_TIMEOUT(later->isFinished(), 10000);
            QCOMPARE(m_server.requests, QList<QByteArray>{"/later"});
            return;
        }
        QCOMPARE(m_server.requests.size(), 1);
    }

    void manifestRules_data()
    {
        QTest::addColumn<QByteArray>("manifest");
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QByteArray &manifest, const QString &expected,
                            const char *running = "0.4.0") {
            QTest::newRow(name) << manifest << QString(running) << expected;
        };
        const QString digest =
            QJsonDocument::fromJson(manifest()).object().value("sha256").toString();
        row("65536 bytes", padded(manifest("version", "0.4.0"), 65536), upToDate);
        row("65537 bytes", padded(manifest("version", "0.4.0"), 65537), unavailable);
        row("lower version", manifest("version", "0.3.9"), incompatible);
        row("two groups", manifest("version", "0.5"), incompatible);
        row("five digits", manifest("version", "0.5.10000"), incompatible);
        row("trailing line feed", manifest("version", "0.5.0\n"), incompatible);
        row("0.10.0 over 0.9.9", manifest("version", "0.10.0"), readyText, "0.9.9");
        row("0.9.9 under 0.10.0", manifest("version", "0.9.9"), incompatible, "0.10.0");
        row("schema as a string", manifest("schema", "1"), incompatible);
        row("upper-case digest", manifest("sha256", digest.toUpper()), readyText);
        row("63 digits", manifest("sha256", digest.left(63)), incompatible);
        row("65 digits", manifest("sha256", digest + '0'), incompatible);
        // Accepted, so the download starts; the served file is smaller, so it is then rejected.
        row("size 536870912", manifest("size", 536870912.0), rejected);
        row("size 536870913", manifest("size", 536870913.0), incompatible);
        row("size 0", manifest("size", 0), incompatible);
        row("size -1", manifest("size", -1), incompatible);
        row("size 12.5", manifest("size", 12.5), incompatible);
        row("no size", manifest("size"), incompatible);
    }

    void manifestRules()
    {
        QFETCH(QByteArray, manifest);
        QFETCH(QString, running);
        QFETCH(QString, expected);
        QCoreApplication::setApplicationVersion(running);
        m_server.replies[manifestPath] = manifest;

        Updater updater;
        checkOnce(updater);
        QCOMPARE(updater.status(), expected);
        const bool accepted = expected == readyText || expected == rejected;
        QCOMPARE(m_server.requests.contains(installerPath), accepted);
        QCOMPARE(updater.ready(), expected == readyText);
    }

    // Each rejected download leaves no file behind.
    void download_data()
    {
        QUrl moved = m_server.url("/moved.run"), user = moved, http = moved;
        user.setUserName("user");
        http.setScheme("http");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("redirect");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exact bytes") << installer << QByteArray() << true;
        QTest::newRow("one byte too many") << installer + 'i' << QByteArray() << false;
        QTest::newRow("wrong digest")
            << QByteArray(installer).replace(1000, 1, "j") << QByteArray() << false;
        QTest::newRow("redirect") << QByteArray() << moved.toEncoded() << true;
        QTest::newRow("redirect to a user name") << QByteArray() << user.toEncoded() << false;
        QTest::newRow("redirect to plain http") << QByteArray() << http.toEncoded() << false;
    }

    void download()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, redirect);
        QFETCH(bool, accepted);
        m_server.replies = {
            {manifestPath, manifest()}, {installerPath, body}, {"/moved.run", installer}};
        m_server.redirects[installerPath] = redirect;

        Updater updater;
        QCOMPARE(checkOnce(updater),
                 (QStringList{searching, downloading, accepted ? readyText : rejected}));
        QCOMPARE(updater.ready(), accepted);
        const QStringList names = leftInUpdates();
        QCOMPARE(names.size(), accepted ? 1 : 0);
        if (!accepted)
            return;
        const QRegularExpression name(
            "^setup-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\" +
            QString(UpdatePlatform::installerSuffix) + '$');
        QVERIFY2(name.match(names.first()).hasMatch(), qPrintable(names.first()));
        QFile file(updatesDirectory() + '/' + names.first());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), installer);
        if (UpdatePlatform::markInstallerExecutable)
            QVERIFY(file.permissions().testFlag(QFileDevice::ExeOwner));
    }

    // A server that sends a byte a second never trips the per-byte time-out; the deadline of the
    // whole transfer ends it with its own status, and a download leaves no file behind.
    void slowTransfer_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QStringList>("statuses");
        QTest::newRow("manifest") << manifestPath << QStringList{searching, manifestTooSlow};
        QTest::newRow("installer")
            << installerPath << QStringList{searching, downloading, downloadTooSlow};
    }

    void slowTransfer()
    {
        QFETCH(QByteArray, path);
        QFETCH(QStringList, statuses);
        Updater::setTransferDeadlines({2000, 2000});
        m_server.replies[manifestPath] = manifest();
        m_server.trickled.insert(path);

        Updater updater;
        QCOMPARE(checkOnce(updater), statuses);
        QVERIFY(!updater.ready());
        QCOMPARE(leftInUpdates(), QStringList());
        // Idle again: the next check asks the server anew.
        m_server.trickled.clear();
        m_server.replies[manifestPath] = manifest("version", "0.4.0");
        QCOMPARE(checkOnce(updater), (QStringList{searching, upToDate}));
    }

    // Installers, interrupted downloads and hand-off folders of earlier runs are removed at
    // start; other files in the folder stay, and a link named like a hand-off is not followed.
    void earlierInstallersRemovedAtStart()
    {
        const QString updates = updatesDirectory() + '/', suffix = UpdatePlatform::installerSuffix;
        QVERIFY(QDir().mkpath(updates + "handoff-aB12cD/inner"));
        QTemporaryDir elsewhere;
        const QString precious = elsewhere.filePath("precious.txt");
        QVERIFY(writeFile(precious, "keep"));
        QVERIFY(QFile::link(elsewhere.path(), updates + "handoff-link"));
        for (const QString &name :
             QStringList{"handoff-aB12cD/inner/setup.run", "notes.txt",
                         "setup-0b1c2d3e-0000-4000-8000-000000000001" + suffix,
                         "setup-0b1c2d3e-0000-4000-8000-000000000002" + suffix,
                         "setup-0b1c2d3e-0000-4000-8000-000000000003" + suffix + ".aBcDeF"})
            QVERIFY(writeFile(updates + name, "old"));

        Updater updater;
        QCOMPARE(leftInUpdates(), (QStringList{"handoff-link", "notes.txt"}));
        QVERIFY(QFile::exists(precious));
        QVERIFY(QFile::remove(updatesDirectory() + "/handoff-link"));
        // The one downloaded now is kept for the hand-off.
        m_server.replies[manifestPath] = manifest();
        QCOMPARE(checkOnce(updater), (QStringList{searching, downloading, readyText}));
        QCOMPARE(QDir(updatesDirectory()).entryList(QDir::Files).size(), 2);
    }

    void handOff_data()
    {
        QTest::addColumn<QString>("mode");         // as update_handoff_helper takes it
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
        if (!UpdatePlatform::markInstallerExecutable)
            QSKIP("The test installer is a shell script.");
        QFETCH(QString, mode);
        QFETCH(QStringList, expected);
        QTemporaryDir work;
        const QByteArray argumentsFile = QFile::encodeName(work.filePath("arguments.txt"));
        // The last line is a comment that the helper may alter without breaking the script.
        const QByteArray script = "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + argumentsFile +
                                  ".part' && mv '" + argumentsFile + ".part' '" + argumentsFile +
                                  "'\n#A\n";
        m_server.replies = {
            {manifestPath,
             QJsonDocument(soundManifest(m_server.url(installerPath), script)).toJson()},
            {installerPath, script}};

        QProcess helper;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", work.filePath("data"));
        helper.setProcessEnvironment(environment);
        helper.setProcessChannelMode(QProcess::ForwardedChannels);
        helper.start(QCoreApplication::applicationDirPath() + "/update_handoff_helper", {mode});
        QVERIFY2(helper.waitForStarted(), qPrintable(helper.errorString()));
        // The server answers from this event loop, so wait without blocking it.
        QTRY_COMPARE_WITH_TIMEOUT(helper.state(), QProcess::NotRunning, 90000);
        QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(helper.exitCode(), 0); // 0: the update was ready before the planned ending

        if (expected.isEmpty()) // the helper ends with 6 where the installer is about to start
            return;
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

int main(int argc, char *argv[])
{
    // Downloads go to a private data location, set before the application object exists.
    QTemporaryDir dataHome;
    if (!dataHome.isValid())
        return 1;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion("0.4.0");
    TestUpdater test;
    const int result = QTest::qExec(&test, argc, argv);
    removeApplicationFiles();
    return result;
}

#include "tst_updater.moc"
