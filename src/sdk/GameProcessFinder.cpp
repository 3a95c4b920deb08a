#include "GameProcessFinder.h"

#include "Platform.h"

QList<quint32> runningGameProcesses()
{
    QList<quint32> games;
    for (const uint32_t pid : Platform::processesNamed(L"ZorvyRails.exe"))
        games.append(pid);
    return games;
}

quint32 findGameProcess()
{
    // None or several: the reader cannot guess which copy the user means.
    const QList<quint32> games = runningGameProcesses();
    return games.size() == 1 ? games.constFirst() : 0;
}
