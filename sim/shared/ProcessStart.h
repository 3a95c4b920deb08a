#pragma once

// What the kernel says about a process: whether it runs and when it started, so that a process id
// reused by another program is not taken for the game that once had it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace SharedWorld {

struct ProcessStart
{
    bool running = false;    // exists and is not a zombie
    uint64_t startTicks = 0; // clock ticks after boot
};

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

} // namespace SharedWorld
