// Runs an Updater in an application of its own until its update is ready, then ends the way the
// first argument asks, so that the test can see what the hand-off at quit starts:
//   quit           waits for the updater's own first check instead of asking at once, then quits
//                  as when the window is closed
//   restart        quits through Updater::restart()
//   early-restart  calls restart() before anything is ready, then quits as when the window closes
//   replace        changes one byte of the downloaded installer, then quits
//   append         adds one byte to the downloaded installer, then quits
// The second argument is the certificate to trust. Prints the final status; exit code 0 once the
// updater was ready and the planned ending ran, 2 when it never got ready.

#include "Updater.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

// Finds the only installer that the updater downloaded into its private data location.
QString downloadedInstaller()
{
    const QDir updates(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                       QStringLiteral("/updates"));
    const QStringList names = updates.entryList(QDir::Files);
    return names.size() == 1 ? updates.filePath(names.first()) : QString();
}

bool tamper(const QString &mode)
{
    QFile installer(downloadedInstaller());
    if (!installer.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = installer.readAll();
    if (mode == QLatin1String("replace")) {
        // The script ends with a comment line; another letter keeps it a working script.
        bytes[bytes.size() - 2] = 'B';
    } else {
        bytes.append('\n');
    }
    return installer.seek(0) && installer.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Zorvy TCO"));
    QCoreApplication::setOrganizationName(QStringLiteral("ZorvyTools"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.4.0"));
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3)
        return 64;
    const QString mode = arguments.at(1);

    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    if (!tls.addCaCertificates(arguments.at(2)))
        return 65;
    QSslConfiguration::setDefaultConfiguration(tls);

    Updater updater;
    int exitCode = 2;
    bool ended = false;
    QObject::connect(&updater, &Updater::changed, &app, [&] {
        if (!updater.ready() || ended)
            return;
        ended = true;
        exitCode = 0;
        if (mode == QLatin1String("restart")) {
            updater.restart();
            return;
        }
        if ((mode == QLatin1String("replace") || mode == QLatin1String("append")) && !tamper(mode))
            exitCode = 3;
        QCoreApplication::quit();
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&] {
        std::fprintf(stdout, "%s\n", qPrintable(updater.status()));
        std::fflush(stdout);
    });
    QTimer::singleShot(0, &updater, [&] {
        if (mode == QLatin1String("early-restart"))
            updater.restart();
        if (mode != QLatin1String("quit"))
            updater.check();
    });
    // A helper that never gets ready must not outlive its test.
    QTimer::singleShot(60000, &app, [] { QCoreApplication::exit(2); });

    const int loopResult = app.exec();
    return loopResult != 0 ? loopResult : exitCode;
}
