#pragma once

// What the kernel says about a process: whether it runs and when it started, so that a process id
// reused by another program is not taken for the game that once had it.

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace SharedWorld {

struct ProcessStart
{
    bool running = false;    // exists and is not a zombie (has not exited)
    uint64_t startTicks = 0; // Linux: clock ticks after boot; Windows: creation time
};

#ifdef _WIN32

// The process's creation time (100 ns units since 1601) from GetProcessTimes; running while its
// handle is not signalled. A process that has exited cannot be opened, or its handle is signalled.
inline ProcessStart processStart(uint32_t processId)
{
    ProcessStart result;
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, DWORD(processId));
    if (!process)
        return result;
    FILETIME creation{}, exit{}, kernel{}, user{};
    if (GetProcessTimes(process, &creation, &exit, &kernel, &user)) {
        result.startTicks = (uint64_t(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
        result.running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    }
    CloseHandle(process);
    return result;
}

#else

inline ProcessStart processStart(uint32_t processId)
{
    ProcessStart result;
    const std::string path = "/proc/" + std::to_string(processId) + "/stat";
    FILE *file = std::fopen(path.c_str(), "re");
    if (!file)
        return result;
    char buffer[1024];
    const size_t length = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    buffer[length] = '\0';
    // The command name sits in parentheses and may hold anything; the fields follow the last ')'.
    const char *cursor = std::strrchr(buffer, ')');
    if (!cursor)
        return result;
    cursor += 2; // ") "
    const char state = *cursor;
    // After the state (field 3) come fields 4..21, then the start time (field 22).
    for (int field = 3; field < 22 && cursor; ++field) {
        cursor = std::strchr(cursor, ' ');
        if (cursor)
            ++cursor;
    }
    if (!cursor)
        return result;
    result.startTicks = std::strtoull(cursor, nullptr, 10);
    result.running = state != 'Z' && state != 'X';
    return result;
}

#endif

} // namespace SharedWorld
