#include "GameFinder.h"

#ifdef Q_OS_WIN
#include <tlhelp32.h>
#include <wchar.h>
#include <windows.h>
#else
#include <QDir>
#include <QFile>
#endif

QList<qint64> GameFinder::runningGames()
{
    QList<qint64> found;
#ifdef Q_OS_WIN
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"ZorvyRails.exe") == 0)
            found.append(qint64(entry.th32ProcessID));
    }
    CloseHandle(snapshot);
#else
    // The kernel keeps the first 15 bytes of the executable's name in /proc/<pid>/comm; the
    // game's name is shorter than that.
    const QStringList entries =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isProcess = false;
        const qint64 pid = entry.toLongLong(&isProcess);
        if (!isProcess)
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(entry));
        if (!comm.open(QIODevice::ReadOnly))
            continue; // gone in the meantime
        const QString name = QString::fromUtf8(comm.readAll()).trimmed();
        if (name.compare(gameProcessName(), Qt::CaseInsensitive) == 0)
            found.append(pid);
    }
#endif
    return found;
}

uint32_t GameFinder::findUniqueGame()
{
    const QList<qint64> games = runningGames();
    return games.size() == 1 ? uint32_t(games.constFirst()) : 0u;
}
