#include "ApplicationAssembly.h"
#include "CommandLine.h"
#include "LogCategories.h"
#include "Platform.h"
#include "RecordingExport.h"
#include "SdkFailureReport.h"
#include "SdkLoader.h"
#include "Version.h"

#include <QGuiApplication>
#include <QSettings>

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

// The runs that need neither a display nor the library: the help, the version, a bad option value
// and the export of a recorded capture. Their exit code, or nothing for every other run.
std::optional<int> runWithoutWindow(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine early(arguments);
    if (early.help()) {
        std::fputs(CommandLine::helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (early.version()) {
        std::fputs("ZorvyTco " ZORVY_VERSION "\n", stdout);
        return 0;
    }
    if (!early.valueError().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(early.valueError()));
        return 2;
    }
    // The export of a recorded capture needs neither a window nor the library.
    if (!early.exportPath().isEmpty()) {
        const QString error =
            exportCaptureJson(early.replayPath(), early.exportSeconds(), early.exportPath());
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 2;
        }
        return 0;
    }
    return std::nullopt;
}

// A machine without any display (a build server, a script over ssh) still gets a working library
// check and headless verification runs instead of an abort in the platform plug-in.
void preferOffscreenWithoutDisplay()
{
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
}

void nameApplication()
{
    QGuiApplication::setApplicationName(QStringLiteral("Zorvy TCO"));
    QGuiApplication::setOrganizationName(QStringLiteral("ZorvyTools"));
    QGuiApplication::setApplicationVersion(QStringLiteral(ZORVY_VERSION));
}

void reportUnknownOptions(const CommandLine &options)
{
    for (const QString &unknown : options.unknownOptions())
        std::fprintf(stderr, "%s\n",
                     qPrintable(QStringLiteral("Option inconnue : %1").arg(unknown)));
    std::fflush(stderr);
}

// The replay asked for, if any, into *replay; false, with the error written, for a bad recording.
bool openReplay(const CommandLine &options, std::shared_ptr<Replay> *replay)
{
    if (options.replayPath().isEmpty())
        return true;
    try {
        *replay = std::make_shared<Replay>(options.replayPath());
    } catch (const RecordingFormat::Error &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.text()));
        return false;
    }
    return true;
}

// "--record" starts the recorder at once; false, with the error written, when it cannot.
bool startAskedRecording(const CommandLine &options, Recorder *recorder)
{
    if (options.recordPath().isEmpty())
        return true;
    if (!recorder->start(options.recordPath())) {
        std::fprintf(stderr, "%s\n", qPrintable(recorder->status()));
        return false;
    }
    return true;
}

// A live session not recorded otherwise keeps its last minutes in the black box (a setting; not
// for the verification and smoke runs, which keep nothing), beside what the window records; null
// when there is none. A black box that cannot start says why in its status.
std::shared_ptr<Recorder> startBlackBox(const CommandLine &options, bool live)
{
    const bool scripted = options.verificationRun() || options.verifyMap() ||
                          options.verifyBlink() || options.smoke();
    if (!live || !options.recordPath().isEmpty() || scripted)
        return nullptr;
    const QSettings settings;
    const qint64 minutes =
        settings.value(QStringLiteral("recording/blackBoxMinutes"), 15).toLongLong();
    const qint64 budgetMb =
        settings.value(QStringLiteral("recording/blackBoxBudgetMB"), 1024).toLongLong();
    if (minutes <= 0 || budgetMb <= 0)
        return nullptr;
    auto recorder = std::make_shared<Recorder>();
    if (!recorder->startBlackBox(minutes * 60000, budgetMb << 20))
        qCWarning(LogCategory::capture).noquote() << recorder->status();
    return recorder;
}

} // namespace

int main(int argc, char *argv[])
{
    // Our log lines keep their plain text; the categories only choose what is shown.
    installPlainLogText();
    // The help needs no display and no library.
    if (const std::optional<int> code = runWithoutWindow(argc, argv))
        return *code;
    preferOffscreenWithoutDisplay();
    QGuiApplication app(argc, argv);
    nameApplication();
    // Ctrl+C or SIGTERM ends the program as closing its window does, so that a recording is
    // completed in its own file rather than left in its journal.
    static std::atomic<bool> running{true};
    Platform::onStopRequest([] {
        QCoreApplication *application = QCoreApplication::instance();
        if (running && application)
            QMetaObject::invokeMethod(application, &QCoreApplication::quit, Qt::QueuedConnection);
    });

    // Qt has taken its own options out of the arguments by now.
    const CommandLine options(QGuiApplication::arguments());
    reportUnknownOptions(options);

    // A replay is opened before anything else, so that a bad recording ends the program at once;
    // it needs no library.
    std::shared_ptr<Replay> replay;
    if (!openReplay(options, &replay))
        return 2;

    // The library is checked before anything else exists.
    QString sdkError;
    if (!replay && !loadSdk(&sdkError)) {
        reportSdkFailure(sdkError, !options.checkSdk());
        return 3;
    }
    if (options.checkSdk())
        return 0;

    // A live session can be recorded from the window at any time; "--record" starts at once.
    std::shared_ptr<Recorder> recorder;
    if (!replay)
        recorder = std::make_shared<Recorder>();
    if (!startAskedRecording(options, recorder.get()))
        return 2;
    // Otherwise a live session keeps its last minutes in the black box.
    std::shared_ptr<Recorder> blackBox = startBlackBox(options, !replay);

    ApplicationAssembly assembly(options, std::move(replay), std::move(recorder),
                                 std::move(blackBox));
    const int code = QGuiApplication::exec();
    running = false;
    return assembly.finish(code);
}
