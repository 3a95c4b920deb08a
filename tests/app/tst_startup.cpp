// Black-box start-up: the program is copied with one library variant (or none) into a fresh
// folder and run there.

#include "GameProcess.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct Run
{
    int exitCode = -1;
    QByteArray output;
    QString error;
    QString folder; // where the program ran
};

// Writes a copy of `source` named `name` into the folder open as `folder`.
static bool copyInto(int folder, const char *name, const QString &source)
{
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    const int copy = ::openat(folder, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0700);
    const bool written =
        copy >= 0 && ::write(copy, bytes.constData(), bytes.size()) == bytes.size();
    return ::close(copy) == 0 && written;
}

// A chain of `levels` folders of 250-character names inside the folder open as `parent`, made one
// level at a time so that no call sees more than one name; their relative path, and the deepest
// one opened in `deepest`.
static QString nestFolders(int parent, int levels, int *deepest)
{
    const QByteArray name(250, 'd');
    QString relative = ".";
    *deepest = ::dup(parent);
    for (int level = 0; level < levels && *deepest >= 0; ++level) {
        ::mkdirat(*deepest, name.constData(), 0700);
        const int next = ::openat(*deepest, name.constData(), O_DIRECTORY | O_CLOEXEC);
        ::close(*deepest);
        *deepest = next;
        relative += '/' + QString::fromLatin1(name);
    }
    return relative;
}

// Copies the program (and the named variant, if any) into dir, or deep below it, and runs it
// there through a path relative to the working folder.
static Run runIn(const QString &dir, const QString &variant, const QStringList &arguments,
                 bool deep = false)
{
    const QString bin = QCoreApplication::applicationDirPath();
    // Deep: a working folder some 2,000 characters below dir, and the program some 2,250 below
    // that, so that the program's folder is longer than any path a file call takes.
    const int top = ::open(QFile::encodeName(dir).constData(), O_DIRECTORY | O_CLOEXEC);
    int middle = -1, folder = -1;
    const QString working = nestFolders(top, deep ? 8 : 0, &middle);
    const QString below = nestFolders(middle, deep ? 9 : 0, &folder);
    if (folder < 0 || !copyInto(folder, "ZorvyTco", bin + "/ZorvyTco") ||
        (!variant.isEmpty() && !copyInto(folder, "ZorvyRailsSDK.dll",
                                         bin + "/sdk-variants/" + variant + "/ZorvyRailsSDK.dll")))
        qFatal("cannot copy the program or variant %s", qPrintable(variant));
    QProcess process;
    // A private runtime folder (the fresh folder is owner-only), so that the platform's warning
    // about a missing one never mixes with the line under test.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", dir);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir + '/' + working);
    process.start(below + "/ZorvyTco", arguments);
    Run run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.output = process.readAllStandardOutput();
    run.error = QString::fromUtf8(process.readAllStandardError()).trimmed();
    run.folder = QDir::cleanPath(QFileInfo(dir).canonicalFilePath() + '/' + working + '/' + below);
    // The lower chain moved up beside the other, so that the temporary folder can be removed.
    if (deep)
        ::renameat(middle, QByteArray(250, 'd').constData(), top, "lower");
    for (const int handle : {top, middle, folder})
        ::close(handle);
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
        QTest::addColumn<bool>("deep"); // the program's folder longer than 4,096 characters
        const QString incompatible = "SDK incompatible : ce TCO nécessite ZorvyRailsSDK 0.6.x "
                                     "(ABI 1). Réinstallez le paquet depuis KVD Hub.";
        const QString absent = "SDK absent ou impossible à charger : %1";
        const QStringList check{"--check-sdk"};
        QTest::newRow("good library") << "good" << check << 0 << QString() << false;
        QTest::newRow("any fifth version field") << "patch-any" << check << 0 << QString() << false;
        QTest::newRow("ABI 2") << "abi2" << check << 3 << incompatible << false;
        QTest::newRow("minor 7") << "minor7" << check << 3 << incompatible << false;
        QTest::newRow("failing version query")
            << "version-fails" << check << 3 << incompatible << false;
        QTest::newRow("only the status text missing")
            << "missing-status" << check << 3 << "SDK incomplet : ZorvySdk_StatusString" << false;
        QTest::newRow("several missing: the first is named")
            << "missing-several" << check << 3 << "SDK incomplet : ZorvySdk_CopyTrackNodes"
            << false;
        QTest::newRow("no library") << QString() << check << 3 << absent << false;
        // Unknown options are named first, in their order, and the run goes on as if they were
        // absent; an option that is not the whole "--check-sdk" is one of them.
        QTest::newRow("capitals, no library")
            << QString() << QStringList{"--CHECK-SDK"} << 3
            << "Option inconnue : --CHECK-SDK\n" + absent << false;
        QTest::newRow("joined value, no library")
            << QString() << QStringList{"--check-sdk=1"} << 3
            << "Option inconnue : --check-sdk=1\n" + absent << false;
        QTest::newRow("prefix, no library") << QString() << QStringList{"--check"} << 3
                                            << "Option inconnue : --check\n" + absent << false;
        QTest::newRow("one") << "good" << QStringList{"--bogus", "--check-sdk"} << 0
                             << "Option inconnue : --bogus" << false;
        QTest::newRow("two") << "good" << QStringList{"--check-sdk", "-x", "--verify-lvie"} << 0
                             << "Option inconnue : -x\nOption inconnue : --verify-lvie" << false;
        QTest::newRow("the screenshot path is a value")
            << "good" << QStringList{"--screenshot", "-shot.png", "--check-sdk"} << 0 << QString()
            << false;
        QTest::newRow("plain words are ignored")
            << "good" << QStringList{"world", "--check-sdk"} << 0 << QString() << false;
        QTest::newRow("folder past 4,096 characters") << "good" << check << 0 << QString() << true;
        QTest::newRow("no library, folder past 4,096 characters")
            << QString() << check << 3 << absent << true;
    }

    void checkSdk()
    {
        QFETCH(QString, variant);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        QFETCH(bool, deep);
        QTemporaryDir dir;
        const Run run = runIn(dir.path(), variant, arguments, deep);
        if (deep && variant.isEmpty()) {
            // Looked for in the deep folder, never at the root, and named by its path.
            const QString prefix = "Cannot load library " + run.folder + "/ZorvyRailsSDK.dll: ";
            QVERIFY2(run.error.startsWith(error.arg(prefix)), qPrintable(run.error));
            error = run.error;
        } else if (variant.isEmpty()) {
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
