#pragma once

// The operating system as the program sees it, in plain C++ (no Qt): the Windows calls live in
// PlatformWin32.cpp, their Linux counterparts in PlatformPosix.cpp, behind this one interface.
// Texts are wide strings, as Windows takes them; on Linux they are converted to UTF-8.

#include <cstdint>
#include <string>
#include <vector>

namespace Platform {

// The ids of the running processes whose executable is named `executableName`, compared ignoring
// case (_wcsicmp on Windows, ASCII letters on Linux), in the order the system lists them. Windows:
// a Toolhelp snapshot; an empty list when it cannot be taken. Linux: the name the kernel keeps in
// /proc/<pid>/stat (at most 15 bytes); processes that have ended but are not yet reaped are left
// out.
std::vector<uint32_t> processesNamed(const std::wstring &executableName);

// The caption of the box that reports a failed library check at start-up.
extern const wchar_t startupErrorCaption[];

// The start-up error box: `text` under startupErrorCaption, with the error icon and a single OK
// button, no owner window. Blocks until the box is dismissed and returns MessageBoxW's answer
// (1 for OK). Linux has no such box: the caller's log line is the whole report, and this returns
// 0 at once.
int showStartupErrorBox(const std::wstring &text);

// Starts `program` with `arguments` as a process of its own that outlives this one: no handle or
// process id is kept, the working directory is inherited, nothing waits for it. True when the
// program was started.
bool startDetached(const std::wstring &program, const std::vector<std::wstring> &arguments);

// The Windows command line that hands `arguments` to a program's argv unchanged (the quoting rules
// of CommandLineToArgvW and the C runtime), the program first. Used by startDetached on Windows;
// plain text handling, so it is the same on every system.
std::wstring commandLine(const std::wstring &program, const std::vector<std::wstring> &arguments);

// UTF-8 and wide text, for the Linux side and for tests. Invalid input becomes U+FFFD.
std::string toUtf8(const std::wstring &text);
std::wstring fromUtf8(const std::string &text);

// Equal ignoring the case of ASCII letters only.
bool equalsIgnoringAsciiCase(const std::wstring &a, const std::wstring &b);

} // namespace Platform
