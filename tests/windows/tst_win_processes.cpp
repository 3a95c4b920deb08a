// The search for processes by executable name, on Windows (Toolhelp, under Wine): it finds the
// test publisher by its name, ignores case, tells none, one and several apart, lists them by start
// time and keeps only as many as asked while counting all, takes no name that is only close, and
// forgets a process once it has ended.

#include "Platform.h"
#include "WinTest.h"

#include <algorithm>
#include <memory>

int main()
{
    const std::wstring folder = WinTest::temporaryFolder(L"zorvy-processes");
    CHECK(!folder.empty());

    struct Case
    {
        const char *name;
        int running;                            // publishers started
        std::vector<std::wstring> found, other; // names that find them all, and none
    };
    const std::wstring publisherName = L"ZorvyWorldPublisher.exe";
    const Case cases[] = {
        {"none running", 0, {publisherName}, {}},
        {"one",
         1,
         {publisherName, L"zORVYwORLDpUBLISHER.EXE"},
         {L"ZorvyWorldPublisher", L"ZorvyWorldPublisher.exe2", L"orvyWorldPublisher.exe",
          L"ZorvyRails.exe"}},
        {"two", 2, {L"zorvyworldpublisher.exe"}, {}},
        {"three", 3, {publisherName}, {}},
    };
    // The time of day in milliseconds since 1970, as the search gives start times.
    const auto nowMs = [] {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        const uint64_t ticks = uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime;
        return int64_t((ticks - 116444736000000000ull) / 10000);
    };
    int serial = 0;
    for (const Case &c : cases) {
        const int64_t before = nowMs();
        std::vector<std::unique_ptr<WinTest::Publisher>> publishers;
        std::vector<uint32_t> ids;
        for (int i = 0; i < c.running; ++i) {
            const std::wstring readyFile = folder + L"ready-" + std::to_wstring(++serial);
            publishers.push_back(std::make_unique<WinTest::Publisher>(readyFile));
            CHECK(publishers.back()->ready());
            ids.push_back(publishers.back()->id());
        }
        for (const std::wstring &name : c.found) {
            WinTest::currentCase() = c.name + (", " + WinTest::utf8(name));
            // Started one after the other: listed in that order, and the first two alone when
            // only two are kept, with the count of all.
            const Platform::ProcessList all = Platform::processesNamed(name, 8);
            CHECK_EQ(all.first, ids);
            CHECK_EQ(all.count, ids.size());
            // Each with its start time, between the case's start and now (the clock counts in
            // steps of up to 16 ms).
            CHECK_EQ(all.started.size(), ids.size());
            for (const int64_t started : all.started)
                CHECK(started >= before - 16 && started <= nowMs());
            const Platform::ProcessList two = Platform::processesNamed(name, 2);
            CHECK_EQ(two.first, std::vector<uint32_t>(
                                    ids.begin(), ids.begin() + std::min<size_t>(ids.size(), 2)));
            CHECK_EQ(two.count, ids.size());
        }
        for (const std::wstring &name : c.other) {
            WinTest::currentCase() = c.name + (", " + WinTest::utf8(name));
            CHECK_EQ(Platform::processesNamed(name, 8).count, size_t(0));
        }
        // Once they have ended, none is listed any more.
        WinTest::currentCase() = std::string(c.name) + ", ended";
        for (auto &publisher : publishers)
            publisher->stop();
        for (const std::wstring &name : c.found)
            CHECK_EQ(Platform::processesNamed(name, 8).count, size_t(0));
    }

    // The test itself is found under its own name, whatever the case of the name asked for.
    WinTest::currentCase() = "this process";
    CHECK_EQ(Platform::processesNamed(L"TST_WIN_PROCESSES.EXE", 8).first,
             std::vector<uint32_t>{uint32_t(GetCurrentProcessId())});

    RemoveDirectoryW(folder.c_str());
    return WinTest::finish();
}
