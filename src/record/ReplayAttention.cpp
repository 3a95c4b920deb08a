#include "ReplayAttention.h"

#include "AttentionMap.h"
#include "ClosedImages.h"
#include "DataMap.h"
#include "DataMapKeys.h"
#include "RecordingReader.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>

namespace {
// How often the marks may be announced while the recording is read.
constexpr qint64 marksIntervalMs = 250;
} // namespace

ReplayAttention::ReplayAttention(const QString &path, qint64 stoppedDelayMs,
                                 std::function<void()> marksChanged)
    : m_path(path), m_marksChanged(std::move(marksChanged)), m_stoppedDelayMs(stoppedDelayMs)
{
    start();
}

ReplayAttention::~ReplayAttention()
{
    stop();
}

void ReplayAttention::start()
{
    m_stop.store(false);
    quint64 generation;
    qint64 delay;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        generation = m_generation;
        delay = m_stoppedDelayMs;
    }
    m_thread = std::thread([this, generation, delay] { run(generation, delay); });
}

void ReplayAttention::stop()
{
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

void ReplayAttention::setStoppedDelay(qint64 milliseconds)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (milliseconds == m_stoppedDelayMs)
            return;
    }
    stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stoppedDelayMs = milliseconds;
        ++m_generation;
        m_results.clear();
        m_marks.clear();
    }
    if (m_marksChanged)
        m_marksChanged();
    start();
}

void ReplayAttention::run(quint64 generation, qint64 stoppedDelayMs)
{
    try {
        RecordingReader reader(m_path);
        QTemporaryDir folder;
        if (folder.isValid())
            reader.extractImages(folder.path(), QStringLiteral("a"));
        AttentionTracker tracker;
        AttentionTracker::Settings settings;
        settings.stoppedDelayMs = stoppedDelayMs;
        tracker.setSettings(settings);
        ClosedImages closedImages;
        const qint64 count = qint64(reader.captures().size());
        const qint64 firstMs = count > 0 ? reader.captures().front().timeMs : 0;
        QElapsedTimer sinceMarks;
        sinceMarks.start();
        bool newMarks = false;
        qint64 kept = 0;
        for (qint64 i = 0; i < count && !m_stop.load(); ++i) {
            const CapturedRecords &capture = reader.load(qsizetype(i));
            const qint64 now = capture.timeMs;
            tracker.update(capture.records, now,
                           [&](QByteArrayView path) { return closedImages.closed(path, now); });
            Result result;
            AttentionMap::write(result.keys, tracker, capture.records, {now, now, true});
            result.events = result.keys.take(DataMapKeys::attentionEventsKey).toList();
            result.keys.remove(DataMapKeys::selectedAttentionKey);
            result.timeMs = now;
            for (const AttentionTracker::Train &train : tracker.trains()) {
                if (train.state != AttentionTracker::State::Running)
                    result.trains.push_back(train);
            }
            kept += qint64(result.trains.size()) +
                    result.keys.value(DataMapKeys::attentionTrainsKey).toList().size();
            if (kept > maxKeptTrains)
                break;
            std::lock_guard<std::mutex> lock(m_mutex);
            if (generation != m_generation)
                return;
            for (const QVariant &value : std::as_const(result.events)) {
                const QVariantMap event = value.toMap();
                if (!event.value(DataMapKeys::startedKey).toBool())
                    continue;
                m_marks.push_back(
                    {double(now - firstMs) / 1000.0, event.value(DataMapKeys::stateKey).toString(),
                     event.value(DataMapKeys::nameKey).toString() + QStringLiteral(" · ") +
                         event.value(DataMapKeys::textKey).toString()});
                newMarks = true;
            }
            m_results.push_back(std::move(result));
            if (newMarks && sinceMarks.elapsed() >= marksIntervalMs && m_marksChanged) {
                newMarks = false;
                sinceMarks.restart();
                m_marksChanged();
            }
        }
    } catch (const std::exception &) {
        // A damaged capture (the reader thread shows the failure) or no memory left: the alerts
        // end there; what was derived stays.
    }
    if (m_marksChanged)
        m_marksChanged();
}

std::vector<ReplayAttention::Mark> ReplayAttention::marks() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_marks;
}

bool ReplayAttention::attentionMoved(qint64 number, const AttentionProgress &progress)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const qint64 target = std::min(number, qint64(m_results.size()) - 1);
    return progress.generation != m_generation || target != progress.eventsUpTo;
}

void ReplayAttention::addAttention(qint64 number, const SnapshotRecords &records, QVariantMap &data,
                                   AttentionProgress &progress)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const qint64 target = std::min(number, qint64(m_results.size()) - 1);
    const bool restart = progress.generation != m_generation || target < progress.eventsUpTo;
    QVariantList events;
    for (qint64 i = restart ? 0 : progress.eventsUpTo + 1; i <= target; ++i)
        events.append(m_results[std::size_t(i)].events);
    data.insert(DataMapKeys::attentionEventsKey, events);
    if (restart)
        data.insert(DataMapKeys::attentionRestartKey, true);
    progress = {m_generation, target};
    if (target != number || target < 0)
        return;

    const Result &result = m_results[std::size_t(target)];
    for (auto key = result.keys.constBegin(); key != result.keys.constEnd(); ++key)
        data.insert(key.key(), key.value());
    // The selected train: its results, or running (since when is not kept for running trains).
    const quint64 selected =
        DataMap::parseIdText(data.value(DataMapKeys::selectedTrainIdKey).toString());
    const AttentionTracker::Train *train = nullptr;
    AttentionTracker::Train running;
    for (const AttentionTracker::Train &candidate : result.trains) {
        if (candidate.id == selected)
            train = &candidate;
    }
    for (const SdkTrain &record : records.trains) {
        if (!train && selected != 0 && record.id == selected &&
            (record.flags & SdkTrainPositioned) != 0) {
            running = {record.id, AttentionTracker::State::Running, AttentionMap::unknownSince, 0,
                       record.trackId};
            train = &running;
        }
    }
    AttentionMap::writeSelected(data, train, records, {result.timeMs, result.timeMs, true});
}
