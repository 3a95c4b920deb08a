#include "Recorder.h"

#include "LogCategories.h"
#include "RecordingWriter.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <chrono>
#include <ctime>

namespace {
template <typename Record> qint64 listBytes(const SdkCopy::RecordBuffer<Record> &list)
{
    return qint64(list.count()) * qint64(sizeof(Record));
}

// The memory of a capture's records.
qint64 recordBytes(const SnapshotRecords &records)
{
    return listBytes(records.trains) + listBytes(records.tracks) + listBytes(records.stations) +
           listBytes(records.signalRecords) + listBytes(records.states) +
           listBytes(records.textures) + listBytes(records.nodes) + listBytes(records.path) +
           listBytes(records.reservations) + listBytes(records.occupations);
}

// The writer thread's own CPU time; where no thread clock is at hand, the wall clock.
qint64 threadCpuNs()
{
#ifdef Q_OS_WIN
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
#else
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
#endif
}
} // namespace

Recorder::Recorder(QObject *parent) : QObject(parent) {}

Recorder::~Recorder()
{
    stop();
}

bool Recorder::start(const QString &path)
{
    return start(path, 0, 0);
}

bool Recorder::startBlackBox(qint64 windowMs, qint64 budgetBytes)
{
    const QString base = folder() + QStringLiteral("/blackbox");
    if (!QDir().mkpath(folder())) {
        setStatus(QStringLiteral("Boîte noire impossible : le dossier %1 ne peut être créé")
                      .arg(folder()),
                  false);
        return false;
    }
    // The last session's black box is kept once, with its log.
    for (const QString &suffix : {QStringLiteral(".zrec"), QStringLiteral(".zrec-wal")}) {
        QFile::remove(base + QStringLiteral("-previous") + suffix);
        QFile::rename(base + suffix, base + QStringLiteral("-previous") + suffix);
    }
    QFile::remove(base + QStringLiteral(".zrec-shm"));
    QFile::remove(base + QStringLiteral("-previous.zrec-shm"));
    if (!start(base + QStringLiteral(".zrec"), windowMs, budgetBytes))
        return false;
    setStatus(
        QStringLiteral("Boîte noire · les %1 dernières minutes sont gardées").arg(windowMs / 60000),
        true);
    return true;
}

bool Recorder::start(const QString &path, qint64 windowMs, qint64 budgetBytes)
{
    stop();
    // The file is created here, so that a path that cannot be written is told at once; the
    // writer thread then owns it.
    std::shared_ptr<RecordingWriter> writer;
    try {
        writer = std::make_shared<RecordingWriter>(path);
    } catch (const RecordingFormat::Error &error) {
        setStatus(error.text(), false);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = false;
        m_dropped = m_written = m_committed = m_bytes = m_cpuNs = 0;
        m_queue.clear();
        m_queuedBytes = 0;
        m_path = QFileInfo(path).absoluteFilePath();
    }
    setStatus(QStringLiteral("Enregistrement en cours · %1").arg(QFileInfo(path).fileName()), true);
    m_thread = std::thread([this, writer, windowMs, budgetBytes]() mutable {
        const qint64 cpuStart = threadCpuNs();
        QElapsedTimer sinceCommit;
        sinceCommit.start();
        std::unique_lock<std::mutex> lock(m_mutex);
        try {
            for (;;) {
                m_wake.wait_for(lock, std::chrono::milliseconds(commitIntervalMs),
                                [this] { return m_stopping || !m_queue.empty(); });
                const bool stopping = m_stopping;
                std::deque<SharedCapture> batch;
                batch.swap(m_queue);
                m_queuedBytes = 0;
                lock.unlock();
                qint64 lastMs = 0;
                for (SharedCapture &capture : batch) {
                    lastMs = capture->timeMs;
                    writer->append(std::move(capture));
                }
                batch.clear();
                if (writer->hasUncommitted() &&
                    (stopping || sinceCommit.elapsed() >= commitIntervalMs)) {
                    // A black box drops what is past its window or its budget with the commit.
                    if (windowMs > 0 && lastMs != 0)
                        writer->dropBefore(lastMs - windowMs);
                    while (budgetBytes > 0 && writer->usedBytes() > budgetBytes &&
                           writer->dropOldest() > 0) {
                    }
                    writer->commit();
                    sinceCommit.restart();
                }
                lock.lock();
                m_written = writer->captureCount();
                if (!writer->hasUncommitted())
                    m_committed = m_written;
                m_bytes = writer->bytesWritten();
                m_cpuNs = threadCpuNs() - cpuStart;
                if (stopping)
                    break;
            }
            lock.unlock();
        } catch (const RecordingFormat::Error &error) {
            if (!lock.owns_lock())
                lock.lock();
            m_queue.clear();
            m_queuedBytes = 0;
            m_stopping = true;
            lock.unlock();
            qCWarning(LogCategory::capture).noquote() << error.text();
            setStatus(QStringLiteral("Enregistrement arrêté : %1").arg(error.text()), false);
        }
        writer.reset(); // closes the file
    });
    return true;
}

