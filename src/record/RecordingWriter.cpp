#include "RecordingWriter.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

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
    keep(capture.records);
}

void RecordingWriter::append(SharedCapture capture)
{
    write(*capture);
    keep(capture->records);
}

void RecordingWriter::keep(const SnapshotRecords &records)
{
    RecordingFormat::forEachList(m_before, [&](int list, auto &kept, const auto &) {
        // The textures are kept packed; storeList() kept the lists that had few changes.
        if (list == RecordingFormat::Textures || (m_keptLists & (1u << list)) != 0)
            return;
        RecordingFormat::forEachList(records, [&](int other, const auto &now, const auto &) {
            if constexpr (std::is_same_v<decltype(*kept.begin()), decltype(*now.begin())>) {
                if (other == list)
                    kept.assign(now.begin(), now.count());
            }
        });
    });
    m_hasBefore = true;
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
    m_keptLists = 0;
    // The texture records first: the capture wrote them moments ago, and the last of their
    // hundred megabytes are still in the processor's cache, which the other lists would evict.
    compareTextures(records.textures.begin(), records.textures.count(), key);

    RecordingFormat::forEachList(records, [&](int list, const auto &buffer, const auto &) {
        using Record = std::remove_cv_t<std::remove_reference_t<decltype(*buffer.begin())>>;
        if constexpr (std::is_same_v<Record, SdkSignalTexture>) {
            storeTextures({buffer.begin(), buffer.count()});
        } else {
            // The same list of the previous capture.
            RecordingFormat::forEachList(m_before, [&](int other, auto &kept, const auto &) {
                if constexpr (std::is_same_v<decltype(*kept.begin()), decltype(*buffer.begin())>) {
                    if (other == list)
                        storeList<Record>(list, {buffer.begin(), buffer.count()}, kept, key);
                }
            });
        }
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

// The records of now that differ from those of before, by index. Most are as they were: runs of
// them are compared at once.
template <typename Record>
void findChanged(const Record *now, const Record *before, quint32 count,
                 std::vector<quint32> &changed)
{
    constexpr quint32 run = std::max<quint32>(1, quint32(4096 / sizeof(Record)));
    for (quint32 from = 0; from < count; from += run) {
        const quint32 to = std::min(count, from + run);
        if (std::memcmp(now + from, before + from, std::size_t(to - from) * sizeof(Record)) == 0)
            continue;
        for (quint32 i = from; i < to; ++i) {
            if (std::memcmp(now + i, before + i, sizeof(Record)) != 0)
                changed.push_back(i);
        }
    }
}

// The pairs of a difference transposed a group at a time (sixteen by sixteen bytes): as many rows
// as this.
constexpr int transposeRows = 16;

} // namespace

template <typename Record>
void RecordingWriter::storeList(int list, Span<Record> now, KeptList<Record> &before, bool key)
{
    using RecordingFormat::Delta;
    const qsizetype size = qsizetype(now.count) * qsizetype(sizeof(Record));
    const bool asMany = m_hasBefore && before.count() == now.count;
    const bool moves = !RecordingFormat::isStatic(list);
    const bool prefixed = RecordingFormat::isPrefixed(list);
    if (asMany && (!moves || prefixed) &&
        (size == 0 || std::memcmp(now.records, before.begin(), std::size_t(size)) == 0)) {
        m_keptLists |= 1u << list;
        if (!moves || !key)
            return;
    } else if (asMany && moves && !key && !prefixed) {
        // Between key captures a list that moves is stored as its difference from the previous
        // capture (see RecordingFormat), and only its records that changed are kept anew.
        m_changed.clear();
        findChanged(now.records, before.begin(), now.count, m_changed);
        if (!m_changed.empty())
            storeDifference(list, now.records, before.begin(), now.count, m_changed);
        for (const quint32 i : m_changed)
            before.records[i] = now.records[i];
        m_keptLists |= 1u << list;
        return;
    } else if (m_hasBefore && before.count() > 0 && !key && prefixed) {
        insertList(list, now.count, Delta::Prefixed, reinterpret_cast<const char *>(now.records),
                   size, reinterpret_cast<const char *>(before.begin()),
                   qsizetype(before.count()) * qsizetype(sizeof(Record)));
        return;
    }
    insertList(list, now.count, Delta::Whole, reinterpret_cast<const char *>(now.records), size);
}

void RecordingWriter::storeTextures(Span<SdkSignalTexture> now)
{
    using RecordingFormat::Textures;
    if (m_texturesCompared) {
        if (m_changedTextures.empty())
            return;
        storeDifference<SdkSignalTexture>(Textures, now.records, nullptr, now.count,
                                          m_changedTextures);
        for (const quint32 i : m_changedTextures) {
            keepTexture(i, now.records[i]);
            m_beforeTextures.replace(i, now.records[i]);
        }
        // Paths that change at every capture would pile up until the next key capture.
        if (m_texturePaths.size() > 2 * std::size_t(now.count) + 1024)
            keepTextures(now.records, now.count);
        return;
    }
    m_allTexturesChanged = true;
    keepTextures(now.records, now.count);
    m_beforeTextures.assign(now.records, now.count);
    insertList(Textures, now.count, RecordingFormat::Delta::Whole,
               reinterpret_cast<const char *>(now.records),
               qsizetype(now.count) * qsizetype(sizeof(SdkSignalTexture)));
}

void RecordingWriter::insertList(int list, quint32 count, int delta, const char *data,
                                 qsizetype size, const char *prefix, qsizetype prefixSize)
{
    // The usage lists find far more of the previous list at level 3 (the reservations of the
    // large world take a third less) for little more time; the rest gains little from it (the
    // trains' differences of the large world 4 %, for 0.5 ms more).
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
void RecordingWriter::storeDifference(int list, const Record *records, const Record *before,
                                      quint32 count, const std::vector<quint32> &changed)
{
    static_assert(sizeof(Record) % sizeof(quint64) == 0, "records of whole 64-bit words");
    constexpr qsizetype pairSize = qsizetype(sizeof(quint32) + sizeof(Record));
    const qsizetype pairs = qsizetype(changed.size());
    m_difference.resize(pairs * pairSize);
    char *planes = m_difference.data();
    // A group of pairs at a time, made in a small block and then written into their planes.
    m_pairs.resize(std::size_t(transposeRows * pairSize));
    char *block = m_pairs.data();
    for (qsizetype first = 0; first < pairs; first += transposeRows) {
        const int made = int(std::min<qsizetype>(transposeRows, pairs - first));
        for (int r = 0; r < made; ++r) {
            const quint32 i = changed[std::size_t(first + r)];
            char *pair = block + r * pairSize;
            std::memcpy(pair, &i, sizeof i);
            const auto *now = reinterpret_cast<const char *>(records + i);
            // The texture records before are packed: the one needed is unpacked.
            const char *then;
            if constexpr (std::is_same_v<Record, SdkSignalTexture>)
                then = reinterpret_cast<const char *>(&m_beforeTextures.unpack(i));
            else
                then = reinterpret_cast<const char *>(before + i);
            for (std::size_t w = 0; w < sizeof(Record); w += sizeof(quint64)) {
                quint64 a = 0, b = 0;
                std::memcpy(&a, now + w, sizeof a);
                std::memcpy(&b, then + w, sizeof b);
                a -= b;
                std::memcpy(pair + sizeof i + w, &a, sizeof a);
            }
        }
        RecordingFormat::transpose(block, made, pairSize, planes + first, pairs);
    }
    insertList(list, count, RecordingFormat::Delta::Subtracted, m_difference.constData(),
               m_difference.size());
}

void RecordingWriter::compareTextures(const SdkSignalTexture *records, quint32 count, bool key)
{
    m_changedTextures.clear();
    m_texturesCompared =
        !key && m_hasBefore && m_textureKeys.size() == count && m_beforeTextures.count() == count;
    if (!m_texturesCompared)
        return;
    // Only the new records are read (the previous ones are in m_textureKeys), a few ahead, from
    // the last: those the capture wrote last are the likeliest to be still in the cache.
    constexpr quint32 ahead = 16;
    for (quint32 i = count; i-- > 0;) {
        if (i >= ahead) {
            __builtin_prefetch(records + i - ahead);
            __builtin_prefetch(records[i - ahead].path);
            __builtin_prefetch(records[i - ahead].path + 64);
        }
        const SdkSignalTexture &texture = records[i];
        const TextureKey &key = m_textureKeys[i];
        const QByteArray &path = m_texturePaths[key.path];
        const std::size_t length = std::size_t(path.size());
        if (std::memcmp(key.head, &texture, sizeof key.head) != 0 ||
            std::memcmp(texture.path, path.constData(), length) != 0 ||
            (length < sizeof texture.path && texture.path[length] != '\0'))
            m_changedTextures.push_back(i);
    }
    std::reverse(m_changedTextures.begin(), m_changedTextures.end());
}

void RecordingWriter::keepTexture(quint32 index, const SdkSignalTexture &texture)
{
    TextureKey &key = m_textureKeys[index];
    std::memcpy(key.head, &texture, sizeof key.head);
    const QByteArray path(texture.path, qsizetype(strnlen(texture.path, sizeof texture.path)));
    auto found = m_texturePathIndex.constFind(path);
    if (found == m_texturePathIndex.constEnd()) {
        found = m_texturePathIndex.insert(path, quint32(m_texturePaths.size()));
        m_texturePaths.push_back(path);
    }
    key.path = found.value();
}

void RecordingWriter::keepTextures(const SdkSignalTexture *records, quint32 count)
{
    // The paths named by no record are forgotten here, so that they cannot pile up.
    m_texturePaths.clear();
    m_texturePathIndex.clear();
    m_textureKeys.resize(count);
    for (quint32 i = 0; i < count; ++i)
        keepTexture(i, records[i]);
}

void RecordingWriter::storeFiles(const SnapshotRecords &records)
{
    // Only the records that changed can name a file not seen yet.
    const bool all = m_allTexturesChanged;
    m_allTexturesChanged = false;
    const qsizetype count =
        all ? qsizetype(records.textures.count()) : qsizetype(m_changedTextures.size());
    for (qsizetype i = 0; i < count; ++i) {
        const SdkSignalTexture &texture =
            records.textures.begin()[all ? i : qsizetype(m_changedTextures[std::size_t(i)])];
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
    return dropBeforeKey(key);
}

qint64 RecordingWriter::dropOldest()
{
    Sqlite::Statement key(m_db, "SELECT number FROM captures WHERE key_capture = 1 ORDER BY "
                                "number LIMIT 1 OFFSET 1");
    return dropBeforeKey(key);
}

qint64 RecordingWriter::dropBeforeKey(Sqlite::Statement &key)
{
    if (!key.step() || key.isNull(0))
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
