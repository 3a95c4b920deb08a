#include "ApplicationAssembly.h"
#include "CommandLine.h"
#include "LogCategories.h"
#include "SdkFailureReport.h"
#include "SdkLoader.h"
#include "Version.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Our log lines keep their plain text; the categories only choose what is shown.
    installPlainLogText();
    {
        // The help needs no display and no library.
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
    }
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
    // A machine without any display (a build server, a script over ssh) still gets a working
    // library check and headless verification runs instead of an abort in the platform plug-in.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Zorvy TCO"));
    QGuiApplication::setOrganizationName(QStringLiteral("ZorvyTools"));
    QGuiApplication::setApplicationVersion(QStringLiteral(ZORVY_VERSION));

    // Qt has taken its own options out of the arguments by now.
    const CommandLine options(QGuiApplication::arguments());
    for (const QString &unknown : options.unknownOptions())
        std::fprintf(stderr, "%s\n",
                     qPrintable(QStringLiteral("Option inconnue : %1").arg(unknown)));
    std::fflush(stderr);

    // The library is checked before anything else exists.
    QString sdkError;
    if (!loadSdk(&sdkError)) {
        reportSdkFailure(sdkError, !options.checkSdk());
        return 3;
    }
    if (options.checkSdk())
        return 0;

    ApplicationAssembly assembly(options);
    return assembly.finish(QGuiApplication::exec());
}
