#include "Platform.h"

#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fenv.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <thread>

namespace Platform {

namespace {

// The executable name the kernel keeps for a process (at most 15 bytes) and its start time (clock
// ticks since boot), or nothing for a process that has ended but is not yet reaped: a zombie is no
// process to observe. /proc/<pid>/stat reads "pid (name) state …", and the name may itself hold
// parentheses or blanks, so it runs up to the last ')'; the start time is the 22nd field.
bool runningProcess(const char *pid, std::string *name, uint64_t *start)
{
    const std::string path = std::string("/proc/") + pid + "/stat";
    FILE *file = std::fopen(path.c_str(), "re");
    if (!file)
        return false;
    char line[1024];
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
    // Fields 3 (the state) to 21 come before the start time.
    const char *field = close + 2;
    for (int skipped = 0; skipped < 19 && field; ++skipped) {
        field = std::strchr(field, ' ');
        if (field)
            ++field;
    }
    if (!field || std::sscanf(field, "%" SCNu64, start) != 1)
        return false;
    name->assign(open + 1, close);
    return true;
}

// When the system started, in milliseconds since 1970 (the "btime" line of /proc/stat), or 0.
int64_t bootTimeMs()
{
    FILE *file = std::fopen("/proc/stat", "re");
    if (!file)
        return 0;
    char *line = nullptr;
    size_t capacity = 0;
    long long seconds = 0;
    while (::getline(&line, &capacity, file) > 0) {
        if (std::sscanf(line, "btime %lld", &seconds) == 1)
            break;
    }
    std::free(line);
    std::fclose(file);
    return seconds > 0 ? int64_t(seconds) * 1000 : 0;
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

// The target of a symbolic link, with a buffer that grows until the whole text fits.
bool readLink(const char *link, std::string *target)
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlink(link, buffer.data(), buffer.size());
        if (length < 0)
            return false;
        if (size_t(length) < buffer.size()) {
            target->assign(buffer.data(), size_t(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The executable's path as the list of the process's mappings spells it: the kernel refuses to
// spell a path of 4,096 bytes or more through readlink (ENAMETOOLONG), but lists it whole there.
// The line is the one of the executable's own file, by device and inode.
std::string mappedExecutable(const struct stat &executable)
{
    std::string found;
    FILE *maps = std::fopen("/proc/self/maps", "re");
    if (!maps)
        return found;
    char *line = nullptr;
    size_t capacity = 0;
    ssize_t length;
    while ((length = ::getline(&line, &capacity, maps)) > 0) {
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        int pathAt = 0;
        // "start-end perms offset major:minor inode   path"
        if (std::sscanf(line, "%*s %*s %*s %x:%x %llu %n", &major, &minor, &inode, &pathAt) == 3 &&
            pathAt > 0 && line[pathAt] == '/' && makedev(major, minor) == executable.st_dev &&
            inode == executable.st_ino) {
            found.assign(line + pathAt, size_t(length - pathAt));
            if (!found.empty() && found.back() == '\n')
                found.pop_back();
            break;
        }
    }
    std::free(line);
    std::fclose(maps);
    return found;
}

// A handle on `folder` opened one name at a time, so that no call sees a path longer than one
// name; -1 when a step fails.
int openFolderByParts(const std::string &folder)
{
    int handle = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    size_t begin = 0;
    while (handle >= 0 && begin < folder.size()) {
        size_t end = folder.find('/', begin);
        if (end == std::string::npos)
            end = folder.size();
        if (end > begin) {
            const std::string name = folder.substr(begin, end - begin);
            const int next = ::openat(handle, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            ::close(handle);
            handle = next;
        }
        begin = end + 1;
    }
    return handle;
}

ProgramFolder findProgramFolder()
{
    ProgramFolder none;
    struct stat executable;
    if (::stat("/proc/self/exe", &executable) != 0)
        return none;
    std::string path;
    if (!readLink("/proc/self/exe", &path)) {
        if (errno != ENAMETOOLONG)
            return none;
        path = mappedExecutable(executable);
    }
    const size_t slash = path.rfind('/');
    if (path.empty() || path[0] != '/' || slash == std::string::npos)
        return none;
    const std::string folder = path.substr(0, slash);
    const std::string name = path.substr(slash + 1);
    // Room for the name of any file beside the program.
    if (folder.size() + NAME_MAX + 2 <= PATH_MAX)
        return {fromUtf8(folder), fromUtf8(folder)};
    const int handle = openFolderByParts(folder);
    struct stat found;
    // The folder really holds this very executable (a path that could not be read back exactly,
    // such as one of a file removed since, fails here).
    if (handle < 0 || ::fstatat(handle, name.c_str(), &found, 0) != 0 ||
        found.st_dev != executable.st_dev || found.st_ino != executable.st_ino) {
        if (handle >= 0)
            ::close(handle);
        return none;
    }
    return {fromUtf8(folder), fromUtf8("/proc/self/fd/" + std::to_string(handle))};
}

} // namespace

const ProgramFolder &programFolder()
{
    static const ProgramFolder folder = findProgramFolder();
    return folder;
}

ProcessList processesNamed(const std::wstring &executableName, std::size_t keep)
{
    ProcessList found;
    std::vector<uint64_t> starts;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return found;
    while (const dirent *entry = ::readdir(proc)) {
        uint32_t pid = 0;
        std::string name;
        uint64_t start = 0;
        if (isProcessId(entry->d_name, &pid) && runningProcess(entry->d_name, &name, &start) &&
            equalsIgnoringAsciiCase(fromUtf8(name), executableName))
            countProcess(found, starts, keep, start, pid);
    }
    ::closedir(proc);
    const int64_t boot = found.first.empty() ? 0 : bootTimeMs();
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    for (const uint64_t start : starts)
        found.started.push_back(boot > 0 && ticksPerSecond > 0
                                    ? boot + int64_t(start * 1000 / uint64_t(ticksPerSecond))
                                    : 0);
    return found;
}

int showStartupErrorBox(const std::wstring &text)
{
    (void)text; // no box here: nothing waits for a click
    return 0;
}

namespace {

int stopPipe[2] = {-1, -1};
void (*stopRequest)() = nullptr;

extern "C" void noteStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    (void)!::write(stopPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void onStopRequest(void (*request)())
{
    if (stopPipe[0] >= 0 || ::pipe2(stopPipe, O_CLOEXEC) != 0)
        return;
    stopRequest = request;
    // The handler only writes a byte; the request is made from an ordinary thread.
    std::thread([] {
        char byte;
        ssize_t got;
        do
            got = ::read(stopPipe[0], &byte, 1);
        while (got < 0 && errno == EINTR);
        if (got != 1)
            return;
        // Any further signal ends the process at once, whichever it is.
        struct sigaction plain = {};
        plain.sa_handler = SIG_DFL;
        sigemptyset(&plain.sa_mask);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction now = {};
            if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler == noteStopSignal)
                ::sigaction(signal, &plain, nullptr);
        }
        stopRequest();
    }).detach();
    struct sigaction action = {};
    action.sa_handler = noteStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before = {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
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
