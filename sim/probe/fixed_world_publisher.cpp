// Publishes the fixed world (FixedWorld.h) the way the simulated game publishes its own: a region
// named after this process's id — POSIX shared memory on Linux, a named file mapping on Windows —
// republished 25 times a second. Plain C++, no Qt, so that it builds for both.
//
//   ZorvyWorldPublisher --ready-file FILE [--seconds N]
//
// Once the region publishes, FILE holds this process's id. The publisher ends when FILE is
// removed, or after N seconds (default 120) so that a forgotten one does not linger. Its name is
// not the game's, so the search for the game by name never sees it.

#include "FixedWorld.h"
#include "ProcessStart.h"
#include "RegionWriter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

uint32_t currentProcessId()
{
#ifdef _WIN32
    return uint32_t(GetCurrentProcessId());
#else
    return uint32_t(::getpid());
#endif
}

// A writable, zero-filled region of `size` bytes under the name of this process's region.
class MappedRegion
{
public:
    bool create(uint32_t processId, uint64_t size)
    {
#ifdef _WIN32
        m_mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                       DWORD(size >> 32), DWORD(size & 0xFFFFFFFFu),
                                       SharedWorld::regionMappingName(processId).c_str());
        if (!m_mapping || GetLastError() == ERROR_ALREADY_EXISTS)
            return false;
        m_bytes = static_cast<unsigned char *>(MapViewOfFile(m_mapping, FILE_MAP_WRITE, 0, 0, 0));
#else
        m_name = SharedWorld::regionName(processId);
        ::shm_unlink(m_name.c_str()); // left over from a killed process that had our id
        const int fd = ::shm_open(m_name.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
        if (fd < 0)
            return false;
        if (::ftruncate(fd, off_t(size)) == 0) {
            void *mapping = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            m_bytes = mapping == MAP_FAILED ? nullptr : static_cast<unsigned char *>(mapping);
        }
        ::close(fd);
#endif
        m_size = size;
        return m_bytes != nullptr;
    }

    ~MappedRegion()
    {
#ifdef _WIN32
        if (m_bytes)
            UnmapViewOfFile(m_bytes);
        if (m_mapping)
            CloseHandle(m_mapping);
#else
        if (m_bytes)
            ::munmap(m_bytes, m_size);
        if (!m_name.empty())
            ::shm_unlink(m_name.c_str());
#endif
    }

    unsigned char *bytes() const
    {
        return m_bytes;
    }

private:
    unsigned char *m_bytes = nullptr;
    uint64_t m_size = 0;
#ifdef _WIN32
    HANDLE m_mapping = nullptr;
#else
    std::string m_name;
#endif
};

bool fileExists(const std::string &path)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file)
        std::fclose(file);
    return file != nullptr;
}

bool writeReadyFile(const std::string &path, uint32_t processId)
{
    const std::string part = path + ".part";
    FILE *file = std::fopen(part.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fprintf(file, "%u\n", unsigned(processId)) > 0;
    if (std::fclose(file) != 0 || !written)
        return false;
    std::remove(path.c_str());
    return std::rename(part.c_str(), path.c_str()) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string readyFile;
    long seconds = 120;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--ready-file") == 0)
            readyFile = argv[i + 1];
        else if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::strtol(argv[i + 1], nullptr, 10);
    }
    if (readyFile.empty()) {
        std::fprintf(stderr, "usage: %s --ready-file FILE [--seconds N]\n", argv[0]);
        return 2;
    }

    const World world = FixedWorld::make();
    const uint64_t staticCapacity = SharedWorld::staticBlockSize(world);
    const uint64_t frameCapacity = SharedWorld::frameBlockSize(world);
    const uint64_t size = SharedWorld::regionSize(staticCapacity, frameCapacity);
    const uint32_t processId = currentProcessId();
    MappedRegion region;
    if (!region.create(processId, size)) {
        std::fprintf(stderr, "cannot create the region of process %u\n", unsigned(processId));
        return 1;
    }
    SharedWorld::RegionWriter writer(region.bytes(), size);
    writer.start(processId, SharedWorld::processStart(processId).startTicks, staticCapacity,
                 frameCapacity);
    if (!writer.publishStatic(world) || !writer.publishFrame(world) ||
        !writeReadyFile(readyFile, processId)) {
        std::fprintf(stderr, "cannot publish\n");
        return 1;
    }

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (fileExists(readyFile) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        writer.publishFrame(world);
    }
    writer.markClosed();
    return 0;
}
