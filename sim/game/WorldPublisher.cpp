#include "WorldPublisher.h"

#include "ProcessStart.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace SharedWorld;

WorldPublisher::~WorldPublisher()
{
    close();
}

QString WorldPublisher::regionName() const
{
    return QString::fromStdString(SharedWorld::regionName(m_processId));
}

uint64_t WorldPublisher::staticBlockSize(const World &world)
{
    return SharedWorld::staticBlockSize(world);
}

uint64_t WorldPublisher::frameBlockSize(const World &world)
{
    return SharedWorld::frameBlockSize(world);
}

bool WorldPublisher::open(uint64_t staticCapacity, uint64_t frameCapacity, QString *error)
{
    close();
    m_processId = uint32_t(::getpid());
    const std::string name = SharedWorld::regionName(m_processId);
    const uint64_t size = SharedWorld::regionSize(staticCapacity, frameCapacity);

    // A region of this name can only be left over from an earlier process that had our id and
    // was killed; it is stale.
    ::shm_unlink(name.c_str());
    const int fd = ::shm_open(name.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
    if (fd < 0) {
        *error = QStringLiteral("shm_open %1: %2")
                     .arg(QString::fromStdString(name), QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (::ftruncate(fd, off_t(size)) != 0) {
        *error = QStringLiteral("ftruncate: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        ::close(fd);
        ::shm_unlink(name.c_str());
        return false;
    }
    void *mapping = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapping == MAP_FAILED) {
        *error = QStringLiteral("mmap: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        ::shm_unlink(name.c_str());
        return false;
    }
    m_region = static_cast<unsigned char *>(mapping);
    m_size = size;
    // The fresh region is zero-filled.
    m_writer = RegionWriter(m_region, m_size);
    m_writer.start(m_processId, processStart(m_processId).startTicks, staticCapacity,
                   frameCapacity);
    return true;
}

bool WorldPublisher::publishStatic(const World &world)
{
    return m_region && m_writer.publishStatic(world);
}

bool WorldPublisher::publishFrame(const World &world)
{
    return m_region && m_writer.publishFrame(world);
}

void WorldPublisher::close()
{
    if (!m_region)
        return;
    m_writer.markClosed();
    ::shm_unlink(SharedWorld::regionName(m_processId).c_str());
    ::munmap(m_region, m_size);
    m_region = nullptr;
    m_size = 0;
}
