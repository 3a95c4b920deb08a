// The installer hand-off on Windows: a starter hands a test "installer" over with the platform
// layer and ends; the installer, started detached, outlives it and receives exactly the arguments
// of the hand-off — four, or five with "/RELAUNCH" — even where the installer's path and the
// application's folder hold blanks, and while the program holds the installer against writes. A
// program that does not exist is reported as not started.

#include "Platform.h"
#include "WinTest.h"

namespace {

// Runs the starter to its end; its exit code, or -1.
int runStarter(const std::wstring &program, std::vector<std::wstring> arguments)
{
    const std::wstring starter = WinTest::programFolder() + L"handoff_starter.exe";
    arguments.insert(arguments.begin(), program);
    PROCESS_INFORMATION process{};
    if (!WinTest::startProgram(starter, Platform::commandLine(starter, arguments), process))
        return -1;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return int(code);
}

} // namespace

int main()
{
    const std::wstring folder = WinTest::temporaryFolder(L"zorvy handoff");
    CHECK(!folder.empty());
    // The downloaded installer, under a folder whose name holds a blank.
    const std::wstring installer = folder + L"setup-6f1c2a9e-0d4b-4c55-9a51-3c1e8e7f0b2d.exe";
    CHECK(CopyFileW((WinTest::programFolder() + L"handoff_recorder.exe").c_str(), installer.c_str(),
                    FALSE));

    struct Case
    {
        const char *name;
        std::wstring applicationDir;
        bool relaunch;
        bool held = false; // as the program holds the copy it verified, until it quits
    };
    const Case cases[] = {
        {"window closed", L"C:/Program Files/Zorvy TCO", false},
        {"restart", L"C:/Program Files/Zorvy TCO", true},
        {"folder without blanks", L"C:/ZorvyTCO", false},
        {"folder with quote-like ends", L"C:/Zorvy \\ TCO\\", true},
        {"folder outside ASCII", L"C:/Gare d\u2019\u00c9t\u00e9", false},
        {"installer held against writes", L"C:/Program Files/Zorvy TCO", false, true},
    };
    int serial = 0;
    for (const Case &c : cases) {
        WinTest::currentCase() = c.name;
        std::vector<std::wstring> arguments{L"/VERYSILENT", L"/SUPPRESSMSGBOXES", L"/NORESTART",
                                            L"/DIR=" + c.applicationDir};
        if (c.relaunch)
            arguments.push_back(L"/RELAUNCH");
        const std::wstring output = folder + L"arguments-" + std::to_wstring(++serial) + L".txt";
        SetEnvironmentVariableW(L"ZORVY_HANDOFF_OUT", output.c_str());
        Platform::ReadOnlyFile held;
        if (c.held)
            CHECK(held.open(installer, Platform::ReadOnlyFile::Sharing::DenyWrites) ==
                  Platform::ReadOnlyFile::Status::Opened);

        CHECK_EQ(runStarter(installer, arguments), 0);
        bool written = false;
        WinTest::waitFor([&] { return WinTest::readFile(output, &written), written; }, 60000);
        CHECK(written);
        std::string expected = "outlived\n";
        for (const std::wstring &argument : arguments)
            expected += WinTest::utf8(argument) + '\n';
        CHECK_EQ(WinTest::readFile(output), expected);
        DeleteFileW(output.c_str());
    }

    WinTest::currentCase() = "missing installer";
    CHECK_EQ(runStarter(folder + L"no such setup.exe", {L"/VERYSILENT"}), 1);

    DeleteFileW(installer.c_str());
    RemoveDirectoryW(folder.c_str());
    return WinTest::finish();
}
