#include "Session.h"

#include "StatusText.h"

#include <chrono>
#include <thread>

using namespace SharedWorld;

namespace {

constexpr uint64_t staticStrides[StaticListCount] = {
    sizeof(SdkTrack),  sizeof(SdkTrackNode), sizeof(SdkStation), sizeof(SdkSignal),
    sizeof(LabelPair), sizeof(TexturePath),  sizeof(Fault)};
constexpr uint64_t frameStrides[FrameListCount] = {
    sizeof(SdkTrain),      sizeof(StateEntry), sizeof(TextureEntry), sizeof(SdkTrackUsage),
    sizeof(SdkTrackUsage), sizeof(PathEntry),  sizeof(uint64_t)};

// The writer publishes at least 20 times a second and keeps each slot for two periods, so a
// reader is turned away only while it is overtaken; it gives up after about a second.
constexpr int maxAttempts = 400;

void pause(int attempt)
{
    if (attempt < 8)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::microseconds(2500));
}

} // namespace

Session::Session(std::unique_ptr<GameRegion> region) : m_region(std::move(region)) {}

bool Session::refreshStatic(uint64_t sequence, uint32_t *status)
{
    if (m_static && sequence == m_staticSequence)
        return true;
    std::vector<unsigned char> bytes;
    uint64_t copied = 0;
    if (!m_region->copyStatic(&copied, &bytes))
        return false;
    auto block = std::make_shared<BlockCopy>(std::move(bytes));
    if (!block->validate(staticStrides, StaticListCount)) {
        *status = StatusUnreadableData;
        return false;
    }
    m_static = std::move(block);
    m_staticSequence = copied;
    return true;
}

uint32_t Session::capture(std::shared_ptr<const Snapshot> *snapshot)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_region->gameRunning())
        return StatusSessionLost;
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        if (attempt > 0)
            pause(attempt);
        const uint64_t staticSequence = m_region->staticSequence();
        if (staticSequence & 1u)
            continue;
        uint32_t status = StatusOk;
        if (!refreshStatic(staticSequence, &status)) {
            if (status != StatusOk)
                return status;
            continue;
        }
        const uint64_t frameNumber = m_region->latestFrame();
        std::vector<unsigned char> bytes;
        if (frameNumber == 0 || !m_region->copyFrame(frameNumber, &bytes))
            continue;
        auto frame = std::make_shared<BlockCopy>(std::move(bytes));
        if (!frame->validate(frameStrides, FrameListCount))
            return StatusUnreadableData;
        // A frame written against another version of the static part does not match ours.
        if (frame->header().staticSequence != m_staticSequence)
            continue;
        *snapshot = std::make_shared<const Snapshot>(m_static, std::move(frame));
        return StatusOk;
    }
    return m_region->gameRunning() ? StatusGameBusy : StatusSessionLost;
}
