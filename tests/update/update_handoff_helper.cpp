// Runs an Updater until its update is ready, then ends the way the argument asks, so that the test
// can see what the hand-off at quit starts:
//   quit     waits for the updater's own first check, then quits as when the window is closed
//   restart  asks at once, then quits through Updater::restart()
//   replace  asks at once, changes one byte of the downloaded installer, then quits
// Exit code 0 once the updater was ready and the ending ran; 2 when it never got ready.

#include "UpdateTestSupport.h"
#include "Updater.h"

#include <QDir>
#include <QStandardPaths>
#include <QTimer>

namespace {

// Changes the downloaded installer's last comment line, which keeps it a working script.
bool alterInstaller()
{
    const QDir updates(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                       "/updates");
    const QStringList names = updates.entryList(QDir::Files);
    QFile installer(updates.filePath(names.value(0)));
    if (names.size() != 1 || !installer.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = installer.readAll();
    bytes[bytes.size() - 2] = 'B';
    return installer.seek(0) && installer.write(bytes) == bytes.size();
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
    if (mode != "quit")
        QTimer::singleShot(0, &updater, &Updater::check);
    // A helper that never gets ready must not outlive its test.
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    app.exec();
    // As the program does once its reader has stopped.
    updater.installOnQuit();
    return exitCode;
}
