#include "RecordingReader.h"

#include <QFileInfo>

#include <zstd.h>

#include <algorithm>
#include <cstring>

using RecordingFormat::Error;

namespace {
// Beyond this a damaged file could make the list of captures itself exhaust memory: about a year
// of captures four times a second.
constexpr qint64 maxCaptures = qint64(1) << 27;
// A full check of the file's pages is made at opening up to this size; larger files are checked
// as they are read.
constexpr qint64 fullCheckBytes = qint64(256) << 20;
} // namespace

RecordingReader::RecordingReader(const QString &path) : m_fileName(QFileInfo(path).fileName())
{
    const QString context = QStringLiteral("Enregistrement illisible (%1)").arg(path);
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(QStringLiteral("%1 : fichier introuvable").arg(context));
    if (info.isDir())
        throw Error(QStringLiteral("%1 : c’est un dossier").arg(context));
    if (!info.isFile())
        throw Error(QStringLiteral("%1 : ce n’est pas un fichier ordinaire").arg(context));

    // Read-write when possible, so that a file left by a killed recording gets its log replayed.
    try {
        m_db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_EXRESCODE, context);
    } catch (const Error &) {
        m_db.open(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_EXRESCODE, context);
    }

    {
        Sqlite::Statement version(m_db, "PRAGMA user_version");
        version.step();
        const qint64 found = version.integer(0);
        if (found > RecordingFormat::schemaVersion)
            throw Error(QStringLiteral("%1 : enregistrement de la version %2, plus récente que "
                                       "celle que ce programme lit (%3) ; mettre le programme à "
                                       "jour")
                            .arg(context)
                            .arg(found)
                            .arg(RecordingFormat::schemaVersion));
        m_version = int(found);
        if (found < RecordingFormat::oldestSchemaVersion)
            throw Error(
                QStringLiteral("%1 : ce n’est pas un enregistrement Zorvy TCO").arg(context));
    }
    if (info.size() <= fullCheckBytes) {
        Sqlite::Statement check(m_db, "PRAGMA quick_check(1)");
        if (!check.step() || check.blob(0) != "ok")
            throw Error(QStringLiteral("%1 : fichier endommagé (%2)")
                            .arg(context, QString::fromUtf8(check.blob(0))));
    }

    {
        Sqlite::Statement count(m_db, "SELECT count(*) FROM captures");
        count.step();
        if (count.integer(0) > maxCaptures)
            throw Error(QStringLiteral("%1 : %2 captures annoncées, au-delà de ce qu’un "
                                       "enregistrement peut contenir")
                            .arg(context)
                            .arg(count.integer(0)));
        m_captures.reserve(std::size_t(count.integer(0)));
    }
    Sqlite::Statement all(m_db,
                          "SELECT number, time_ms, duration_ms FROM captures ORDER BY number");
    while (all.step() && qint64(m_captures.size()) < maxCaptures)
        m_captures.push_back({all.integer(0), all.integer(1), all.integer(2)});
    // Times are taken by the wall clock, which may step back: the order is the captures' own.
    m_selectCapture.emplace(m_db, "SELECT process_id, path_available, path_train, path_size, "
                                  "reservations_available, occupations_available FROM captures "
                                  "WHERE number = ?1");
    m_selectChain.emplace(m_db, "SELECT number, delta FROM lists WHERE list = ?1 AND "
                                "number <= ?2 ORDER BY number DESC");
    m_selectList.emplace(m_db, "SELECT count, size, data, number FROM lists WHERE list = ?1 AND "
                               "number >= ?2 AND number <= ?3 ORDER BY number");
    m_selectFile.emplace(m_db, "SELECT size, data FROM files WHERE path = ?1");
}

void RecordingReader::fail(const QString &what) const
{
    throw Error(QStringLiteral("Enregistrement illisible (%1) : %2").arg(m_fileName, what));
}

qsizetype RecordingReader::indexAt(qint64 offsetMs) const
{
    if (m_captures.empty())
        return 0;
    const qint64 target = m_captures.front().timeMs + offsetMs;
    qsizetype index = 0;
    for (qsizetype i = 0; i < qsizetype(m_captures.size()); ++i) {
        if (m_captures[std::size_t(i)].timeMs <= target)
            index = i;
    }
    return index;
}