QString Recorder::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/recordings");
}

bool Recorder::startInFolder()
{
    if (!QDir().mkpath(folder())) {
        setStatus(QStringLiteral("Enregistrement impossible : le dossier %1 ne peut être créé")
                      .arg(folder()),
                  false);
        return false;
    }
    return start(folder() + QStringLiteral("/session-") +
                 QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                 QStringLiteral(".zrec"));
}

void Recorder::stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
    bool wasRecording;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        wasRecording = m_recording;
    }
    if (wasRecording) {
        qCInfo(LogCategory::capture).noquote()
            << "Recording:" << captureCount() << "captures," << bytesWritten() << "bytes,"
            << cpuMsPerCapture() << "ms of writer CPU per capture";
        setStatus(QStringLiteral("Enregistrement terminé · %1 captures").arg(captureCount()),
                  false);
    }
}

void Recorder::take(SharedCapture capture)
{
    qint64 dropped = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_recording || m_stopping)
            return;
        const qint64 bytes = recordBytes(capture->records);
        if (int(m_queue.size()) >= maxQueued ||
            (!m_queue.empty() && m_queuedBytes + bytes > maxQueuedBytes)) {
            dropped = ++m_dropped;
        } else {
            m_queuedBytes += bytes;
            m_queue.push_back(std::move(capture));
        }
    }
    if (dropped == 0) {
        m_wake.notify_all();
        return;
    }
    // The recording has a gap: the status says so from now on.
    if (dropped == 1)
        qCWarning(LogCategory::capture) << "Recording: the writer lags, captures are dropped";
    QMetaObject::invokeMethod(this, &Recorder::statusChanged, Qt::QueuedConnection);
}

void Recorder::setStatus(const QString &text, bool recording)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status = text;
        m_recording = recording;
    }
    // Told on the object's own thread, whatever thread the change came from.
    QMetaObject::invokeMethod(this, &Recorder::statusChanged, Qt::QueuedConnection);
}

bool Recorder::recording() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_recording;
}

QString Recorder::status() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_dropped == 0)
        return m_status;
    const QString lost = m_dropped == 1 ? QStringLiteral("1 capture perdue")
                                        : QStringLiteral("%1 captures perdues").arg(m_dropped);
    return QStringLiteral("%1 · %2 (écriture trop lente)").arg(m_status, lost);
}

QString Recorder::path() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_recording ? m_path : QString();
}

qint64 Recorder::captureCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_written;
}

qint64 Recorder::committedCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_committed;
}

qint64 Recorder::bytesWritten() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bytes;
}

double Recorder::cpuMsPerCapture() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_written > 0 ? double(m_cpuNs) / 1e6 / double(m_written) : 0.0;
}
