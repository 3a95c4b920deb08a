#pragma once

#include "SnapshotRecords.h"

#include <QByteArray>
#include <QString>

#include <stdexcept>

// The file of a recording: one SQLite database in WAL mode.
//   captures(number, time_ms, duration_ms, process_id, key_capture, path_available, path_train,
//            path_size, reservations_available, occupations_available): one row per capture
//   lists(list, number, count, size, delta, data): the records of one list from that capture
//            on, as a zstd frame of `size` bytes once decompressed; a capture stores only the
//            lists that changed since the previous one. A key capture (every keyIntervalMs)
//            stores every list that changes with the game (trains, states, textures, path, usage)
//            whole; in between, such a list of as many records as before is stored as the
//            records that changed since the previous capture, each after its 32-bit index and as
//            its exclusive or with the record it replaces (delta 1, `size` the bytes of these
//            pairs), so that a list is rebuilt from its last whole row and the differences after
//            it. The usage lists (reservations, occupations), whose records come and go, are
//            stored between key captures as a zstd frame made with the same list of the previous
//            capture as its prefix (delta 2, any count). Since version 3 the differences are the
//            changed records minus the records they replace, in 64-bit words (two's complement,
//            little-endian), each after its index, transposed (byte 0 of every pair, then byte
//            1, and so on) so that the high bytes of the numbers that moved a little come out as
//            runs of zeros (delta 3). The network (tracks, stations, signals, nodes) is stored
//            whole, only when it changes.
//   files(path, size, data): the image files the texture records name, once each
//   meta(key, value): what the recording is about
// The schema's version is the database's user_version; version 1 is version 2 without delta 2,
// version 2 is version 3 without delta 3.
namespace RecordingFormat {

constexpr int schemaVersion = 3;
constexpr int oldestSchemaVersion = 1;
constexpr qint64 keyIntervalMs = 60000;
// No image file the records name is kept beyond this size.
constexpr qint64 maxFileBytes = 16 << 20;
// No list is rebuilt from more differences than this (a key capture comes long before).
constexpr int maxDeltaChain = 4096;

enum List : int {
    Trains,
    Tracks,
    Stations,
    Signals,
    States,
    Textures,
    Nodes,
    Path,
    Reservations,
    Occupations,
    ListCount
};

// How a row of a list is stored.
enum Delta : int { Whole = 0, Exclusive = 1, Prefixed = 2, Subtracted = 3 };

// The version that brought a form of row (a row of another form in an older file is damage).
constexpr int versionOf(int delta)
{
    return delta == Subtracted ? 3 : delta == Prefixed ? 2 : 1;
}

// Stored as a frame with the previous list as its prefix between key captures.
constexpr bool isPrefixed(int list)
{
    return list == Reservations || list == Occupations;
}

// Only when the network changes.
constexpr bool isStatic(int list)
{
    return list == Tracks || list == Stations || list == Signals || list == Nodes;
}

// Calls visit(list, buffer, limit) for every list of the records, in List order.
template <typename Records, typename Visit> void forEachList(Records &r, Visit visit)
{
    namespace Limit = SdkCopy::CaptureBudget;
    visit(Trains, r.trains, Limit::trains);
    visit(Tracks, r.tracks, Limit::tracks);
    visit(Stations, r.stations, Limit::stations);
    visit(Signals, r.signalRecords, Limit::signalRecords);
    visit(States, r.states, Limit::signalStates);
    visit(Textures, r.textures, Limit::signalTextures);
    visit(Nodes, r.nodes, Limit::nodes);
    visit(Path, r.path, Limit::pathTracks);
    visit(Reservations, r.reservations, Limit::reservations);
    visit(Occupations, r.occupations, Limit::occupations);
}

// What goes wrong with a recording, in French, for the window and the command line.
class Error : public std::runtime_error
{
public:
    explicit Error(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromUtf8(what()); }
};

// Byte k of each of count records of stride bytes, for k = 0 to stride - 1, into planes (a
// transposed table: plane k at planes + k * planeSize, planeSize count unless given), and back.
void transpose(const char *records, qsizetype count, qsizetype stride, char *planes,
               qsizetype planeSize = -1);
void untranspose(const char *planes, qsizetype count, qsizetype stride, char *records);
// Records first to first + n - 1 only, at records.
void untranspose(const char *planes, qsizetype count, qsizetype stride, qsizetype first,
                 qsizetype n, char *records);

// size bytes as one zstd frame with its checksum, made with prefixSize bytes at prefix as its
// prefix when they are given (the same bytes are needed to decompress it); level is zstd's.
QByteArray compress(const char *data, qsizetype size, const char *prefix = nullptr,
                    qsizetype prefixSize = 0, int level = 1);

// Decompresses frame into exactly size bytes at target, with the prefix it was made with. Throws
// Error when the frame does not state exactly that size, is damaged, or gives anything else.
void decompress(const QByteArray &frame, char *target, qsizetype size, const char *prefix = nullptr,
                qsizetype prefixSize = 0);

} // namespace RecordingFormat
