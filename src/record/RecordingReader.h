#pragma once

#include "RecordStream.h"
#include "RecordedImages.h"
#include "Sqlite.h"

#include <memory>
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

    // The capture at index, as the reader keeps it: valid until the next load on this reader.
    // Only the lists that differ from the capture loaded before are rebuilt, and only their rows
    // after the one the reader holds (playing applies one capture's differences at a time).
    const CapturedRecords &load(qsizetype index);
    // The same, copied into capture.
    void load(qsizetype index, CapturedRecords &capture);

    // From now on the texture records name copies of the image files kept in the recording,
    // written to folder (which must exist) the first time a record names them, as prefix, a
    // number and the file's suffix. A file that was not kept, or cannot be written, leaves the
    // recorded path. Each record changed by a capture is rewritten once.
    void extractImages(const QString &folder, const QString &prefix);

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
    // Applies one stored row to the list (count records before it; last: the chain's last row).
    template <typename Buffer>
    void applyRow(qint64 number, int delta, const ListRow &stored, qint64 count, Buffer &buffer,
                  const QString &name, bool last);
    template <typename Buffer>
    void applyPrefixed(qint64 number, const ListRow &stored, qint64 count, Buffer &buffer,
                       const QString &name, bool last);
    // Decompresses the row's frame into target; a damaged one clears the list and throws.
    template <typename Buffer>
    void decompressRow(qint64 number, const ListRow &stored, char *target, const char *prefix,
                       qsizetype prefixSize, Buffer &buffer, const QString &name);
    // The rows the list is rebuilt from, the newest first, down to its last whole row or to the
    // first row at or before capture from (excluded; -1: none).
    std::vector<ChainRow> deltaChain(int list, qint64 number, qint64 from, const QString &name);
    // Forgets the last capture rebuilt (after a failure, which may have left it halfway).
    void forget();
    // The next row of the list's chain (number, stored as delta), its sizes checked before its
    // block is read; previousCount is the count of the list the row follows (-1 for the first).
    ListRow readListRow(int list, qint64 number, int delta, qint64 previousCount, qint64 recordSize,
                        const SdkCopy::ListLimit &limit);
    // Applies the difference in m_scratch (size bytes) to count records of recordSize bytes: as
    // exclusive or, or added word by word when subtracted; touch(index, applied) is called for
    // each record changed, before and after its change.
    template <typename Touch>
    void applyDelta(char *records, qint64 recordSize, qint64 size, qint64 count,
                    const QString &name, bool subtracted, Touch touch);
    // With images extracted: gives every texture record its recorded path back (before a row
    // that replaces the list from it), or names the copies in all of them (after such a row).
    void recordedPaths();
    void copiedPaths();
    void copiedPaths(quint32 from, quint32 to); // the records from, to (m_textureImage sized)

    QString m_fileName;
    Sqlite::Database m_db;
    std::vector<Capture> m_captures;
    std::optional<Sqlite::Statement> m_selectCapture, m_selectChain, m_selectList, m_selectFile;
    int m_version = 0;
    // The last capture loaded, as rebuilt, and for each list the newest stored row it holds.
    CapturedRecords m_last;
    qint64 m_lastRow[RecordingFormat::ListCount] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    // With images extracted: the copies, and for each texture record the recorded path it names
    // a copy instead of (RecordedImages' id, -1: as recorded).
    std::unique_ptr<RecordedImages> m_images;
    std::vector<qint32> m_textureImage;
    QByteArray m_scratch; // a difference being applied
    // The lists a run of prefixed rows goes through, and the one that holds the list (or null).
    QByteArray m_turns[2];
    const char *m_held = nullptr;
    QByteArray m_planes; // a transposed difference
};
