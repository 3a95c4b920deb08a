#include "RecordingWriter.h"

#include <QFile>
#include <QFileInfo>

#include <cstddef>
#include <cstring>

using RecordingFormat::Error;

namespace {

// The rows of the lists go in the order they are written (their rowid), so that their pages fill
// up; the key's index finds them by list.
const char schema[] = R"(
PRAGMA journal_mode = WAL;
PRAGMA synchronous = NORMAL;
BEGIN;
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE captures(number INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL,
  duration_ms INTEGER NOT NULL, process_id INTEGER NOT NULL, key_capture INTEGER NOT NULL,
  path_available INTEGER NOT NULL, path_train INTEGER NOT NULL, path_size INTEGER NOT NULL,
  reservations_available INTEGER NOT NULL, occupations_available INTEGER NOT NULL);
CREATE TABLE lists(list INTEGER NOT NULL, number INTEGER NOT NULL, count INTEGER NOT NULL,
  size INTEGER NOT NULL, delta INTEGER NOT NULL, data BLOB NOT NULL,
  PRIMARY KEY(list, number));
CREATE TABLE files(path BLOB PRIMARY KEY, size INTEGER NOT NULL, data BLOB NOT NULL);
PRAGMA user_version = 3;
COMMIT;
)";
static_assert(RecordingFormat::schemaVersion == 3, "the schema above writes version 3");

} // namespace

RecordingWriter::RecordingWriter(const QString &path)
{
    const QString context = QStringLiteral("Enregistrement impossible dans %1").arg(path);
    if (QFileInfo::exists(path))
        throw Error(QStringLiteral("%1 : le fichier existe déjà").arg(context));
    m_db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXRESCODE, context);
    m_db.exec(schema);
    m_insertCapture.emplace(m_db, "INSERT INTO captures VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10)");
    m_insertList.emplace(m_db, "INSERT INTO lists VALUES(?1,?2,?3,?4,?5,?6)");
    m_insertFile.emplace(m_db, "INSERT OR IGNORE INTO files VALUES(?1,?2,?3)");
}

RecordingWriter::~RecordingWriter()
{
    m_insertCapture.reset();
    m_insertList.reset();
    m_insertFile.reset();
    if (m_inTransaction && m_db.isOpen())
        sqlite3_exec(m_db.handle(), "COMMIT", nullptr, nullptr, nullptr);
}

void RecordingWriter::append(const CapturedRecords &capture)
{
    write(capture);
    m_previous =
        shareCapture(capture.records, capture.timeMs, capture.durationMs, capture.processId);
}

void RecordingWriter::append(SharedCapture capture)
{
    write(*capture);
    m_previous = std::move(capture);
}

void RecordingWriter::write(const CapturedRecords &capture)
{
    if (!m_inTransaction) {
        m_db.exec("BEGIN");
        m_inTransaction = true;
    }
    const SnapshotRecords &records = capture.records;
    const bool key = m_number == 0 ||
                     capture.timeMs - m_lastKeyMs >= RecordingFormat::keyIntervalMs ||
                     capture.timeMs < m_lastKeyMs;
    if (key)
        m_lastKeyMs = capture.timeMs;
    insertCaptureRow(capture, key);

    const SnapshotRecords *previous = m_previous ? &m_previous->records : nullptr;
    RecordingFormat::forEachList(records, [&](int list, const auto &buffer, const auto &) {
        // The same list of the previous capture.
        decltype(buffer.begin()) before = nullptr;
        quint32 beforeCount = 0;
        if (previous) {
            RecordingFormat::forEachList(*previous, [&](int other, const auto &old, const auto &) {
                if constexpr (std::is_same_v<decltype(old), decltype(buffer)>) {
                    if (other == list) {
                        before = old.begin();
                        beforeCount = old.count();
                    }
                }
            });
        }
        using Record = std::remove_cv_t<std::remove_reference_t<decltype(*buffer.begin())>>;
        storeList<Record>(list, {buffer.begin(), buffer.count()}, {before, beforeCount}, key);
    });
    storeFiles(records);

    ++m_number;
}

void RecordingWriter::insertCaptureRow(const CapturedRecords &capture, bool key)
{
    const SnapshotRecords &records = capture.records;
    Sqlite::Statement &insertCapture = *m_insertCapture;
    insertCapture.reset();
    insertCapture.bind(1, m_number)
        .bind(2, capture.timeMs)
        .bind(3, capture.durationMs)
        .bind(4, capture.processId)
        .bind(5, key)
        .bind(6, records.pathAvailable)
        .bind(7, qint64(records.pathTrain))
        .bind(8, records.pathSize)
        .bind(9, records.reservationsAvailable)
        .bind(10, records.occupationsAvailable);
    insertCapture.step();
}

