#include "UpdateTestSupport.h"
#include "Updater.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

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
        removeApplicationFiles();
    }

    void configuration_data()
    {
        QUrl http = m_server.url(manifestPath), user = http;
        http.setScheme("http");
        user.setUserInfo("user:secret");
        const QByteArray sound = feedJson(m_server.url(manifestPath));
        QTest::addColumn<QByteArray>("configuration");
        QTest::addColumn<QString>("status");
        QTest::newRow("65535 bytes") << padded(sound, 65535) << "TCO 0.4.0";
        QTest::newRow("65536 bytes") << padded(sound, 65536) << notConfigured;
        QTest::newRow("plain http") << feedJson(http) << notConfigured;
        QTest::newRow("no host") << feedJson(QUrl("https:///manifest.json")) << notConfigured;
        QTest::newRow("user information") << feedJson(user) << notConfigured;
        QTest::newRow("package hub marker") << sound << hubManaged;
    }

    void configuration()
    {
        QFETCH(QByteArray, configuration);
        QFETCH(QString, status);
        QVERIFY(writeApplicationFile("update.json", configuration));
        if (status == hubManaged)
            QVERIFY(writeApplicationFile(".kvd-project.json", "{}"));

        Updater updater;
        QCOMPARE(updater.status(), status);
        const bool asks = status == QLatin1String("TCO 0.4.0");
        // Under the hub the button still asks, but the configuration was never read.
        QCOMPARE(checkOnce(updater),
                 QStringList(asks ? QStringList{searching, upToDate} : QStringList{notConfigured}));
        if (!asks)
            QTest::qWait(100); // a request started anyway would reach the server
        QCOMPARE(m_server.requests.size(), asks ? 1 : 0);
    }

    // update.json that is no regular file is never opened for reading: a FIFO without a writer
    // would block, a device never ends. A link to a regular file is read as that file.
    void configurationNotAFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("status");
        QTest::newRow("FIFO") << "fifo" << notConfigured;
        QTest::newRow("link to /dev/zero") << "zero" << notConfigured;
        QTest::newRow("folder") << "folder" << notConfigured;
        QTest::newRow("link to a sound file") << "link"
                                              << "TCO 0.4.0";
    }

    void configurationNotAFile()
    {
#ifndef Q_OS_UNIX
        QSKIP("FIFOs and /dev/zero are Unix files");
#else
        QFETCH(QString, kind);
        QFETCH(QString, status);
        const QString path = QCoreApplication::applicationDirPath() + "/update.json";
        QVERIFY(QFile::remove(path));
        QTemporaryDir elsewhere;
        QVERIFY(elsewhere.isValid());
        const QString sound = elsewhere.filePath("feed.json");
        QFile soundFile(sound);
        QVERIFY(soundFile.open(QIODevice::WriteOnly));
        QVERIFY(soundFile.write(feedJson(m_server.url(manifestPath))) > 0);
        soundFile.close();
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "zero")
            QVERIFY(QFile::link("/dev/zero", path));
        else if (kind == "folder")
            QVERIFY(QDir().mkdir(path));
        else
            QVERIFY(QFile::link(sound, path));

        const Updater updater;
        const QString shown = updater.status();
        if (kind == "folder")
            QVERIFY(QDir().rmdir(path));
        QCOMPARE(shown, status);
#endif
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
        row("sound", manifest(), readyText);
        row("65536 bytes", padded(manifest("version", "0.4.0"), 65536), upToDate);
        row("65537 bytes", padded(manifest("version", "0.4.0"), 65537), unavailable);
        row("same version", manifest("version", "0.4.0"), upToDate);
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
        const QStringList names =
            QDir(updatesDirectory())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
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
        QCOMPARE(QDir(updatesDirectory())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        // Idle again: the next check asks the server anew.
        m_server.trickled.clear();
        m_server.replies[manifestPath] = manifest("version", "0.4.0");
        QCOMPARE(checkOnce(updater), (QStringList{searching, upToDate}));
    }

    // Installers, interrupted downloads and hand-off folders of earlier runs are removed at
    // start; other files in the folder stay, and a link named like a hand-off is not followed.
    void earlierInstallersRemovedAtStart()
    {
        QVERIFY(QDir().mkpath(updatesDirectory() + "/handoff-aB12cD/inner"));
        QFile handedOver(updatesDirectory() + "/handoff-aB12cD/inner/setup.run");
        QVERIFY(handedOver.open(QIODevice::WriteOnly) && handedOver.write("old") == 3);
        handedOver.close();
        QTemporaryDir elsewhere;
        QFile precious(elsewhere.filePath("precious.txt"));
        QVERIFY(precious.open(QIODevice::WriteOnly) && precious.write("keep") == 4);
        precious.close();
        QVERIFY(QFile::link(elsewhere.path(), updatesDirectory() + "/handoff-link"));
        const QStringList earlier{
            "setup-0b1c2d3e-0000-4000-8000-000000000001" + QString(UpdatePlatform::installerSuffix),
            "setup-0b1c2d3e-0000-4000-8000-000000000002" + QString(UpdatePlatform::installerSuffix),
            "setup-0b1c2d3e-0000-4000-8000-000000000003" +
                QString(UpdatePlatform::installerSuffix) + ".aBcDeF"};
        for (const QString &name : earlier + QStringList{"notes.txt"}) {
            QFile file(updatesDirectory() + '/' + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write("old") == 3);
        }

        Updater updater;
        QCOMPARE(QDir(updatesDirectory())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{"handoff-link", "notes.txt"}));
        QVERIFY(precious.exists());
        QVERIFY(QFile::remove(updatesDirectory() + "/handoff-link"));
        // The one downloaded now is kept for the hand-off.
        m_server.replies[manifestPath] = manifest();
        QCOMPARE(checkOnce(updater), (QStringList{searching, downloading, readyText}));
        QCOMPARE(QDir(updatesDirectory()).entryList(QDir::Files).size(), 2);
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
