#include "Platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fenv.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Platform {

namespace {

// The executable name the kernel keeps for a process (at most 15 bytes), or nothing for a process
// that has ended but is not yet reaped: a zombie is no process to observe. /proc/<pid>/stat reads
// "pid (name) state …", and the name may itself hold parentheses or blanks, so it runs up to the
// last ')'.
bool runningProcessName(const char *pid, std::string *name)
{
    const std::string path = std::string("/proc/") + pid + "/stat";
    FILE *file = std::fopen(path.c_str(), "re");
    if (!file)
        return false;
    char line[512];
    const size_t length = std::fread(line, 1, sizeof line - 1, file);
    std::fclose(file);
    line[length] = '\0';
    const char *open = std::strchr(line, '(');
    const char *close = std::strrchr(line, ')');
    if (!open || !close || close < open || close + 2 >= line + length)
        return false;
    const char state = close[2];
    if (state == 'Z' || state == 'X' || state == 'x')
        return false;
    name->assign(open + 1, close);
    return true;
}

bool isProcessId(const char *entry, uint32_t *pid)
{
    char *end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(entry, &end, 10);
    if (errno != 0 || end == entry || *end != '\0' || entry[0] < '0' || entry[0] > '9' ||
        value == 0 || value > 0xFFFFFFFFul)
        return false;
    *pid = uint32_t(value);
    return true;
}

} // namespace

std::vector<uint32_t> processesNamed(const std::wstring &executableName)
{
    std::vector<uint32_t> found;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return found;
    while (const dirent *entry = ::readdir(proc)) {
        uint32_t pid = 0;
        std::string name;
        if (isProcessId(entry->d_name, &pid) && runningProcessName(entry->d_name, &name) &&
            equalsIgnoringAsciiCase(fromUtf8(name), executableName))
            found.push_back(pid);
    }
    ::closedir(proc);
    return found;
}

int showStartupErrorBox(const std::wstring &text)
{
    (void)text; // no box here: nothing waits for a click
    return 0;
}

bool startDetached(const std::wstring &program, const std::vector<std::wstring> &arguments)
{
    std::vector<std::string> strings;
    strings.push_back(toUtf8(program));
    for (const std::wstring &argument : arguments)
        strings.push_back(toUtf8(argument));
    std::vector<char *> argv;
    for (std::string &s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    // The grandchild reports a failed exec through this pipe; a successful exec closes it empty.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        // A session of its own, then a second fork so that init adopts the program.
        ::close(report[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            // A program of its own, not bound by this one's choices: signals at their defaults.
            ::signal(SIGPIPE, SIG_DFL);
            if (strings[0].find('/') != std::string::npos)
                ::execv(argv[0], argv.data());
            else
                ::execvp(argv[0], argv.data());
            const int error = errno;
            (void)!::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        if (grandchild < 0) {
            const int error = errno;
            (void)!::write(report[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    return got == 0;
}

FloatingPointGuard::FloatingPointGuard()
{
    static_assert(sizeof(fenv_t) <= sizeof m_saved && alignof(fenv_t) <= 16);
    ::fegetenv(reinterpret_cast<fenv_t *>(m_saved));
}

FloatingPointGuard::~FloatingPointGuard()
{
    ::fesetenv(reinterpret_cast<const fenv_t *>(m_saved));
}

ReadOnlyFile::Status ReadOnlyFile::open(const std::wstring &path, Sharing)
{
    close();
    const int fd = ::open(toUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? Status::Missing : Status::Failed;
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        ::close(fd);
        return Status::Failed;
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return Status::NotRegular;
    }
    // Reads of a regular file never wait for a writer; the flag only mattered for the open.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_handle = fd;
    return Status::Opened;
}

long long ReadOnlyFile::size() const
{
    struct stat status;
    if (!isOpen() || ::fstat(int(m_handle), &status) != 0)
        return -1;
    return status.st_size;
}

long long ReadOnlyFile::read(char *buffer, std::size_t capacity)
{
    if (!isOpen())
        return -1;
    for (;;) {
        const ssize_t count = ::read(int(m_handle), buffer, capacity);
        if (count >= 0 || errno != EINTR)
            return count;
    }
}

void ReadOnlyFile::close()
{
    if (isOpen())
        ::close(int(m_handle));
    m_handle = invalidHandle;
}

} // namespace Platform
