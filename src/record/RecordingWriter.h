#pragma once

#include "PackedTextures.h"
#include "RecordStream.h"
#include "Sqlite.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QSet>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

// Writes captures into a new recording file, on the thread that calls it. Every failure (the file
// cannot be created, the disk is full) throws RecordingFormat::Error with a French text; the
// captures committed until then stay readable.
class RecordingWriter
{
public:
    // Creates the file; an existing file is never overwritten.
    explicit RecordingWriter(const QString &path);
    ~RecordingWriter();

    // Adds one capture to the open transaction (one is begun if needed). What the next capture is
    // compared with is kept: a copy of the lists but the textures, and the textures packed; the
    // shared capture itself is let go at once.
    void append(const CapturedRecords &capture);
    void append(SharedCapture capture);
    // Commits what was appended since the last commit.
    void commit();
    bool hasUncommitted() const { return m_inTransaction; }

    // Drops the captures taken before timeMs, as far as they can go: from the last key capture
    // taken by then on, every capture stays whole. Returns the captures dropped.
    qint64 dropBefore(qint64 timeMs);
    // Drops the captures before the second key capture kept, the oldest minute or so; returns the
    // captures dropped (0 when a single key capture is left).
    qint64 dropOldest();
    // The bytes the captures kept take in the file (free pages not counted).
    qint64 usedBytes();

    qint64 captureCount() const { return m_number; }
    // The bytes of compressed lists and files written so far.
    qint64 bytesWritten() const { return m_bytes; }

private:
    // A list of the previous capture as the writer keeps it, to compare the next one with.
    template <typename Record> struct KeptList
    {
        std::vector<Record> records;
        const Record *begin() const { return records.data(); }
        quint32 count() const { return quint32(records.size()); }
        void assign(const Record *from, quint32 n) { records.assign(from, from + n); }
    };
    // The lists of the previous capture, under the names of SnapshotRecords (so that
    // RecordingFormat::forEachList visits them); the textures are kept apart, packed.
    struct KeptLists
    {
        KeptList<SdkTrain> trains;
        KeptList<SdkTrack> tracks;
        KeptList<SdkStation> stations;
        KeptList<SdkSignal> signalRecords;
        KeptList<SdkSignalState> states;
        KeptList<SdkSignalTexture> textures; // always empty
        KeptList<SdkTrackNode> nodes;
        KeptList<uint64_t> path;
        KeptList<SdkTrackUsage> reservations;
        KeptList<SdkTrackUsage> occupations;
    };

    void insertCaptureRow(const CapturedRecords &capture, bool key);
    template <typename Record> struct Span
    {
        const Record *records;
        quint32 count;
    };
    // Stores the list when it changed, or whole at a key capture unless it never moves; before
    // is the same list of the previous capture (empty for the first), brought up to date here
    // when only some of its records changed.
    template <typename Record>
    void storeList(int list, Span<Record> now, KeptList<Record> &before, bool key);
    // Stores the texture records: whole, or those that compareTextures() found changed.
    void storeTextures(Span<SdkSignalTexture> now);
    void insertList(int list, quint32 count, int delta, const char *data, qsizetype size,
                    const char *prefix = nullptr, qsizetype prefixSize = 0);
    // Stores the records changed (indexes in ascending order) as their difference from before
    // (see RecordingFormat); the texture records before are the packed ones.
    template <typename Record>
    void storeDifference(int list, const Record *records, const Record *before, quint32 count,
                         const std::vector<quint32> &changed);
    // Finds the texture records that changed since the previous capture (into m_changedTextures)
    // unless this is a key capture or the count changed, which store them whole. A texture
    // record is compared by its signal, flags and path (up to its end): the rest of its 1,960
    // bytes is reserved, and reading it all would cost the writer a hundred megabytes a capture
    // on the largest worlds. A change of its reserved bytes alone, which nothing reads, is not
    // seen: a replay may show older ones until the next key capture, which stores every record
    // as given.
    void compareTextures(const SdkSignalTexture *records, quint32 count, bool key);
    // Keeps what is compared of one texture record, or of all.
    void keepTexture(quint32 index, const SdkSignalTexture &texture);
    void keepTextures(const SdkSignalTexture *records, quint32 count);
    // Keeps what the next capture is compared with: the lists not kept already by storeList().
    void keep(const SnapshotRecords &records);
    // Keeps the image files the texture records stored by this capture name, once each.
    void storeFiles(const SnapshotRecords &records);
    void storeFile(const QByteArray &path);

    Sqlite::Database m_db;
    std::optional<Sqlite::Statement> m_insertCapture, m_insertList, m_insertFile;
    bool m_inTransaction = false;
    qint64 m_number = 0;
    qint64 m_lastKeyMs = 0;
    qint64 m_bytes = 0;
    void write(const CapturedRecords &capture);
    qint64 dropBeforeNumber(qint64 number);
    // Drops the captures before the key capture the query gives (none when it gives none).
    qint64 dropBeforeKey(Sqlite::Statement &key);
    // The records of the previous capture as stored, to store only the lists that changed.
    bool m_hasBefore = false;
    KeptLists m_before;
    PackedTextures m_beforeTextures;
    quint32 m_keptLists = 0; // per list (1 << list): m_before holds this capture's records
    QSet<QByteArray> m_seenFiles;
    // Memory for the differences, kept from capture to capture.
    QByteArray m_difference;
    std::vector<char> m_pairs;
    // The texture records this capture stored: all of them, or those that changed.
    bool m_texturesCompared = false;
    bool m_allTexturesChanged = false;
    std::vector<quint32> m_changedTextures;
    std::vector<quint32> m_changed; // the records of the list being stored that changed
    // What was compared of the previous texture records, apart from the records so that a
    // comparison reads only the new ones: their first bytes and their path (among m_texturePaths,
    // each path once).
    struct TextureKey
    {
        unsigned char head[offsetof(SdkSignalTexture, reserved1)];
        quint32 path;
    };
    std::vector<TextureKey> m_textureKeys;
    std::vector<QByteArray> m_texturePaths;
    QHash<QByteArray, quint32> m_texturePathIndex;
};
