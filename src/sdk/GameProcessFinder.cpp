#include "GameProcessFinder.h"

#ifdef Q_OS_WIN
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on
#include <cwchar>
#else
#include <QDir>
#include <QFile>
#endif

namespace {

#ifdef Q_OS_WIN

quint32 findByToolhelp()
{
    HANDLE processes = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (processes == INVALID_HANDLE_VALUE)
        return 0;
    int matches = 0;
    quint32 lastMatch = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(processes, &entry); more;
         more = Process32NextW(processes, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"ZorvyRails.exe") == 0) {
            ++matches;
            lastMatch = entry.th32ProcessID;
        }
    }
    CloseHandle(processes);
    return matches == 1 ? lastMatch : 0;
}

#else

// The executable name the kernel keeps for a process (at most 15 bytes, enough for the game's
// name), or an empty text for a process that has ended but is not yet reaped: a zombie is no
// game to observe. /proc/<pid>/stat reads "pid (name) state …", and the name may itself hold
// parentheses or blanks, so it runs up to the last ')'.
QString runningProcessName(const QString &pid)
{
    QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray line = stat.readLine(512);
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.lastIndexOf(')');
    if (open < 0 || close < open || close + 2 >= line.size())
        return QString();
    const char state = line.at(close + 2);
    if (state == 'Z' || state == 'X' || state == 'x')
        return QString();
    return QString::fromUtf8(line.mid(open + 1, close - open - 1));
}

quint32 findByProcFileSystem()
{
    const QStringList entries =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    int matches = 0;
    quint32 lastMatch = 0;
    for (const QString &entry : entries) {
        bool isPid = false;
        const quint32 pid = entry.toUInt(&isPid);
        if (!isPid || pid == 0)
            continue;
        if (runningProcessName(entry).compare(QLatin1String("ZorvyRails.exe"),
                                              Qt::CaseInsensitive) == 0) {
            ++matches;
            lastMatch = pid;
        }
    }
    return matches == 1 ? lastMatch : 0;
}

#endif

} // namespace

quint32 findGameProcess()
{
#ifdef Q_OS_WIN
    return findByToolhelp();
#else
    return findByProcFileSystem();
#endif
}