const CapturedRecords &RecordingReader::load(qsizetype index)
{
    if (index < 0 || index >= qsizetype(m_captures.size()))
        fail(QStringLiteral("capture %1 absente").arg(index));
    const Capture &entry = m_captures[std::size_t(index)];
    try {
        SdkCopy::Budget budget;
        RecordingFormat::forEachList(m_last.records,
                                     [&](int list, auto &buffer, const SdkCopy::ListLimit &limit) {
                                         loadList(list, entry.number, buffer, limit, budget);
                                     });
        readCaptureRow(entry, m_last);
    } catch (const Error &) {
        forget();
        throw;
    } catch (const std::runtime_error &error) { // the capture budget
        forget();
        fail(QString::fromUtf8(error.what()));
    }
    return m_last;
}

void RecordingReader::load(qsizetype index, CapturedRecords &capture)
{
    try {
        const CapturedRecords &loaded = load(index);
        copyRecords(loaded.records, capture.records);
        capture.timeMs = loaded.timeMs;
        capture.durationMs = loaded.durationMs;
        capture.processId = loaded.processId;
    } catch (const Error &) {
        capture.records.clear();
        throw;
    }
}

void RecordingReader::extractImages(const QString &folder, const QString &prefix)
{
    forget();
    m_images = std::make_unique<RecordedImages>(folder, prefix);
}

void RecordingReader::forget()
{
    m_last.records.clear();
    m_textureImage.clear();
    std::fill(std::begin(m_lastRow), std::end(m_lastRow), -1);
}

void RecordingReader::recordedPaths()
{
    auto *texture = const_cast<SdkSignalTexture *>(m_last.records.textures.begin());
    for (std::size_t i = 0; i < m_textureImage.size(); ++i)
        m_images->restore(texture[i], std::exchange(m_textureImage[i], -1));
}

void RecordingReader::copiedPaths()
{
    m_textureImage.resize(m_last.records.textures.count(), -1);
    copiedPaths(0, m_last.records.textures.count());
}

void RecordingReader::copiedPaths(quint32 from, quint32 to)
{
    auto *texture = const_cast<SdkSignalTexture *>(m_last.records.textures.begin());
    // A record that names the path the record in its place named before takes the same copy
    // (most of them, from one key capture to another), without a look-up.
    for (quint32 i = from; i < to; ++i) {
        if (!m_images->reuse(texture[i], m_textureImage[i]))
            m_textureImage[i] = m_images->rewrite(texture[i], *this);
    }
}

void RecordingReader::readCaptureRow(const Capture &entry, CapturedRecords &capture)
{
    SnapshotRecords &records = capture.records;
    Sqlite::Statement &row = *m_selectCapture;
    row.reset();
    row.bind(1, entry.number);
    if (!row.step())
        fail(QStringLiteral("capture %1 absente").arg(entry.number));
    capture.timeMs = entry.timeMs;
    capture.durationMs = entry.durationMs;
    capture.processId = quint32(row.integer(0));
    records.pathAvailable = row.integer(1) != 0;
    records.pathTrain = quint64(row.integer(2));
    records.pathSize = quint32(std::clamp<qint64>(row.integer(3), 0, 0xFFFFFFFF));
    records.reservationsAvailable = row.integer(4) != 0;
    records.occupationsAvailable = row.integer(5) != 0;
    row.reset();
}

