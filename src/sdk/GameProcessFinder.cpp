#include "GameProcessFinder.h"

#include "Platform.h"

#include <climits>

RunningGames runningGameProcesses(int keep)
{
    const Platform::ProcessList found =
        Platform::processesNamed(L"ZorvyRails.exe", std::size_t(qMax(keep, 0)));
    RunningGames games;
    games.count = int(qMin<std::size_t>(found.count, INT_MAX));
    for (const uint32_t pid : found.first)
        games.first.append(pid);
    for (const int64_t started : found.started)
        games.started.append(started);
    return games;
}

bool gameProcessRunning(quint32 pid)
{
    // Every game is kept: a user runs a few at most.
    return pid != 0 && runningGameProcesses(INT_MAX).first.contains(pid);
}

quint32 findGameProcess()
{
    // None or several: the reader cannot guess which copy the user means.
    const RunningGames games = runningGameProcesses(1);
    return games.count == 1 ? games.first.constFirst() : 0;
}
