// The search for processes by executable name, on Windows (Toolhelp, under Wine): it finds the
// test publisher by its name, ignores case, tells none, one and several apart, and forgets a
// process once it has ended. The publisher is not named like the game, so the Linux search for the
// game, which sees Wine's processes in /proc, never takes it for one.

#include "Platform.h"
#include "WinTest.h"

#include <algorithm>
#include <memory>

namespace {

const std::wstring publisherName = L"ZorvyWorldPublisher.exe";

// One running publisher; ended (and waited for) by its destructor.
class Publisher
{
public:
    explicit Publisher(const std::wstring &folder, int n)
        : m_readyFile(folder + L"ready-" + std::to_wstring(n))
    {
        const std::wstring program = WinTest::programFolder() + publisherName;
        std::wstring line =
            L"\"" + program + L"\" --ready-file \"" + m_readyFile + L"\" --seconds 90";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &m_process))
            CloseHandle(m_process.hThread);
        else
            m_process = {};
    }
    ~Publisher() { stop(); }

    // Started and publishing: the ready file names this very process.
    bool ready() const
    {
        return m_process.hProcess &&
               WinTest::waitFor(
                   [&] {
                       return std::strtoul(WinTest::readFile(m_readyFile).c_str(), nullptr, 10) ==
                              m_process.dwProcessId;
                   },
                   30000);
    }
    uint32_t id() const { return m_process.dwProcessId; }

    void stop()
    {
        if (!m_process.hProcess)
            return;
        TerminateProcess(m_process.hProcess, 0);
        WaitForSingleObject(m_process.hProcess, 30000);
        CloseHandle(m_process.hProcess);
        m_process = {};
        DeleteFileW(m_readyFile.c_str());
    }

private:
    std::wstring m_readyFile;
    PROCESS_INFORMATION m_process{};
};

std::vector<uint32_t> sorted(std::vector<uint32_t> ids)
{
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace

int main()
{
    const std::wstring folder = WinTest::temporaryFolder(L"zorvy-processes");
    CHECK(!folder.empty());

    struct Case
    {
        const char *name;
        int running;         // publishers started
        std::wstring search; // the name searched for
        bool matches;        // whether that name is the publisher's
    };
    const Case cases[] = {
        {"none running", 0, publisherName, true},
        {"one, exact name", 1, publisherName, true},
        {"one, name in other case", 1, L"zORVYwORLDpUBLISHER.EXE", true},
        {"two, both found", 2, L"zorvyworldpublisher.exe", true},
        {"three, all found", 3, publisherName, true},
        {"one, name without .exe", 1, L"ZorvyWorldPublisher", false},
        {"one, longer name", 1, L"ZorvyWorldPublisher.exe2", false},
        {"one, shorter name", 1, L"orvyWorldPublisher.exe", false},
        {"one, the game's name", 1, L"ZorvyRails.exe", false},
    };
    int serial = 0;
    for (const Case &c : cases) {
        WinTest::currentCase() = c.name;
        std::vector<std::unique_ptr<Publisher>> publishers;
        std::vector<uint32_t> expected;
        for (int i = 0; i < c.running; ++i) {
            publishers.push_back(std::make_unique<Publisher>(folder, ++serial));
            CHECK(publishers.back()->ready());
            if (c.matches)
                expected.push_back(publishers.back()->id());
        }
        CHECK_EQ(sorted(Platform::processesNamed(c.search)), sorted(expected));

        // Once they have ended, none is listed any more.
        for (auto &publisher : publishers)
            publisher->stop();
        CHECK_EQ(Platform::processesNamed(c.search), std::vector<uint32_t>());
    }

    // The test itself is found under its own name, whatever the case of the name asked for.
    WinTest::currentCase() = "this process";
    CHECK_EQ(Platform::processesNamed(L"TST_WIN_PROCESSES.EXE"),
             std::vector<uint32_t>{uint32_t(GetCurrentProcessId())});

    RemoveDirectoryW(folder.c_str());
    return WinTest::finish();
}