template <typename Buffer>
void RecordingReader::loadList(int list, qint64 number, Buffer &buffer,
                               const SdkCopy::ListLimit &limit, SdkCopy::Budget &budget)
{
    using RecordingFormat::Delta;
    const QString name = QString::fromUtf8(limit.name);
    // The list as the reader holds it, when no row stored before this capture is newer than the
    // one it was rebuilt to: only the rows after that one are applied (none for a list that did
    // not change, in whichever direction the capture is).
    const qint64 from = m_lastRow[list] <= number ? m_lastRow[list] : -1;
    m_lastRow[list] = -1;
    m_held = nullptr;
    const std::vector<ChainRow> chain = deltaChain(list, number, from, name);
    const bool whole = !chain.empty() && chain.back().delta == Delta::Whole;
    qint64 count = whole ? -1 : qint64(buffer.count());
    qint64 admitted = 0;
    if (!whole) {
        budget.admit(limit, quint64(count));
        admitted = count;
    }
    // The chain's rows are every row of the list from its oldest to its newest: read in one pass.
    m_selectList->reset();
    if (!chain.empty())
        m_selectList->bind(1, list).bind(2, chain.back().number).bind(3, chain.front().number);
    try {
        for (auto row = chain.rbegin(); row != chain.rend(); ++row) {
            const ListRow stored = readListRow(list, row->number, row->delta, count,
                                               qint64(sizeof(*buffer.begin())), limit);
            // The budget holds the most records the list has had on the way.
            if (stored.count > admitted) {
                budget.admit(limit, quint64(stored.count - admitted));
                admitted = stored.count;
            }
            applyRow(row->number, row->delta, stored, count, buffer, name, row + 1 == chain.rend());
            count = stored.count;
        }
    } catch (...) {
        // A read left open would hold the file's snapshot as it is now.
        m_selectList->reset();
        throw;
    }
    m_selectList->reset();
    m_lastRow[list] = chain.empty() ? from : chain.front().number;
}

template <typename Buffer>
void RecordingReader::applyRow(qint64 number, int delta, const ListRow &stored, qint64 count,
                               Buffer &buffer, const QString &name, bool last)
{
    using Record = std::remove_cv_t<std::remove_reference_t<decltype(*buffer.begin())>>;
    using RecordingFormat::Delta;
    // Texture records named copies of their images: a row is applied to the recorded ones.
    constexpr bool textures = std::is_same_v<Record, SdkSignalTexture>;
    const bool copies = textures && m_images;
    if (delta == Delta::Prefixed) {
        applyPrefixed(number, stored, count, buffer, name, last);
        return;
    }
    if (m_held) {
        // The list came out of prefixed rows into a scratch list (a damaged file's mix of forms).
        buffer.assign(reinterpret_cast<const Record *>(m_held), quint32(count));
        m_held = nullptr;
        if (copies)
            copiedPaths();
    }
    char *target = nullptr;
    const bool difference = delta == Delta::Exclusive || delta == Delta::Subtracted;
    if (difference) {
        // A transposed difference is decompressed beside the scratch, then put in order.
        QByteArray &into = delta == Delta::Subtracted ? m_planes : m_scratch;
        into.resize(stored.size);
        target = into.data();
    } else {
        // A whole list: every byte is written by the frame.
        target = reinterpret_cast<char *>(buffer.uninitialized(quint32(stored.count)));
    }
    if (!difference && copies) {
        // The copy a record had at its place is the hint for the record that replaces it.
        m_textureImage.resize(std::size_t(stored.count), -1);
        decompressRow(number, stored, target, nullptr, 0, buffer, name);
        copiedPaths(0, quint32(stored.count));
        return;
    }
    decompressRow(number, stored, target, nullptr, 0, buffer, name);
    if (!difference)
        return;
    auto *records = const_cast<Record *>(buffer.begin());
    const auto touch = [&](quint32 index, bool applied) {
        if constexpr (textures) {
            if (!copies)
                return;
            if (!applied)
                m_images->restore(records[index], std::exchange(m_textureImage[index], -1));
            else
                m_textureImage[index] = m_images->rewrite(records[index], *this);
        }
    };
    auto *bytes = reinterpret_cast<char *>(records);
    const qint64 recordSize = qint64(sizeof(Record));
    if (delta == Delta::Exclusive) {
        applyDelta(bytes, recordSize, stored.size, stored.count, name, false, touch);
        return;
    }
    // Put back in order sixteen pairs at a time, each applied while it is in the cache.
    static_assert(sizeof(Record) % sizeof(quint64) == 0, "differences are added word by word");
    const qint64 pairSize = qint64(sizeof(quint32)) + recordSize;
    const qint64 pairs = stored.size / pairSize;
    m_scratch.resize(16 * pairSize);
    for (qint64 first = 0; first < pairs; first += 16) {
        const qint64 n = std::min<qint64>(16, pairs - first);
        RecordingFormat::untranspose(m_planes.constData(), pairs, pairSize, first, n,
                                     m_scratch.data());
        applyDelta(bytes, recordSize, n * pairSize, stored.count, name, true, touch);
    }
}

