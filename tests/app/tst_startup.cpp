// Black-box start-up: the program is copied with one library variant (or none) into a fresh
// folder and run there.

#include <QtTest>

#include <algorithm>

struct Run
{
    int exitCode = -1;
    QByteArray output;
    QString error;
};

// Copies the program (and the named variant, if any) into dir and runs it there.
static Run runIn(const QString &dir, const QString &variant, const QStringList &arguments)
{
    const QString bin = QCoreApplication::applicationDirPath();
    if (!QFile::copy(bin + "/ZorvyTco", dir + "/ZorvyTco") ||
        (!variant.isEmpty() && !QFile::copy(bin + "/sdk-variants/" + variant + "/ZorvyRailsSDK.dll",
                                            dir + "/ZorvyRailsSDK.dll")))
        qFatal("cannot copy the program or variant %s", qPrintable(variant));
    QProcess process;
    // A private runtime folder (the fresh folder is owner-only), so that the platform's warning
    // about a missing one never mixes with the line under test.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", dir);
    process.setProcessEnvironment(environment);
    process.start(dir + "/ZorvyTco", arguments);
    Run run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.output = process.readAllStandardOutput();
    run.error = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return run;
}

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checkSdk_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString incompatible = "SDK incompatible : ce TCO nécessite ZorvyRailsSDK 0.6.x "
                                     "(ABI 1). Réinstallez le paquet depuis KVD Hub.";
        QTest::newRow("good library") << "good" << 0 << QString();
        QTest::newRow("any fifth version field") << "patch-any" << 0 << QString();
        QTest::newRow("ABI 2") << "abi2" << 3 << incompatible;
        QTest::newRow("minor 7") << "minor7" << 3 << incompatible;
        QTest::newRow("failing version query") << "version-fails" << 3 << incompatible;
        QTest::newRow("only the status text missing")
            << "missing-status" << 3 << "SDK incomplet : ZorvySdk_StatusString";
        QTest::newRow("several missing: the first is named")
            << "missing-several" << 3 << "SDK incomplet : ZorvySdk_CopyTrackNodes";
    }

    void checkSdk()
    {
        QFETCH(QString, variant);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const Run run = runIn(dir.path(), variant, {"--check-sdk"});
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.error, message); // exactly one line, or nothing at all
        QVERIFY(run.output.isEmpty());
    }

    // Without a library the reason after the prefix is the system's own; an option that is not
    // the whole "--check-sdk" changes nothing: the failure still ends the run with 3.
    void missingLibrary_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("--check-sdk") << QStringList{"--check-sdk"};
        QTest::newRow("capitals") << QStringList{"--CHECK-SDK"};
        QTest::newRow("joined value") << QStringList{"--check-sdk=1"};
        QTest::newRow("prefix") << QStringList{"--check"};
    }

    void missingLibrary()
    {
        QFETCH(QStringList, arguments);
        QTemporaryDir dir;
        const Run run = runIn(dir.path(), QString(), arguments);
        QCOMPARE(run.exitCode, 3);
        QLibrary probe(dir.path() + "/ZorvyRailsSDK.dll");
        QVERIFY(!probe.load());
        // A misspelt option is reported first, and the run goes on to the library check.
        const QString unknown = arguments.first() == "--check-sdk"
                                    ? QString()
                                    : "Option inconnue : " + arguments.first() + "\n";
        QCOMPARE(run.error,
                 unknown + "SDK absent ou impossible à charger : " + probe.errorString());
    }

    // The help needs neither a library nor a display, and lists every option on a line of its own.
    void help_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("--help") << QStringList{"--help"};
        QTest::newRow("-h") << QStringList{"-h"};
        QTest::newRow("among other options") << QStringList{"--verify-live", "--help", "--bogus"};
    }

    void help()
    {
        QFETCH(QStringList, arguments);
        QTemporaryDir dir;
        const Run run = runIn(dir.path(), QString(), arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.error, QString());
        const QStringList lines = QString::fromUtf8(run.output).split('\n');
        for (const char *option :
             {"--check-sdk", "--verify-live", "--verify-textures", "--verify-map", "--verify-blink",
              "--screenshot", "--smoke", "--help"}) {
            const auto described =
                std::count_if(lines.cbegin(), lines.cend(), [&](const QString &line) {
                    return line.trimmed().startsWith(QLatin1String(option)) ||
                           line.trimmed().startsWith(QLatin1String("-h, ") + QLatin1String(option));
                });
            QVERIFY2(described == 1, option);
        }
    }

    // Unknown options are named on standard error and the run goes on as if they were absent.
    void unknownOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("one") << QStringList{"--bogus", "--check-sdk"}
                             << "Option inconnue : --bogus";
        QTest::newRow("two, in their order")
            << QStringList{"--check-sdk", "-x", "--verify-lvie"}
            << "Option inconnue : -x\nOption inconnue : --verify-lvie";
        QTest::newRow("the screenshot path is a value")
            << QStringList{"--screenshot", "-shot.png", "--check-sdk"} << QString();
        QTest::newRow("plain words are ignored")
            << QStringList{"world", "--check-sdk"} << QString();
    }

    void unknownOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const Run run = runIn(dir.path(), "good", arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.error, error);
        QVERIFY(run.output.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
