#pragma once

#include "RecordStream.h"
#include "Sqlite.h"

#include <optional>
#include <vector>

// Reads a recording, on one thread at a time. Every failure throws RecordingFormat::Error with a
// French text naming the file: a path that is no regular file, a file that is not SQLite or is
// damaged, a schema newer than this program's, a list whose stated sizes disagree or whose
// compressed block is damaged or would pass its limits. Nothing is allocated before its size is
// checked against the capture's limits.
class RecordingReader
{
public:
    struct Capture
    {
        qint64 number;
        qint64 timeMs;
        qint64 durationMs;
    };

    explicit RecordingReader(const QString &path);

    // The captures in order of time, read once when the file is opened.
    const std::vector<Capture> &captures() const { return m_captures; }
    // The index of the last capture taken at most offsetMs after the first (0 before it).
    qsizetype indexAt(qint64 offsetMs) const;

    // The records of the capture at index into capture.
    void load(qsizetype index, CapturedRecords &capture);

    // The contents of an image file the records name, or nothing when it was not kept.
    std::optional<QByteArray> file(const QByteArray &path);

    QString fileName() const { return m_fileName; }

private:
    // One stored row of a list: its records, the size of its data once decompressed and the
    // compressed block.
    struct ListRow
    {
        qint64 count;
        qint64 size;
        QByteArray frame;
    };

    [[noreturn]] void fail(const QString &what) const;
    // The capture's own row: its time, process and the flags of its records.
    void readCaptureRow(const Capture &entry, CapturedRecords &capture);
    struct ChainRow
    {
        qint64 number;
        int delta; // RecordingFormat::Delta
    };
    // Rebuilds one list of capture number into buffer, from its last whole row and differences.
    template <typename Buffer>
    void loadList(int list, qint64 number, Buffer &buffer, const SdkCopy::ListLimit &limit,
                  SdkCopy::Budget &budget);
    // The rows the list is rebuilt from, the newest first, down to its last whole row or to the
    // first row at or before capture from (excluded; -1: none).
    std::vector<ChainRow> deltaChain(int list, qint64 number, qint64 from, const QString &name);
    // Forgets the last capture rebuilt (after a failure, which may have left it halfway).
    void forget();
    // A row of a list stored as delta, its sizes checked before its block is read; previousCount
    // is the count of the list the row follows (-1 for the first).
    ListRow readListRow(int list, qint64 number, int delta, qint64 previousCount, qint64 recordSize,
                        const SdkCopy::ListLimit &limit);
    // Applies the difference in m_scratch (size bytes) to count records of recordSize bytes: as
    // exclusive or, or added word by word when subtracted.
    void applyDelta(char *records, qint64 recordSize, qint64 size, qint64 count,
                    const QString &name, bool subtracted);

    QString m_fileName;
    Sqlite::Database m_db;
    std::vector<Capture> m_captures;
    std::optional<Sqlite::Statement> m_selectCapture, m_selectChain, m_selectList, m_selectFile;
    int m_version = 0;
    // The lists of the last capture loaded, as rebuilt, and the capture each list stands at.
    SnapshotRecords m_last;
    qint64 m_lastNumber[RecordingFormat::ListCount] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    QByteArray m_scratch; // a difference being applied
    QByteArray m_prefix;  // the list a prefixed frame was made with
    QByteArray m_planes;  // a transposed difference
};
