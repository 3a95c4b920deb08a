// Stands in for the installer: waits until the program that started it has ended, then writes
// what it was given to the file named by ZORVY_HANDOFF_OUT — first "outlived" (or "starter still
// running" should the wait time out), then each argument on a line of its own, in UTF-8.

#include "WinTest.h"

#include <shellapi.h>

namespace {

std::wstring environment(const wchar_t *name)
{
    wchar_t value[2048] = L"";
    const DWORD length = GetEnvironmentVariableW(name, value, 2048);
    return length > 0 && length < 2048 ? value : L"";
}

} // namespace

int main()
{
    const std::wstring output = environment(L"ZORVY_HANDOFF_OUT");
    const DWORD starter =
        DWORD(std::wcstoul(environment(L"ZORVY_HANDOFF_STARTER").c_str(), nullptr, 10));
    if (output.empty() || starter == 0)
        return 2;
    // Gone already, or gone within the wait: either way this process outlived it.
    bool outlived = true;
    if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, starter)) {
        outlived = WaitForSingleObject(process, 60000) == WAIT_OBJECT_0;
        CloseHandle(process);
    }
    // The test reads the file only once it is whole: written aside, then renamed.
    int count = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::wstring part = output + L".part";
    FILE *file = _wfopen(part.c_str(), L"wb");
    if (!file || !argv)
        return 3;
    std::fprintf(file, "%s\n", outlived ? "outlived" : "starter still running");
    for (int i = 1; i < count; ++i)
        std::fprintf(file, "%s\n", WinTest::utf8(argv[i]).c_str());
    std::fclose(file);
    return MoveFileW(part.c_str(), output.c_str()) ? 0 : 4;
}
