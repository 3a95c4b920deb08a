#include "RecordingWriter.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

using RecordingFormat::Error;

namespace {

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
  PRIMARY KEY(list, number)) WITHOUT ROWID;
CREATE TABLE files(path BLOB PRIMARY KEY, size INTEGER NOT NULL, data BLOB NOT NULL);
PRAGMA user_version = 1;
COMMIT;
)";
static_assert(RecordingFormat::schemaVersion == 1, "the schema above writes version 1");

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
        using Record = std::remove_cv_t<std::remove_reference_t<decltype(*buffer.begin())>>;
        ListBytes bytes{reinterpret_cast<const char *>(buffer.begin()), nullptr, buffer.count(),
                        qsizetype(sizeof(Record)), false};
        // The same list of the previous capture, when it had as many records.
        if (previous) {
            RecordingFormat::forEachList(*previous, [&](int other, const auto &old, const auto &) {
                if constexpr (std::is_same_v<decltype(old), decltype(buffer)>) {
                    if (other == list && old.count() == buffer.count()) {
                        bytes.before = reinterpret_cast<const char *>(old.begin());
                        bytes.hadAsMany = true;
                    }
                }
            });
        }
        storeList(list, bytes, key);
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

void RecordingWriter::storeList(int list, const ListBytes &bytes, bool key)
{
    const qsizetype size = qsizetype(bytes.count) * bytes.recordSize;
    const bool same =
        bytes.hadAsMany && (size == 0 || std::memcmp(bytes.data, bytes.before, size_t(size)) == 0);
    if (same && (RecordingFormat::isStatic(list) || !key))
        return;
    // Between key captures a list that moves is stored as its difference from the previous
    // capture: the records that changed, each after its index (32 bits), as their exclusive
    // or with the record they replace.
    const bool delta = bytes.hadAsMany && !key && !RecordingFormat::isStatic(list);
    QByteArray frame;
    qsizetype stored = size;
    if (delta) {
        makeDifference(bytes);
        stored = m_difference.size();
        frame = RecordingFormat::compress(m_difference.constData(), stored);
    } else {
        frame = RecordingFormat::compress(bytes.data, size);
    }
    Sqlite::Statement &insertList = *m_insertList;
    insertList.reset();
    insertList.bind(1, list).bind(2, m_number).bind(3, bytes.count).bind(4, stored);
    insertList.bind(5, delta).bindBlob(6, frame);
    insertList.step();
    m_bytes += frame.size();
}

void RecordingWriter::makeDifference(const ListBytes &bytes)
{
    const std::size_t recordSize = std::size_t(bytes.recordSize);
    m_difference.resize(0);
    for (quint32 i = 0; i < bytes.count; ++i) {
        const std::size_t offset = std::size_t(i) * recordSize;
        if (std::memcmp(bytes.data + offset, bytes.before + offset, recordSize) == 0)
            continue;
        // The record's exclusive or with its previous bytes: what did not change is zeros.
        m_difference.append(reinterpret_cast<const char *>(&i), sizeof i);
        const qsizetype at = m_difference.size();
        m_difference.resize(at + qsizetype(recordSize));
        char *target = m_difference.data() + at;
        for (std::size_t b = 0; b < recordSize; ++b)
            target[b] = char(bytes.data[offset + b] ^ bytes.before[offset + b]);
    }
}

void RecordingWriter::storeFiles(const SnapshotRecords &records)
{
    for (const SdkSignalTexture &texture : records.textures) {
        if ((texture.flags & SdkTexturePathValid) == 0)
            continue;
        const QByteArray path(texture.path, qsizetype(strnlen(texture.path, sizeof texture.path)));
        if (path.isEmpty() || m_seenFiles.contains(path))
            continue;
        m_seenFiles.insert(path);
        // Only regular files of a sane size; what cannot be read is not kept, as live.
        const QString name = QString::fromUtf8(path);
        const QFileInfo info(name);
        if (!info.isFile() || info.size() > RecordingFormat::maxFileBytes)
            continue;
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray data = file.read(RecordingFormat::maxFileBytes + 1);
        if (data.size() > RecordingFormat::maxFileBytes)
            continue;
        Sqlite::Statement &insertFile = *m_insertFile;
        insertFile.reset();
        insertFile.bindBlob(1, path).bind(2, data.size()).bindBlob(3, data);
        insertFile.step();
        m_bytes += data.size();
    }
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