template <typename Buffer>
void RecordingReader::applyPrefixed(qint64 number, const ListRow &stored, qint64 count,
                                    Buffer &buffer, const QString &name, bool last)
{
    using Record = std::remove_cv_t<std::remove_reference_t<decltype(*buffer.begin())>>;
    const bool copies = std::is_same_v<Record, SdkSignalTexture> && m_images;
    if (copies && !m_held)
        recordedPaths();
    // The frame was made with the previous list as its prefix. A run of such rows goes through
    // the two scratch lists in turn, and only its last row into the list itself.
    const char *prefix = m_held ? m_held : reinterpret_cast<const char *>(buffer.begin());
    const qsizetype prefixSize = count * qsizetype(sizeof(Record));
    if (last && m_held) {
        char *target = reinterpret_cast<char *>(buffer.uninitialized(quint32(stored.count)));
        decompressRow(number, stored, target, prefix, prefixSize, buffer, name);
        m_held = nullptr;
    } else {
        QByteArray &scratch = m_turns[m_held == m_turns[0].constData() ? 1 : 0];
        scratch.resize(stored.size);
        decompressRow(number, stored, scratch.data(), prefix, prefixSize, buffer, name);
        m_held = scratch.constData();
        if (last) {
            buffer.assign(reinterpret_cast<const Record *>(m_held), quint32(stored.count));
            m_held = nullptr;
        }
    }
    if (copies && !m_held)
        copiedPaths();
}

template <typename Buffer>
void RecordingReader::decompressRow(qint64 number, const ListRow &stored, char *target,
                                    const char *prefix, qsizetype prefixSize, Buffer &buffer,
                                    const QString &name)
{
    try {
        RecordingFormat::decompress(stored.frame, target, stored.size, prefix, prefixSize);
    } catch (const Error &error) {
        buffer.clear();
        m_held = nullptr;
        fail(QStringLiteral("%1 de la capture %2 : %3").arg(name).arg(number).arg(error.text()));
    }
}

std::vector<RecordingReader::ChainRow> RecordingReader::deltaChain(int list, qint64 number,
                                                                   qint64 from, const QString &name)
{
    // The rows the list is rebuilt from: its last whole row, then the differences.
    std::vector<ChainRow> chain;
    Sqlite::Statement &rows = *m_selectChain;
    rows.reset();
    rows.bind(1, list).bind(2, number);
    bool whole = false, reached = false;
    while (!whole && rows.step()) {
        if (rows.integer(0) <= from) {
            reached = true;
            break;
        }
        if (int(chain.size()) >= RecordingFormat::maxDeltaChain)
            fail(QStringLiteral("%1 de la capture %2 : plus de %3 différences "
                                "depuis la dernière liste entière")
                     .arg(name)
                     .arg(number)
                     .arg(RecordingFormat::maxDeltaChain));
        const qint64 delta = rows.integer(1);
        const bool known = delta >= RecordingFormat::Delta::Exclusive &&
                           delta <= RecordingFormat::Delta::Subtracted &&
                           RecordingFormat::versionOf(int(delta)) <= m_version;
        if (delta != RecordingFormat::Delta::Whole && !known)
            fail(QStringLiteral("%1 de la capture %2 : forme de différence %3 inconnue")
                     .arg(name)
                     .arg(rows.integer(0))
                     .arg(delta));
        chain.push_back({rows.integer(0), int(delta)});
        whole = delta == RecordingFormat::Delta::Whole;
    }
    rows.reset();
    if (!whole && !reached)
        fail(QStringLiteral("liste %1 absente de la capture %2").arg(list).arg(number));
    return chain;
}

