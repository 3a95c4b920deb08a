#pragma once

#include "SnapshotRecords.h"

#include <QString>
#include <QVariantMap>

#include <memory>
#include <vector>

// One capture as the library gave it, with when it was taken and how long it took. Once handed
// to a sink it is shared and never changed again.
struct CapturedRecords
{
    qint64 timeMs = 0;     // wall clock at the start of the capture, ms since the epoch
    qint64 durationMs = 0; // the capture and its conversion
    quint32 processId = 0;
    SnapshotRecords records;
};
using SharedCapture = std::shared_ptr<const CapturedRecords>;

// An immutable copy of the records of one capture, made once (only the records, not the memory
// kept for later captures).
SharedCapture shareCapture(const SnapshotRecords &records, qint64 timeMs, qint64 durationMs,
                           quint32 processId);

// The records of one capture moved into a shared capture, without copying them; records is left
// without memory.
SharedCapture moveToShared(SnapshotRecords &records, qint64 timeMs, qint64 durationMs,
                           quint32 processId);
// Gives records the memory of a capture that was shared before and has been let go by all (when
// there is one), so that the memory of the lists goes round between the reader and the sink
// instead of being allocated anew, and no more copies of it stay than are in use.
void reuseSharedMemory(SnapshotRecords &records);

// Copies the records of source into target, reusing target's memory.
void copyRecords(const SnapshotRecords &source, SnapshotRecords &target);

// Where the reader thread hands each live capture it made, e.g. to keep it on disk. take() runs
// on the reader thread after the capture and must not wait for anything slow.
class RecordSink
{
public:
    virtual ~RecordSink() = default;
    virtual void take(SharedCapture capture) = 0;
};

// Hands each capture to several sinks, shared, not copied (the black box and the window's own
// recording, each on its writer thread).
class RecordSinks : public RecordSink
{
public:
    explicit RecordSinks(std::vector<std::shared_ptr<RecordSink>> sinks) : m_sinks(std::move(sinks))
    {
    }
    void take(SharedCapture capture) override
    {
        for (const std::shared_ptr<RecordSink> &sink : m_sinks)
            sink->take(capture);
    }

private:
    std::vector<std::shared_ptr<RecordSink>> m_sinks;
};

// How far the reader thread has shown what needs attention in a replay: the source's generation
// of results and the last capture whose alert events were handed on (-1 none).
struct AttentionProgress
{
    quint64 generation = 0;
    qint64 eventsUpTo = -1;
};

// Where the reader thread takes its captures from instead of the library, e.g. a recording being
// replayed. Called on the reader thread only, but for setStoppedDelay().
class RecordSource
{
public:
    virtual ~RecordSource() = default;
    // The number of the capture to show now, or -1 when there is none (see error).
    virtual qint64 dueCapture() = 0;
    // The capture of that number, kept by the source until its next load (so that a capture is
    // handed over without copying its lists); nullptr with a French error text when the
    // recording cannot give it.
    virtual const CapturedRecords *load(qint64 number, QString *error) = 0;
    // How long the reader may wait before the next capture can be due, in ms.
    virtual int waitMs() = 0;

    // What needs attention in capture number, as the captures up to it give it, added to data
    // (the data map converted from records): the attention keys of that capture, and in
    // "attentionEvents" the alert events after progress.eventsUpTo up to it ("attentionRestart"
    // when they start again from the first capture). Results not derived yet are left out.
    virtual void addAttention(qint64 number, const SnapshotRecords &records, QVariantMap &data,
                              AttentionProgress &progress)
    {
        Q_UNUSED(number)
        Q_UNUSED(records)
        Q_UNUSED(data)
        Q_UNUSED(progress)
    }
    // Whether addAttention() would now give more for number than progress says.
    virtual bool attentionMoved(qint64 number, const AttentionProgress &progress)
    {
        Q_UNUSED(number)
        Q_UNUSED(progress)
        return false;
    }
    // The stopped delay of the alerts; from any thread.
    virtual void setStoppedDelay(qint64 milliseconds) { Q_UNUSED(milliseconds) }
};
