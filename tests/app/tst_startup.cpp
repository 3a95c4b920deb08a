// Black-box start-up: the program is copied with one library variant (or none) into a fresh
// folder and run there.

#include <QtTest>

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
    // The library check and the options around it: the exit code, the lines on standard error and
    // nothing on standard output. Without a library the reason after the prefix is the system's
    // own.
    void checkSdk_data()
    {
        QTest::addColumn<QString>("variant"); // empty: no library at all
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        const QString incompatible = "SDK incompatible : ce TCO nécessite ZorvyRailsSDK 0.6.x "
                                     "(ABI 1). Réinstallez le paquet depuis KVD Hub.";
        const QString absent = "SDK absent ou impossible à charger : %1";
        const QStringList check{"--check-sdk"};
        QTest::newRow("good library") << "good" << check << 0 << QString();
        QTest::newRow("any fifth version field") << "patch-any" << check << 0 << QString();
        QTest::newRow("ABI 2") << "abi2" << check << 3 << incompatible;
        QTest::newRow("minor 7") << "minor7" << check << 3 << incompatible;
        QTest::newRow("failing version query") << "version-fails" << check << 3 << incompatible;
        QTest::newRow("only the status text missing")
            << "missing-status" << check << 3 << "SDK incomplet : ZorvySdk_StatusString";
        QTest::newRow("several missing: the first is named")
            << "missing-several" << check << 3 << "SDK incomplet : ZorvySdk_CopyTrackNodes";
        QTest::newRow("no library") << QString() << check << 3 << absent;
        // Unknown options are named first, in their order, and the run goes on as if they were
        // absent; an option that is not the whole "--check-sdk" is one of them.
        QTest::newRow("capitals, no library") << QString() << QStringList{"--CHECK-SDK"} << 3
                                              << "Option inconnue : --CHECK-SDK\n" + absent;
        QTest::newRow("joined value, no library") << QString() << QStringList{"--check-sdk=1"} << 3
                                                  << "Option inconnue : --check-sdk=1\n" + absent;
        QTest::newRow("prefix, no library")
            << QString() << QStringList{"--check"} << 3 << "Option inconnue : --check\n" + absent;
        QTest::newRow("one") << "good" << QStringList{"--bogus", "--check-sdk"} << 0
                             << "Option inconnue : --bogus";
        QTest::newRow("two") << "good" << QStringList{"--check-sdk", "-x", "--verify-lvie"} << 0
                             << "Option inconnue : -x\nOption inconnue : --verify-lvie";
        QTest::newRow("the screenshot path is a value")
            << "good" << QStringList{"--screenshot", "-shot.png", "--check-sdk"} << 0 << QString();
        QTest::newRow("plain words are ignored")
            << "good" << QStringList{"world", "--check-sdk"} << 0 << QString();
    }

    void checkSdk()
    {
        QFETCH(QString, variant);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const Run run = runIn(dir.path(), variant, arguments);
        if (variant.isEmpty()) {
            QLibrary probe(dir.path() + "/ZorvyRailsSDK.dll");
            QVERIFY(!probe.load());
            error = error.arg(probe.errorString());
        }
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.error, error); // whole lines, or nothing at all
        QVERIFY(run.output.isEmpty());
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
        for (const QString option :
             {"--check-sdk", "--verify-live", "--verify-textures", "--verify-map", "--verify-blink",
              "--screenshot", "--smoke", "--version", "--help"}) {
            const QRegularExpression described("^\\s*(-[hv], )?" + option);
            QVERIFY2(lines.filter(described).size() == 1, qPrintable(option));
        }
    }

    // The version of the build, without a library or a display.
    void version()
    {
        QTemporaryDir dir;
        const Run run = runIn(dir.path(), QString(), {"--version"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.output, QByteArray("ZorvyTco " ZORVY_VERSION "\n"));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
