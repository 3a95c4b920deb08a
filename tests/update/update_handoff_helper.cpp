// Runs an Updater until its update is ready, then ends the way the argument asks, so that the test
// can see what the hand-off at quit starts:
//   quit     waits for the updater's own first check, then quits as when the window is closed
//   restart  asks at once, then quits through Updater::restart()
//   replace  asks at once, changes one byte of the downloaded installer, then quits; ends with 6
//            if the changed installer is about to start
//   swap     asks at once and quits; once the hand-off has verified the installer, renames a
//            script that writes "SWAPPED" over the downloaded file, just before the start
// Exit code 0 once the updater was ready and the ending ran; 2 when it never got ready.

#include "UpdateTestSupport.h"
#include "Updater.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// The one installer in the updates folder; empty when there is not exactly one.
QString downloadedInstaller()
{
    const QDir updates(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                       "/updates");
    const QStringList names = updates.entryList(QDir::Files);
    return names.size() == 1 ? updates.filePath(names.first()) : QString();
}

// Changes the downloaded installer's last comment line, which keeps it a working script.
bool alterInstaller()
{
    QFile installer(downloadedInstaller());
    if (!installer.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = installer.readAll();
    bytes[bytes.size() - 2] = 'B';
    return installer.seek(0) && installer.write(bytes) == bytes.size();
}

// Puts a script that writes "SWAPPED" instead of its arguments in place of the downloaded
// installer, by a rename as another process would; exits with 4 when it cannot.
void swapInstaller()
{
    QFile installer(downloadedInstaller());
    if (!installer.open(QIODevice::ReadOnly))
        std::exit(4);
    const QString swapped = QFileInfo(installer).dir().filePath("swapped.part");
    if (!writeFile(swapped, installer.readAll().replace("\"$@\"", "SWAPPED")) ||
        !QFile::setPermissions(swapped, installer.permissions()) ||
        std::rename(QFile::encodeName(swapped).constData(),
                    QFile::encodeName(installer.fileName()).constData()) != 0)
        std::exit(4);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion("0.4.0");
    const QString mode = QCoreApplication::arguments().value(1);
    if (!HttpsTestServer::trustTestCertificate())
        return 65;

    Updater updater;
    int exitCode = 2;
    QObject::connect(&updater, &Updater::changed, &app, [&] {
        if (!updater.ready() || exitCode != 2)
            return;
        exitCode = mode == "replace" && !alterInstaller() ? 3 : 0;
        if (mode == "restart")
            updater.restart();
        else
            QCoreApplication::quit();
    });
    if (mode == "swap")
        Updater::setBeforeInstallerStarts(&swapInstaller);
    if (mode == "replace")
        Updater::setBeforeInstallerStarts([] { std::exit(6); });
    if (mode != "quit")
        QTimer::singleShot(0, &updater, &Updater::check);
    // A helper that never gets ready must not outlive its test.
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    app.exec();
    // As the program does once its reader has stopped.
    updater.installOnQuit();
    return exitCode;
}
