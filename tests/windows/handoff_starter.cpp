// Stands in for the program at quit: hands the installer over with the platform layer and ends at
// once. Its own process id goes to the installer through the environment, so that the installer
// can tell when its starter has ended.
//
//   handoff_starter PROGRAM [ARGUMENT…]     exit code 0 when PROGRAM was started, 1 when not

#include "Platform.h"

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

int main()
{
    int count = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv || count < 2)
        return 2;
    SetEnvironmentVariableW(L"ZORVY_HANDOFF_STARTER",
                            std::to_wstring(GetCurrentProcessId()).c_str());
    const std::vector<std::wstring> arguments(argv + 2, argv + count);
    return Platform::startDetached(argv[1], arguments) ? 0 : 1;
}
