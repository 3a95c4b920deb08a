#pragma once

// Small helpers for the library's contract tests: RAII for sessions and snapshots, and the copy
// protocol as the panel runs it.

#include "SdkApi.h"

#include <QByteArray>
#include <QString>

#include <vector>

// Frees a session handle when the test leaves the scope, pass or fail.
class ScopedSession
{
public:
    ScopedSession() = default;
    ~ScopedSession() { close(); }
    ScopedSession(const ScopedSession &) = delete;
    ScopedSession &operator=(const ScopedSession &) = delete;
    SdkStatus open(qint64 processId)
    {
        close();
        return ZorvySdk_OpenProcess(1, uint32_t(processId), &handle);
    }
    void close()
    {
        if (handle)
            ZorvySdk_CloseSession(handle);
        handle = 0;
    }
    SdkSession handle = 0;
};

// Releases a snapshot handle when the test leaves the scope, pass or fail.
class ScopedSnapshot
{
public:
    ScopedSnapshot() = default;
    ~ScopedSnapshot() { release(); }
    ScopedSnapshot(const ScopedSnapshot &) = delete;
    ScopedSnapshot &operator=(const ScopedSnapshot &) = delete;
    SdkStatus capture(SdkSession session)
    {
        release();
        return ZorvySdk_CaptureSnapshot(session, &handle);
    }
    void release()
    {
        if (handle)
            ZorvySdk_ReleaseSnapshot(handle);
        handle = 0;
    }
    SdkSnapshot handle = 0;
};

template <typename Record>
using SdkCopyFn = SdkStatus (*)(SdkSnapshot, Record *, uint32_t, uint32_t *);

// The copy protocol: probe for the count, then fill exactly that many records.
template <typename Record>
std::vector<Record> copyAll(SdkCopyFn<Record> copy, SdkSnapshot snapshot, SdkStatus *status)
{
    uint32_t count = 0;
    *status = copy(snapshot, nullptr, 0, &count);
    if (*status != 0)
        return {};
    std::vector<Record> records(count);
    uint32_t written = 0;
    *status = copy(snapshot, records.data(), count, &written);
    if (*status == 0)
        records.resize(written);
    return records;
}

inline std::vector<uint64_t> copyPath(SdkSnapshot snapshot, uint64_t trainId, SdkStatus *status)
{
    uint32_t count = 0;
    *status = ZorvySdk_CopyTrainPathTracks(snapshot, trainId, nullptr, 0, &count);
    if (*status != 0)
        return {};
    std::vector<uint64_t> ids(count);
    uint32_t written = 0;
    *status = ZorvySdk_CopyTrainPathTracks(snapshot, trainId, ids.data(), count, &written);
    return ids;
}

template <typename Record> QByteArray bytesOf(const std::vector<Record> &records)
{
    return QByteArray(reinterpret_cast<const char *>(records.data()),
                      qsizetype(records.size() * sizeof(Record)));
}

inline QString statusText(SdkStatus status)
{
    return QString::fromUtf8(ZorvySdk_StatusString(status));
}