namespace {

// Whether two records differ in what a replay reads of them. A texture record is compared by its
// signal, flags and path (up to its end): the rest of its 1,960 bytes is reserved, and reading it
// all would cost the writer a hundred megabytes a capture on the largest worlds. A change of its
// reserved bytes alone, which nothing reads, is not seen: a replay may show older ones until the
// next key capture, which stores every record as given.
template <typename Record> bool differs(const Record &a, const Record &b)
{
    return std::memcmp(&a, &b, sizeof(Record)) != 0;
}

template <> bool differs(const SdkSignalTexture &a, const SdkSignalTexture &b)
{
    return std::memcmp(&a, &b, offsetof(SdkSignalTexture, reserved1)) != 0 ||
           std::strncmp(a.path, b.path, sizeof a.path) != 0;
}

template <typename Record> void prefetch(const Record *a, const Record *b)
{
    if constexpr (sizeof(Record) > 128) {
        __builtin_prefetch(a);
        __builtin_prefetch(b);
    }
}

template <> void prefetch(const SdkSignalTexture *a, const SdkSignalTexture *b)
{
    __builtin_prefetch(a);
    __builtin_prefetch(b);
    __builtin_prefetch(a->path);
    __builtin_prefetch(b->path);
}

} // namespace

template <typename Record>
void RecordingWriter::storeList(int list, Span<Record> now, Span<Record> before, bool key)
{
    using RecordingFormat::Delta;
    const qsizetype size = qsizetype(now.count) * qsizetype(sizeof(Record));
    const qsizetype beforeSize = qsizetype(before.count) * qsizetype(sizeof(Record));
    const bool asMany = before.records && before.count == now.count;
    const bool moves = !RecordingFormat::isStatic(list);
    if (list == RecordingFormat::Textures)
        m_changedTextures.clear();
    if (asMany && (!moves || RecordingFormat::isPrefixed(list)) &&
        (size == 0 || std::memcmp(now.records, before.records, std::size_t(size)) == 0)) {
        if (!moves || !key)
            return;
    } else if (asMany && moves && !key && !RecordingFormat::isPrefixed(list)) {
        // Between key captures a list that moves is stored as its difference from the previous
        // capture (see RecordingFormat).
        makeDifference(list, now.records, before.records, now.count);
        if (!m_difference.isEmpty())
            insertList(list, now.count, Delta::Subtracted, m_difference.constData(),
                       m_difference.size());
        return;
    } else if (beforeSize > 0 && !key && RecordingFormat::isPrefixed(list)) {
        insertList(list, now.count, Delta::Prefixed, reinterpret_cast<const char *>(now.records),
                   size, reinterpret_cast<const char *>(before.records), beforeSize);
        return;
    }
    if (list == RecordingFormat::Textures)
        m_allTexturesChanged = true;
    insertList(list, now.count, Delta::Whole, reinterpret_cast<const char *>(now.records), size);
}

void RecordingWriter::insertList(int list, quint32 count, int delta, const char *data,
                                 qsizetype size, const char *prefix, qsizetype prefixSize)
{
    // The usage lists find far more of the previous list at level 3, for no more time.
    const int level = delta == RecordingFormat::Prefixed ? 3 : 1;
    const QByteArray frame = RecordingFormat::compress(data, size, prefix, prefixSize, level);
    Sqlite::Statement &insert = *m_insertList;
    insert.reset();
    insert.bind(1, list).bind(2, m_number).bind(3, count).bind(4, size);
    insert.bind(5, delta).bindBlob(6, frame);
    insert.step();
    m_bytes += frame.size();
}

