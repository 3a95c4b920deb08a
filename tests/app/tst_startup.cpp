// Black-box start-up: the program is copied with one library variant (or none) into a fresh
// folder and run there.

#include "GameProcess.h"

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

    GameProcess m_game; // what the program finds by name; the variants serve their own world

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

    // Libraries that misbehave, through a smoke run that logs every picture ("LIVE …" or
    // "WAIT <status>"): the program never crashes and quits with 0; a capture the library spoilt
    // is refused with its own text, as any failed capture is, and nothing of it is shown.
    void hostileLibrary_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QString>("status"); // empty: the pictures are live
        const QString overrun =
            "Capture abandonnée : le SDK a écrit au-delà de la place donnée pour les %1";
        QTest::newRow("a sound world") << "world" << QString();
        QTest::newRow("past the trains' capacity") << "overrun-trains" << overrun.arg("trains");
        QTest::newRow("past the stations' capacity") << "overrun-stations" << overrun.arg("gares");
        QTest::newRow("past the reservations' capacity")
            << "overrun-reservations" << overrun.arg("réservations");
        QTest::newRow("fewer trains than announced")
            << "short-fill"
            << "Capture abandonnée : le SDK annonce 3 trains mais n'en remplit que 2";
        QTest::newRow("floating-point exceptions unmasked") << "fp-unmask" << QString();
        QTest::newRow("its own export called while loading") << "self-call" << QString();
        QTest::newRow("a native state of INT_MIN") << "negative-state" << QString();
        // Depends on the map's handling of non-finite coordinates.
        QTest::newRow("a node at NaN, NaN") << "nan-nodes" << QString();
    }

    void hostileLibrary()
    {
        QFETCH(QString, variant);
        QFETCH(QString, status);
        if (!m_game.processId())
            QVERIFY2(m_game.start({"--size", "small"}), qPrintable(m_game.errorString()));
        QTemporaryDir dir;
        const Run run =
            runIn(dir.path(), variant, {"--smoke", "--verify-textures", "--verify-map"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        const bool live =
            run.error.contains(QRegularExpression("^LIVE ", QRegularExpression::MultilineOption));
        QVERIFY2(live == status.isEmpty(), qPrintable(run.error));
        if (!status.isEmpty())
            QVERIFY2(run.error.contains("WAIT QVariant(QString, \"" + status + "\")"),
                     qPrintable(run.error));
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
              "--screenshot", "--smoke", "--help"}) {
            const QRegularExpression described("^\\s*(-h, )?" + option);
            QVERIFY2(lines.filter(described).size() == 1, qPrintable(option));
        }
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
