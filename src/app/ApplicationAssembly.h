#pragma once

#include "Backend.h"
#include "Recorder.h"
#include "RecordingShelf.h"
#include "Replay.h"
#include "Updater.h"
#include "VerificationRun.h"

#include <QQmlApplicationEngine>

#include <memory>
#include <optional>

class CommandLine;

// The running program once the library is known good: the Updater, the Backend and the QML engine
// with the window, the verification runs and the "--smoke" clock. The objects are built in that
// order and, being members in that order, destroyed in the reverse one: the verification state
// first, then the engine (before the two objects its window holds), the Backend, the Updater.
class ApplicationAssembly
{
public:
    // replay, when given, is shown instead of the live game; recorder (the window's and the
    // command line's recording) and blackBox, when given, each keep every live capture they are
    // recording.
    explicit ApplicationAssembly(const CommandLine &options, std::shared_ptr<Replay> replay = {},
                                 std::shared_ptr<Recorder> recorder = {},
                                 std::shared_ptr<Recorder> blackBox = {});
    ~ApplicationAssembly();

    // Ends the program once the event loop has returned exitCode: the window goes, the reader is
    // given at most quitWaitMs to finish its library call, then the installer, if one is ready, is
    // handed over. A reader still inside the library after that cannot be stopped: the call is
    // logged and the process ends here with exitCode. Otherwise returns exitCode.
    int finish(int exitCode);

    static constexpr int quitWaitMs = 2000;

    ApplicationAssembly(const ApplicationAssembly &) = delete;
    ApplicationAssembly &operator=(const ApplicationAssembly &) = delete;

    Backend &backend() { return *m_backend; }
    QQmlApplicationEngine &engine() { return *m_engine; }

private:
    // Before the Backend, so that they outlive its reader thread.
    std::shared_ptr<Replay> m_replay;
    std::shared_ptr<Recorder> m_recorder;
    std::shared_ptr<Recorder> m_blackBox;
    std::optional<Updater> m_updater;
    std::optional<Backend> m_backend;
    // The recordings of the window, and a replay opened there beside the live game.
    std::optional<RecordingShelf> m_shelf;
    std::optional<QQmlApplicationEngine> m_engine;
    std::optional<VerificationRun> m_verification;
};
