// Black-box start-up: the program is copied with one library variant (or none) into a fresh
// folder and asked to check its library there.

#include <QtTest>

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checkSdk_data();
    void checkSdk();
    void missingLibraryGivesTheSystemReason();
    void optionsAreRecognisedOnlyWhole_data();
    void optionsAreRecognisedOnlyWhole();

private:
    struct Run
    {
        int exitCode = -1;
        QByteArray standardOutput;
        QString standardError;
    };
    // Copies the program (and the named variant, if any) into dir and runs it there.
    static Run runIn(const QString &dir, const QString &variant, const QStringList &arguments);
};

TestStartup::Run TestStartup::runIn(const QString &dir, const QString &variant,
                                    const QStringList &arguments)
{
    const QString bin = QCoreApplication::applicationDirPath();
    const QString program = dir + QStringLiteral("/ZorvyTco");
    if (!QFile::exists(program)) {
        if (!QFile::copy(bin + QStringLiteral("/ZorvyTco"), program))
            qFatal("cannot copy the program into %s", qPrintable(dir));
    }
    if (!variant.isEmpty()) {
        const QString source =
            bin + QStringLiteral("/sdk-variants/") + variant + QStringLiteral("/ZorvyRailsSDK.dll");
        if (!QFile::copy(source, dir + QStringLiteral("/ZorvyRailsSDK.dll")))
            qFatal("cannot copy variant %s", qPrintable(variant));
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.start();
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.standardOutput = process.readAllStandardOutput();
    run.standardError = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return run;
}

void TestStartup::checkSdk_data()
{
    QTest::addColumn<QString>("variant");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QString incompatible = QStringLiteral(
        "SDK incompatible : ce TCO nécessite ZorvyRailsSDK 0.6.x (ABI 1). Réinstallez le paquet "
        "depuis KVD Hub.");
    QTest::newRow("good library") << "good" << 0 << QString();
    QTest::newRow("any fifth version field") << "patch-any" << 0 << QString();
    QTest::newRow("ABI 2") << "abi2" << 3 << incompatible;
    QTest::newRow("minor 7") << "minor7" << 3 << incompatible;
    QTest::newRow("failing version query") << "version-fails" << 3 << incompatible;
    QTest::newRow("only the status text missing")
        << "missing-status" << 3 << QStringLiteral("SDK incomplet : ZorvySdk_StatusString");
    QTest::newRow("several missing: the first is named")
        << "missing-several" << 3 << QStringLiteral("SDK incomplet : ZorvySdk_CopyTrackNodes");
}

void TestStartup::checkSdk()
{
    QFETCH(QString, variant);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Run run = runIn(dir.path(), variant, {QStringLiteral("--check-sdk")});
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.standardError, message); // exactly one line, or nothing at all
    QVERIFY(run.standardOutput.isEmpty());
}

void TestStartup::missingLibraryGivesTheSystemReason()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Run run = runIn(dir.path(), QString(), {QStringLiteral("--check-sdk")});
    QCOMPARE(run.exitCode, 3);

    // The reason after the prefix is the system's own, as the library object reports it.
    QLibrary probe(dir.path() + QStringLiteral("/ZorvyRailsSDK.dll"));
    QVERIFY(!probe.load());
    QCOMPARE(run.standardError,
             QStringLiteral("SDK absent ou impossible à charger : ") + probe.errorString());
}

void TestStartup::optionsAreRecognisedOnlyWhole_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("capitals") << QStringList{QStringLiteral("--CHECK-SDK")};
    QTest::newRow("joined value") << QStringList{QStringLiteral("--check-sdk=1")};
    QTest::newRow("prefix") << QStringList{QStringLiteral("--check")};
}

// Without a library an unrecognised option changes nothing: the failure is still reported and
// ends the run with 3, before any window exists.
void TestStartup::optionsAreRecognisedOnlyWhole()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Run run = runIn(dir.path(), QString(), arguments);
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.standardError.startsWith(QStringLiteral("SDK absent ou impossible à charger : ")),
             qPrintable(run.standardError));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
