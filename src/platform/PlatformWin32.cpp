#include "Platform.h"

// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on
#include <cwchar>

namespace Platform {

std::vector<uint32_t> processesNamed(const std::wstring &executableName)
{
    std::vector<uint32_t> found;
    HANDLE processes = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (processes == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(processes, &entry); more;
         more = Process32NextW(processes, &entry)) {
        if (_wcsicmp(entry.szExeFile, executableName.c_str()) == 0)
            found.push_back(entry.th32ProcessID);
    }
    CloseHandle(processes);
    return found;
}

int showStartupErrorBox(const std::wstring &text)
{
    return MessageBoxW(nullptr, text.c_str(), startupErrorCaption, MB_OK | MB_ICONERROR);
}

bool startDetached(const std::wstring &program, const std::vector<std::wstring> &arguments)
{
    std::wstring line = commandLine(program, arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // No console of ours, no handles inherited, its own process group: nothing ties it to us.
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT,
                        nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace Platform