RecordingReader::ListRow RecordingReader::readListRow(int list, qint64 number, int delta,
                                                      qint64 previousCount, qint64 recordSize,
                                                      const SdkCopy::ListLimit &limit)
{
    const QString name = QString::fromUtf8(limit.name);
    Sqlite::Statement &select = *m_selectList; // on the row before this one
    if (!select.step() || select.integer(3) != number)
        fail(QStringLiteral("liste %1 absente de la capture %2").arg(list).arg(number));
    const qint64 count = select.integer(0);
    const qint64 size = select.integer(1);
    const qint64 frameBytes = select.bytes(2);
    if (count < 0 || count > limit.maxRecords)
        fail(QStringLiteral("%1 %2 annoncés, au-delà de la limite de %3")
                 .arg(count)
                 .arg(name)
                 .arg(limit.maxRecords));
    const bool exclusive =
        delta == RecordingFormat::Delta::Exclusive || delta == RecordingFormat::Delta::Subtracted;
    if (exclusive && count != previousCount)
        fail(QStringLiteral("différence de %1 %2 pour une liste de %3")
                 .arg(count)
                 .arg(name)
                 .arg(previousCount));
    // A difference holds at most every record, each after its index.
    const qint64 patchSize = qint64(sizeof(quint32)) + recordSize;
    if (exclusive && (size % patchSize != 0 || size > count * patchSize))
        fail(QStringLiteral("différence de %1 octets pour %2 %3").arg(size).arg(count).arg(name));
    if (!exclusive && size != count * recordSize)
        fail(QStringLiteral("%1 %2 annoncés pour un bloc de %3 octets")
                 .arg(count)
                 .arg(name)
                 .arg(size));
    if (frameBytes > qint64(ZSTD_compressBound(std::size_t(size))) + 64)
        fail(QStringLiteral("bloc compressé des %1 plus grand que possible").arg(name));
    return {count, size, select.blob(2)};
}

template <typename Touch>
void RecordingReader::applyDelta(char *records, qint64 recordSize, qint64 size, qint64 count,
                                 const QString &name, bool subtracted, Touch touch)
{
    const qint64 patchSize = qint64(sizeof(quint32)) + recordSize;
    for (qint64 at = 0; at < size; at += patchSize) {
        quint32 index = 0;
        std::memcpy(&index, m_scratch.constData() + at, sizeof index);
        if (index >= count)
            fail(QStringLiteral("différence pour le %1e de %2 %3")
                     .arg(qint64(index) + 1)
                     .arg(count)
                     .arg(name));
        touch(index, false);
        char *target = records + qint64(index) * recordSize;
        const char *change = m_scratch.constData() + at + sizeof index;
        if (subtracted) {
            // Added word by word (a record is a whole number of them).
            for (qint64 b = 0; b < recordSize; b += qint64(sizeof(quint64))) {
                quint64 word = 0, plus = 0;
                std::memcpy(&word, target + b, sizeof word);
                std::memcpy(&plus, change + b, sizeof plus);
                word += plus;
                std::memcpy(target + b, &word, sizeof word);
            }
        } else {
            // Eight bytes at a time (a record is a whole number of them but for its tail).
            qint64 b = 0;
            for (; b + 8 <= recordSize; b += 8) {
                quint64 word = 0, flip = 0;
                std::memcpy(&word, target + b, 8);
                std::memcpy(&flip, change + b, 8);
                word ^= flip;
                std::memcpy(target + b, &word, 8);
            }
            for (; b < recordSize; ++b)
                target[b] = char(target[b] ^ change[b]);
        }
        touch(index, true);
    }
}

std::optional<QByteArray> RecordingReader::file(const QByteArray &path)
{
    Sqlite::Statement &select = *m_selectFile;
    select.reset();
    select.bindBlob(1, path);
    if (!select.step())
        return std::nullopt;
    if (select.bytes(1) > RecordingFormat::maxFileBytes || select.bytes(1) != select.integer(0))
        fail(QStringLiteral("fichier d’image %1 de taille incohérente")
                 .arg(QString::fromUtf8(path)));
    QByteArray data = select.blob(1);
    select.reset();
    return data;
}
