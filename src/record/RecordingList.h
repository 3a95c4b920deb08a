#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <vector>

// The recordings of a folder as the window lists them, and their renaming and deletion. Each file
// is read only as far as its header: the schema's version, the first and last capture; a file
// that is not a recording is listed with what is wrong with it. Nothing here needs a window or
// a thread of its own; the caller runs read() off the GUI thread.
namespace RecordingList {

// At most this many files are looked at in a folder; the listing says when there were more.
constexpr int maxEntries = 500;
// The longest name a recording may be given, extension included.
constexpr int maxNameLength = 200;
constexpr char extension[] = ".zrec";

struct Entry
{
    QString path;
    QString fileName;
    QString game;        // e.g. "PID 4242"
    qint64 startMs = 0;  // the first capture, ms since the epoch
    qint64 lengthMs = 0; // from the first capture to the last
    qint64 captures = 0;
    qint64 bytes = 0;  // the file with its log
    QString problem;   // why it cannot be replayed, in French (empty: it can)
    bool busy = false; // being written or shown: neither renamed nor deleted
};

struct Listing
{
    std::vector<Entry> entries; // the newest first, files that cannot be replayed last
    bool truncated = false;     // more than maxEntries recordings in the folder
    QString error;              // the folder itself cannot be read
};

// The files ending in ".zrec" in folder; busyPaths are the files being written or shown. Each
// file is read for half a second at most; cancel, when set, ends the listing early.
Listing read(const QString &folder, const QStringList &busyPaths, int limit = maxEntries,
             const std::atomic<bool> *cancel = nullptr);
// One file's entry.
Entry describe(const QString &path, const QStringList &busyPaths,
               const std::atomic<bool> *cancel = nullptr);

// Why newName cannot be the new name of the recording at path (empty: it can). The extension is
// added when missing.
QString checkRename(const QString &path, const QString &newName, const QStringList &busyPaths);
// Renames the recording with its log; an empty text, or why nothing was renamed.
QString rename(const QString &path, const QString &newName, const QStringList &busyPaths);
// Deletes the recording with its log; an empty text, or why nothing was deleted.
QString remove(const QString &path, const QStringList &busyPaths);

} // namespace RecordingList
