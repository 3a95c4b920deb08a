#include "RecordStream.h"

#include <mutex>
#include <vector>

namespace {

// Captures let go by every holder, kept for their memory until the reader takes it back for its
// next capture. One is enough, and only when no other shared capture is still held: the reader
// takes one a capture and the sink lets go of one a capture, so that a capture let go while
// another is still held (the sink fell behind and the reader made a new one) would only keep a
// second copy of the largest lists going round for good.
class CapturePool
{
public:
    static constexpr std::size_t kept = 1;

    // A capture let go by all, or null when there is none.
    std::unique_ptr<CapturedRecords> take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_free.empty())
            return nullptr;
        std::unique_ptr<CapturedRecords> capture = std::move(m_free.back());
        m_free.pop_back();
        return capture;
    }

    void shared()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_held;
    }

    void give(CapturedRecords *capture)
    {
        std::unique_ptr<CapturedRecords> owned(capture);
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_held;
        if (m_held == 0 && m_free.size() < kept)
            m_free.push_back(std::move(owned));
    }

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<CapturedRecords>> m_free;
    std::size_t m_held = 0; // shared captures not let go yet
};

std::shared_ptr<CapturePool> pool()
{
    static const std::shared_ptr<CapturePool> instance = std::make_shared<CapturePool>();
    return instance;
}

template <typename Record>
void copyList(const SdkCopy::RecordBuffer<Record> &source, SdkCopy::RecordBuffer<Record> &target)
{
    target.assign(source.begin(), source.count());
}
} // namespace

void copyRecords(const SnapshotRecords &source, SnapshotRecords &target)
{
    copyList(source.trains, target.trains);
    copyList(source.tracks, target.tracks);
    copyList(source.stations, target.stations);
    copyList(source.signalRecords, target.signalRecords);
    copyList(source.states, target.states);
    copyList(source.textures, target.textures);
    copyList(source.nodes, target.nodes);
    target.pathAvailable = source.pathAvailable;
    target.pathTrain = source.pathTrain;
    target.pathSize = source.pathSize;
    copyList(source.path, target.path);
    target.reservationsAvailable = source.reservationsAvailable;
    copyList(source.reservations, target.reservations);
    target.occupationsAvailable = source.occupationsAvailable;
    copyList(source.occupations, target.occupations);
}

SharedCapture shareCapture(const SnapshotRecords &records, qint64 timeMs, qint64 durationMs,
                           quint32 processId)
{
    auto capture = std::make_shared<CapturedRecords>();
    capture->timeMs = timeMs;
    capture->durationMs = durationMs;
    capture->processId = processId;
    copyRecords(records, capture->records);
    return capture;
}

SharedCapture moveToShared(SnapshotRecords &records, qint64 timeMs, qint64 durationMs,
                           quint32 processId)
{
    std::shared_ptr<CapturePool> captures = pool();
    // The records leave with their memory; the reader takes memory back before its next fill.
    auto capture = std::make_unique<CapturedRecords>();
    std::swap(capture->records, records);
    capture->timeMs = timeMs;
    capture->durationMs = durationMs;
    capture->processId = processId;
    captures->shared();
    // The pool lives as long as a capture that goes back to it.
    return SharedCapture(capture.release(), [captures](const CapturedRecords *spent) {
        captures->give(const_cast<CapturedRecords *>(spent));
    });
}

void reuseSharedMemory(SnapshotRecords &records)
{
    std::unique_ptr<CapturedRecords> spent = pool()->take();
    if (spent)
        std::swap(spent->records, records);
}
