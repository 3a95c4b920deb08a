#pragma once

// The operating system as the program sees it, in plain C++ (no Qt): the Windows calls live in
// PlatformWin32.cpp, their Linux counterparts in PlatformPosix.cpp, behind this one interface.
// Texts are wide strings, as Windows takes them; on Linux they are converted to UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Platform {

// The running processes whose executable is named `executableName`, compared ignoring case
// (_wcsicmp on Windows, ASCII letters on Linux): how many there are, and the ids of the `keep` that
// started first, earliest first (ties in the order of their ids). Whatever the number of processes,
// the search holds no more than `keep` of them. Windows: a Toolhelp snapshot, with the start
// times of GetProcessTimes (a process whose times cannot be read counts as started last); none when
// the snapshot cannot be taken. Linux: the name the kernel keeps in /proc/<pid>/stat (at most 15
// bytes) and the start time there; processes that have ended but are not yet reaped are left out.
// `started` holds when each of `first` started, in milliseconds since 1970-01-01 UTC, or 0 when
// that cannot be told (Linux: the start in ticks since boot plus the boot time of /proc/stat,
// which the kernel gives to the second; Windows: the creation time of GetProcessTimes).
struct ProcessList
{
    std::vector<uint32_t> first;
    std::vector<int64_t> started;
    std::size_t count = 0;
};
ProcessList processesNamed(const std::wstring &executableName, std::size_t keep);

// Counts one more process in `list`, started at `start` (any clock, earlier is smaller), and keeps
// its id if it is among the `keep` earliest so far; `starts` holds the start times of list.first.
// Shared by both systems' processesNamed.
void countProcess(ProcessList &list, std::vector<uint64_t> &starts, std::size_t keep,
                  uint64_t start, uint32_t id);

// The folder of the running program's executable, however long its path. `path` is its absolute
// path, without a trailing separator: the text to show or to hand to another program. `files` is
// a path through which the files in it open: the same text, or on Linux, where a path longer than
// the file calls take (4,096 bytes) would fail, "/proc/self/fd/N" of a handle on the folder that
// stays open for the rest of the run. Both are empty when the system cannot tell the folder: the
// caller must then not look anywhere else. Found once, on the first call.
struct ProgramFolder
{
    std::wstring path;
    std::wstring files;
};
const ProgramFolder &programFolder();

// The caption of the box that reports a failed library check at start-up.
extern const wchar_t startupErrorCaption[];

// The start-up error box: `text` under startupErrorCaption, with the error icon and a single OK
// button, no owner window. Blocks until the box is dismissed and returns MessageBoxW's answer
// (1 for OK). Linux has no such box: the caller's log line is the whole report, and this returns
// 0 at once.
int showStartupErrorBox(const std::wstring &text);

// Lets the program end in order when it is asked to stop from outside (Ctrl+C in its terminal,
// SIGTERM, its terminal closed), so that an open recording is completed in its own file: `request`
// is called once, on a thread of its own, and must only hand the request over to the main thread.
// A second request ends the process at once, as it would have without this. A signal that was
// ignored when the program started stays ignored. On Windows nothing is installed: a windowed
// program has no console, and the system closes its windows, which ends it in order.
void onStopRequest(void (*request)());

// Starts `program` with `arguments` as a process of its own that outlives this one: no handle or
// process id is kept, the working directory is inherited, nothing waits for it. True when the
// program was started.
bool startDetached(const std::wstring &program, const std::vector<std::wstring> &arguments);

// The Windows command line that hands `arguments` to a program's argv unchanged (the quoting rules
// of CommandLineToArgvW and the C runtime), the program first. Used by startDetached on Windows;
// plain text handling, so it is the same on every system.
std::wstring commandLine(const std::wstring &program, const std::vector<std::wstring> &arguments);

// A file opened for reading only when it is a regular file: a pipe, a device or a folder is
// refused without waiting (a FIFO is opened without blocking, then checked on the open handle, so
// a file swapped for a pipe after a check by name cannot stall the reader). With
// Sharing::DenyWrites, nobody may write, rename or delete the file while it is held on Windows;
// Linux has no such lock, and there the folder's permissions are the protection.
class ReadOnlyFile
{
public:
    enum class Sharing { Open, DenyWrites };
    enum class Status { Opened, Missing, NotRegular, Failed };

    ReadOnlyFile() = default;
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;
    ~ReadOnlyFile() { close(); }

    Status open(const std::wstring &path, Sharing sharing = Sharing::Open);
    bool isOpen() const { return m_handle != invalidHandle; }
    // The size the file has now, or -1.
    long long size() const;
    // Reads up to `capacity` bytes: how many were read, 0 at the end, -1 on an error.
    long long read(char *buffer, std::size_t capacity);
    void close();

private:
    static constexpr intptr_t invalidHandle = -1;
    intptr_t m_handle = invalidHandle; // a HANDLE on Windows, a file descriptor on Linux
};

// The whole of a regular file of at most `maxBytes`, read through ReadOnlyFile. One byte past the
// limit is read, so a file that grows after its size was taken is refused as well.
enum class FileRead { Read, Missing, NotRegular, TooLarge, Failed };
FileRead readRegularFile(const std::wstring &path, std::size_t maxBytes, std::string &bytes);

// The floating-point environment of the calling thread, saved when the object is made and put
// back when it dies: rounding, exception masks and status flags. A foreign library may unmask
// floating-point exceptions (some Windows libraries load the FPU control word of their own
// compiler); code of this program, and Qt's, counts on masked exceptions and traps otherwise.
// Linux: fegetenv/fesetenv. Windows: the same for the x87 unit and the SSE control register read
// and written as it stands (_controlfp_s would leave the x87 unit and the denormal mask out), with
// pending exceptions cleared (_clearfp) before they are put back.
class FloatingPointGuard
{
public:
    FloatingPointGuard();
    ~FloatingPointGuard();
    FloatingPointGuard(const FloatingPointGuard &) = delete;
    FloatingPointGuard &operator=(const FloatingPointGuard &) = delete;

private:
    alignas(16) unsigned char m_saved[64]; // fenv_t, and on Windows the SSE register
};

// UTF-8 and wide text, for the Linux side and for tests. Invalid input becomes U+FFFD.
std::string toUtf8(const std::wstring &text);
std::wstring fromUtf8(const std::string &text);

// Equal ignoring the case of ASCII letters only.
bool equalsIgnoringAsciiCase(const std::wstring &a, const std::wstring &b);

} // namespace Platform
