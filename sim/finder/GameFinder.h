#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// Finds the game among the running processes by its executable name, "ZorvyRails.exe", compared
// ignoring case: the Toolhelp process list on Windows, /proc on Linux.
class GameFinder
{
public:
    static QString gameProcessName() { return QStringLiteral("ZorvyRails.exe"); }

    // The process id of the game when exactly one process has its name, else 0.
    static uint32_t findUniqueGame();
    // Process ids of every process with the game's name, in the order the system lists them.
    static QList<qint64> runningGames();
};
