#pragma once

#include <QList>
#include <QtGlobal>

// Looks for the game among the running processes: exactly one process whose executable is named
// "ZorvyRails.exe" (case ignored) gives its process id; none or several give 0, because the
// reader cannot guess which copy the user means.
quint32 findGameProcess();

// How many games a search lists at most: the window offers one button for each.
constexpr int listedGameProcesses = 8;

// The running processes named "ZorvyRails.exe" (case ignored): how many there are, and the ids of
// the first `keep` by start time, earliest first. Processes that have ended but are not yet reaped
// are left out. The search holds no more than `keep` ids whatever the number of processes.
// `started` holds when each of `first` started, in milliseconds since 1970 (UTC), 0 when unknown.
struct RunningGames
{
    QList<quint32> first;
    QList<qint64> started;
    int count = 0;
};
RunningGames runningGameProcesses(int keep = listedGameProcesses);

// Whether a process named "ZorvyRails.exe" runs with this id.
bool gameProcessRunning(quint32 pid);
