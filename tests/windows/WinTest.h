#pragma once

// A minimal test harness for the Windows programs of this folder, which have no Qt: CHECK records
// a failure and goes on, so one run reports every broken case; main returns finish(). Besides,
// what several of them use: folders, files, waiting, starting programs, and the test publisher.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

namespace WinTest {

inline int failures = 0;

inline std::string &currentCase()
{
    static std::string name;
    return name;
}

inline void fail(const char *file, int line, const std::string &what)
{
    ++failures;
    std::printf("FAIL [%s] %s:%d: %s\n", currentCase().c_str(), file, line, what.c_str());
    std::fflush(stdout);
}

inline int finish()
{
    std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "PASSED", failures);
    std::fflush(stdout);
    return failures ? 1 : 0;
}

inline std::string utf8(const std::wstring &text)
{
    if (text.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    return bytes;
}

// The folder of this program, with a trailing backslash.
inline std::wstring programFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// A new empty folder under the system's temporary folder.
inline std::wstring temporaryFolder(const std::wstring &stem)
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    for (unsigned n = GetCurrentProcessId();; ++n) {
        const std::wstring folder = base + stem + L"-" + std::to_wstring(n) + L"\\";
        if (CreateDirectoryW(folder.c_str(), nullptr))
            return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return std::wstring();
    }
}

// Polls `done` every 20 ms until it holds or `timeoutMs` have passed (a guard against hangs).
template <typename Fn> bool waitFor(Fn done, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > end)
            return false;
        Sleep(20);
    }
    return true;
}

// Starts program with this command line; false when it cannot. The caller closes the process
// handle.
inline bool startProgram(const std::wstring &program, std::wstring line,
                         PROCESS_INFORMATION &process)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        process = {};
        return false;
    }
    CloseHandle(process.hThread);
    return true;
}

inline std::string readFile(const std::wstring &path, bool *ok = nullptr)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    if (ok)
        *ok = file.is_open();
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// One running ZorvyWorldPublisher.exe (next to this program), which publishes the fixed world under
// its own process id until stop() or the destructor ends it. It is not named like the game, so the
// Linux search for the game, which sees Wine's processes in /proc, never takes it for one.
class Publisher
{
public:
    explicit Publisher(const std::wstring &readyFile) : m_readyFile(readyFile)
    {
        const std::wstring program = programFolder() + L"ZorvyWorldPublisher.exe";
        startProgram(program,
                     L"\"" + program + L"\" --ready-file \"" + readyFile + L"\" --seconds 90",
                     m_process);
    }
    ~Publisher() { stop(); }

    // Started and publishing: the ready file names this very process.
    bool ready() const
    {
        return m_process.hProcess &&
               waitFor(
                   [&] { return std::strtoul(readFile(m_readyFile).c_str(), nullptr, 10) == id(); },
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

} // namespace WinTest

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition))                                                                          \
            WinTest::fail(__FILE__, __LINE__, #condition);                                         \
    } while (0)

#define CHECK_EQ(actual, expected)                                                                 \
    do {                                                                                           \
        const auto &a_ = (actual);                                                                 \
        const auto &e_ = (expected);                                                               \
        if (!(a_ == e_))                                                                           \
            WinTest::fail(__FILE__, __LINE__,                                                      \
                          std::string(#actual " == " #expected ": got ") + WinTest::show(a_) +     \
                              ", expected " + WinTest::show(e_));                                  \
    } while (0)

namespace WinTest {
inline std::string show(const std::string &s)
{
    return "\"" + s + "\"";
}
inline std::string show(const std::wstring &s)
{
    return "\"" + utf8(s) + "\"";
}
template <typename T> std::string show(const T &value)
{
    if constexpr (std::is_arithmetic_v<T>)
        return std::to_string(value);
    else {
        std::string text = "[";
        for (const auto &item : value)
            text += (text.size() > 1 ? ", " : "") + show(item);
        return text + "]";
    }
}
} // namespace WinTest
