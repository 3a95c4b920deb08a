#pragma once

// Small helpers for the library's contract tests: RAII for sessions and snapshots, the copy
// protocol as the panel runs it, and a running game observed through one session and snapshot.

#include "GameProcess.h"
#include "SdkApi.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <vector>

// Frees a session or snapshot handle when the test leaves the scope, pass or fail.
template <void (*Free)(uint64_t)> struct ScopedHandle
{
    ScopedHandle() = default;
    ScopedHandle(const ScopedHandle &) = delete;
    ~ScopedHandle() { reset(); }
    void reset()
    {
        if (handle)
            Free(handle);
        handle = 0;
    }
    uint64_t handle = 0;
};

struct ScopedSession : ScopedHandle<ZorvySdk_CloseSession>
{
    SdkStatus open(qint64 processId)
    {
        reset();
        return ZorvySdk_OpenProcess(1, uint32_t(processId), &handle);
    }
};

struct ScopedSnapshot : ScopedHandle<ZorvySdk_ReleaseSnapshot>
{
    SdkStatus capture(SdkSession session)
    {
        reset();
        return ZorvySdk_CaptureSnapshot(session, &handle);
    }
};

template <typename Record>
using SdkCopyFn = SdkStatus (*)(SdkSnapshot, Record *, uint32_t, uint32_t *);

// The copy protocol: probe for the count, then fill exactly that many records.
template <typename Record>
std::vector<Record> copyAll(SdkCopyFn<Record> copy, SdkSnapshot snapshot, SdkStatus *status)
{
    uint32_t count = 0, written = 0;
    if ((*status = copy(snapshot, nullptr, 0, &count)) != 0)
        return {};
    std::vector<Record> records(count);
    if ((*status = copy(snapshot, records.data(), count, &written)) == 0)
        records.resize(written);
    return records;
}

inline std::vector<uint64_t> copyPath(SdkSnapshot snapshot, uint64_t trainId, SdkStatus *status)
{
    uint32_t count = 0;
    if ((*status = ZorvySdk_CopyTrainPathTracks(snapshot, trainId, nullptr, 0, &count)) != 0)
        return {};
    std::vector<uint64_t> ids(count);
    *status = ZorvySdk_CopyTrainPathTracks(snapshot, trainId, ids.data(), count, &count);
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

// Options separated by spaces ("--size=small"), or a scenario given as JSON text and written
// into dir, as the game's arguments.
inline QStringList gameArguments(const QString &options, const QString &dir)
{
    if (!options.startsWith(QLatin1Char('{')))
        return options.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QJsonObject scenario = QJsonDocument::fromJson(options.toUtf8()).object();
    return {QStringLiteral("--scenario"), GameProcess::writeScenario(scenario, dir)};
}

// A game, a session on it and one snapshot, all stopped or released when the test leaves.
struct Observed
{
    bool start(const QString &options) // as gameArguments() takes them
    {
        if (!game.start(gameArguments(options, dir.path())))
            qWarning("%s", qPrintable(game.errorString()));
        return session.open(game.processId()) == 0 && snapshot.capture(session.handle) == 0;
    }
    QTemporaryDir dir;
    GameProcess game;
    ScopedSession session;
    ScopedSnapshot snapshot;
};