template <typename Record>
void RecordingWriter::makeDifference(int list, const Record *records, const Record *before,
                                     quint32 count)
{
    static_assert(sizeof(Record) % sizeof(quint64) == 0, "records of whole 64-bit words");
    constexpr qsizetype pairSize = qsizetype(sizeof(quint32) + sizeof(Record));
    m_pairs.resize(0);
    // The records are read from memory, not from the caches: ask for them a few records ahead.
    constexpr quint32 ahead = 8;
    for (quint32 i = 0; i < count; ++i) {
        if (i + ahead < count)
            prefetch(records + i + ahead, before + i + ahead);
        if (!differs(records[i], before[i]))
            continue;
        if (list == RecordingFormat::Textures)
            m_changedTextures.push_back(i);
        const qsizetype at = m_pairs.size();
        m_pairs.resize(at + pairSize);
        char *target = m_pairs.data() + at;
        std::memcpy(target, &i, sizeof i);
        target += sizeof i;
        const auto *now = reinterpret_cast<const char *>(records + i);
        const auto *then = reinterpret_cast<const char *>(before + i);
        for (std::size_t w = 0; w < sizeof(Record); w += sizeof(quint64)) {
            quint64 a = 0, b = 0;
            std::memcpy(&a, now + w, sizeof a);
            std::memcpy(&b, then + w, sizeof b);
            a -= b;
            std::memcpy(target + w, &a, sizeof a);
        }
    }
    m_difference.resize(m_pairs.size());
    RecordingFormat::transpose(m_pairs.constData(), m_pairs.size() / pairSize, pairSize,
                               m_difference.data());
}

void RecordingWriter::storeFiles(const SnapshotRecords &records)
{
    // Only the records that changed can name a file not seen yet.
    const bool all = m_allTexturesChanged;
    m_allTexturesChanged = false;
    const qsizetype count = all ? qsizetype(records.textures.count()) : m_changedTextures.size();
    for (qsizetype i = 0; i < count; ++i) {
        const SdkSignalTexture &texture =
            records.textures.begin()[all ? i : qsizetype(m_changedTextures[i])];
        if ((texture.flags & SdkTexturePathValid) == 0)
            continue;
        const QByteArray path(texture.path, qsizetype(strnlen(texture.path, sizeof texture.path)));
        if (path.isEmpty() || m_seenFiles.contains(path))
            continue;
        m_seenFiles.insert(path);
        storeFile(path);
    }
}

void RecordingWriter::storeFile(const QByteArray &path)
{
    // Only regular files of a sane size; what cannot be read is not kept, as live.
    const QString name = QString::fromUtf8(path);
    const QFileInfo info(name);
    if (!info.isFile() || info.size() > RecordingFormat::maxFileBytes)
        return;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = file.read(RecordingFormat::maxFileBytes + 1);
    if (data.size() > RecordingFormat::maxFileBytes)
        return;
    Sqlite::Statement &insertFile = *m_insertFile;
    insertFile.reset();
    insertFile.bindBlob(1, path).bind(2, data.size()).bindBlob(3, data);
    insertFile.step();
    m_bytes += data.size();
}

void RecordingWriter::commit()
{
    if (!m_inTransaction)
        return;
    m_db.exec("COMMIT");
    m_inTransaction = false;
}

qint64 RecordingWriter::dropBeforeNumber(qint64 number)
{
    if (!m_inTransaction) {
        m_db.exec("BEGIN");
        m_inTransaction = true;
    }
    Sqlite::Statement captures(m_db, "DELETE FROM captures WHERE number < ?1");
    captures.bind(1, number);
    captures.step();
    const qint64 dropped = sqlite3_changes(m_db.handle());
    // Each list keeps its last row up to that capture: the whole list a key capture stores, or
    // the network stored once.
    Sqlite::Statement lists(m_db,
                            "DELETE FROM lists WHERE number < (SELECT max(kept.number) FROM "
                            "lists AS kept WHERE kept.list = lists.list AND kept.number <= ?1)");
    lists.bind(1, number);
    lists.step();
    return dropped;
}

qint64 RecordingWriter::dropBefore(qint64 timeMs)
{
    Sqlite::Statement key(m_db, "SELECT max(number) FROM captures WHERE key_capture = 1 AND "
                                "time_ms <= ?1");
    key.bind(1, timeMs);
    if (!key.step() || key.isNull(0))
        return 0;
    const qint64 number = key.integer(0);
    key.reset();
    return dropBeforeNumber(number);
}

qint64 RecordingWriter::dropOldest()
{
    Sqlite::Statement key(m_db, "SELECT number FROM captures WHERE key_capture = 1 ORDER BY "
                                "number LIMIT 1 OFFSET 1");
    if (!key.step())
        return 0;
    const qint64 number = key.integer(0);
    key.reset();
    return dropBeforeNumber(number);
}

qint64 RecordingWriter::usedBytes()
{
    Sqlite::Statement pages(m_db, "SELECT page_count - freelist_count FROM pragma_page_count(), "
                                  "pragma_freelist_count()");
    pages.step();
    Sqlite::Statement size(m_db, "PRAGMA page_size");
    size.step();
    return pages.integer(0) * size.integer(0);
}
