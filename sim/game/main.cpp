// ZorvyRails.exe: the simulated railway game that the observation panel watches.

#include "Game.h"
#include "GameOptions.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> stopRequested{false};

void requestStop(int)
{
    stopRequested.store(true);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ZorvyRails"));

    GameOptions options;
    QString message;
    int exitCode = 0;
    if (!options.parse(QCoreApplication::arguments(), &message, &exitCode)) {
        std::fputs(qPrintable(message + QLatin1Char('\n')), exitCode == 0 ? stdout : stderr);
        return exitCode;
    }

    struct sigaction action
    {
    };
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    Game game(options);
    QString error;
    if (!game.start(&error)) {
        std::fprintf(stderr, "ZorvyRails: %s\n", qPrintable(error));
        return 1;
    }
    // The signal handler only raises a flag; the event loop notices it within a few milliseconds
    // and leaves cleanly, so the region is removed on the way out.
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &app, [&] {
        if (stopRequested.load())
            app.quit();
    });
    stopWatch.start(20);
    const int code = app.exec();
    game.shutdown();
    return code;
}
