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
        QCOMPARE(run.error, "SDK absent ou impossible à charger : " + probe.errorString());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
