#pragma once

#include "AttentionTracker.h"
#include "RecordStream.h"

#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// What needs attention in a recording, derived as a live session derives it: the attention tracker
// runs over every capture of the recording in order, on a thread of its own with a reader of its
// own, the captures' recorded times as its clock and the signal images kept in the recording. The
// results of each capture are kept (the attention keys, the alert events, the trains that are not
// running), so that the reader thread shows any capture, in any order, as live showed it; the
// alerts that start are the marks of the time bar. A new stopped delay derives everything again.
class ReplayAttention
{
public:
    // A mark of the time bar: an alert that starts, seconds after the first capture.
    struct Mark
    {
        double seconds;
        QString state; // held, stalled, deadlock
        QString text;  // the train's name and what
    };

    // marksChanged is called on the scanning thread when marks were added (at most about four
    // times a second, and once at the end).
    ReplayAttention(const QString &path, qint64 stoppedDelayMs, std::function<void()> marksChanged);
    ~ReplayAttention();

    void addAttention(qint64 number, const SnapshotRecords &records, QVariantMap &data,
                      AttentionProgress &progress);
    bool attentionMoved(qint64 number, const AttentionProgress &progress);
    void setStoppedDelay(qint64 milliseconds);

    std::vector<Mark> marks() const;

    // The most train entries kept over all captures (the trains not running and those the map
    // rings); the derivation stops at the capture that would pass it, as at a damaged capture.
    static constexpr qint64 maxKeptTrains = 1000000;

private:
    struct Result
    {
        QVariantMap keys;                            // counts, trains and deadlocks
        QVariantList events;                         // the alert events of this capture
        std::vector<AttentionTracker::Train> trains; // not running
        qint64 timeMs = 0;
    };

    void start();
    void stop();
    void run(quint64 generation, qint64 stoppedDelayMs);

    QString m_path;
    std::function<void()> m_marksChanged;
    mutable std::mutex m_mutex;
    std::vector<Result> m_results;
    std::vector<Mark> m_marks;
    quint64 m_generation = 1;
    qint64 m_stoppedDelayMs;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
