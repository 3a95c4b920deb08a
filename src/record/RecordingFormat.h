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
//            it. The network (tracks, stations, signals, nodes) is stored whole, only when it
//            changes.
//   files(path, size, data): the image files the texture records name, once each
//   meta(key, value): what the recording is about
// The schema's version is the database's user_version.
namespace RecordingFormat {

constexpr int schemaVersion = 1;
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

// size bytes as one zstd frame with its checksum.
QByteArray compress(const char *data, qsizetype size);

// Decompresses frame into exactly size bytes at target. Throws Error when the frame does not
// state exactly that size, is damaged, or gives anything else.
void decompress(const QByteArray &frame, char *target, qsizetype size);

} // namespace RecordingFormat
