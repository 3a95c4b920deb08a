#include "Platform.h"

// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on
#include <cfenv>
#include <cfloat>
#include <cwchar>
#include <new>

#include <xmmintrin.h>

namespace Platform {

namespace {

// When the process started, in 100 ns steps since 1601; the latest possible time when it cannot be
// told (a process of another user, or one that has just ended).
uint64_t startTime(DWORD id)
{
    uint64_t start = UINT64_MAX;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return start;
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user))
        start = uint64_t(created.dwHighDateTime) << 32 | created.dwLowDateTime;
    CloseHandle(process);
    return start;
}

} // namespace

ProcessList processesNamed(const std::wstring &executableName, std::size_t keep)
{
    ProcessList found;
    std::vector<uint64_t> starts;
    HANDLE processes = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (processes == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(processes, &entry); more;
         more = Process32NextW(processes, &entry)) {
        if (_wcsicmp(entry.szExeFile, executableName.c_str()) == 0)
            countProcess(found, starts, keep, startTime(entry.th32ProcessID), entry.th32ProcessID);
    }
    CloseHandle(processes);
    // FILETIME counts from 1601; 11,644,473,600 seconds lie between 1601 and 1970.
    constexpr uint64_t unixEpoch = 116444736000000000ull;
    for (const uint64_t start : starts)
        found.started.push_back(
            start != UINT64_MAX && start > unixEpoch ? int64_t((start - unixEpoch) / 10000) : 0);
    return found;
}

const ProgramFolder &programFolder()
{
    static const ProgramFolder folder = [] {
        // GetModuleFileNameW cuts a path longer than its buffer and says so only by filling it:
        // the buffer grows until the whole path fits (at most the 32,767 characters of a path).
        // It starts small, so that growing is the usual way rather than a rare one.
        std::wstring path(64, L'\0');
        for (;;) {
            const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
            if (length == 0)
                return ProgramFolder();
            if (length < path.size()) {
                path.resize(length);
                break;
            }
            if (path.size() > 65536)
                return ProgramFolder();
            path.resize(path.size() * 2);
        }
        const size_t separator = path.find_last_of(L"\\/");
        if (separator == std::wstring::npos || separator == 0)
            return ProgramFolder();
        const std::wstring folder = path.substr(0, separator);
        return ProgramFolder{folder, folder};
    }();
    return folder;
}

int showStartupErrorBox(const std::wstring &text)
{
    return MessageBoxW(nullptr, text.c_str(), startupErrorCaption, MB_OK | MB_ICONERROR);
}

void onStopRequest(void (*)()) {}

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

// The C runtime's _controlfp_s reads and sets only the SSE unit on 64-bit Windows, and never the
// denormal exception's mask; a library may unmask exceptions in the x87 unit too. So both units are
// saved whole: the x87 environment (fegetenv, fnstenv with MinGW) and the SSE register as it is.
namespace {
struct SavedFloatingPoint
{
    fenv_t environment;
    unsigned int sse;
};
} // namespace

FloatingPointGuard::FloatingPointGuard()
{
    static_assert(sizeof(SavedFloatingPoint) <= sizeof m_saved &&
                  alignof(SavedFloatingPoint) <= 16);
    auto *saved = new (m_saved) SavedFloatingPoint;
    fegetenv(&saved->environment);
    saved->sse = _mm_getcsr();
}

FloatingPointGuard::~FloatingPointGuard()
{
    const auto *saved = reinterpret_cast<const SavedFloatingPoint *>(m_saved);
    // Exceptions raised while unmasked would trap at the next x87 instruction: clear them first.
    _clearfp();
    fesetenv(&saved->environment);
    _mm_setcsr(saved->sse);
}

namespace {

// A path longer than the classic limit is passed in its extended form ("\\?\C:\…" or
// "\\?\UNC\server\…"), which Windows takes as it stands: so it is made absolute and
// normalised first.
std::wstring withLongPathPrefix(const std::wstring &path)
{
    if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

} // namespace

ReadOnlyFile::Status ReadOnlyFile::open(const std::wstring &requestedPath, Sharing sharing)
{
    close();
    const std::wstring path = withLongPathPrefix(requestedPath);
    const DWORD share = sharing == Sharing::DenyWrites
                            ? FILE_SHARE_READ
                            : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open; a busy pipe fails at once rather
    // than waiting.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return Status::Missing;
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return Status::NotRegular;
        return Status::Failed;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(file);
        return Status::NotRegular;
    }
    m_handle = reinterpret_cast<intptr_t>(file);
    return Status::Opened;
}

long long ReadOnlyFile::size() const
{
    LARGE_INTEGER size;
    if (!isOpen() || !GetFileSizeEx(reinterpret_cast<HANDLE>(m_handle), &size))
        return -1;
    return size.QuadPart;
}

long long ReadOnlyFile::read(char *buffer, std::size_t capacity)
{
    if (!isOpen())
        return -1;
    DWORD count = 0;
    const DWORD wanted = capacity > 0x40000000 ? DWORD(0x40000000) : DWORD(capacity);
    if (!ReadFile(reinterpret_cast<HANDLE>(m_handle), buffer, wanted, &count, nullptr))
        return -1;
    return count;
}

void ReadOnlyFile::close()
{
    if (isOpen())
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = invalidHandle;
}

} // namespace Platform
