// libFuzzer target over the reading of recordings: the opening of a file and the decoding of every
// capture and image file in it. An input is either a whole file (first byte even) or a change to
// one list row of a small sound recording made at start (first byte odd): its count, stated size,
// form and data, the data compressed here first when the second bit of the first byte is set, so
// that the fuzzer reaches the differences behind the frames; with the third bit, the reader
// names copies of the images in the texture records, as a replay's does. Built and run by
// bench/record/fuzz.sh, never by CTest.

#include "RecordingReader.h"
#include "RecordingWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <memory>

namespace {

std::unique_ptr<QTemporaryDir> folder;
QByteArray sound; // the sound recording

template <typename Record> Record *fill(SdkCopy::RecordBuffer<Record> &buffer, quint32 count)
{
    return buffer.zeroed(count);
}

// Four captures of a tiny world whose trains move, whose reservations come and go and whose one
// signal changes its image: rows of every form.
QByteArray makeSound()
{
    const QString path = folder->filePath(QStringLiteral("sound.zrec"));
    QFile image(folder->filePath(QStringLiteral("signal.png")));
    image.open(QIODevice::WriteOnly);
    image.write("\x89PNG not really");
    image.close();
    {
        RecordingWriter writer(path);
        CapturedRecords capture;
        for (int step = 0; step < 4; ++step) {
            SnapshotRecords &r = capture.records;
            SdkTrain *trains = fill(r.trains, 2);
            for (int i = 0; i < 2; ++i) {
                trains[i].id = quint64(i + 1);
                trains[i].trackId = 10;
                trains[i].fraction = 0.1 * step + 0.3 * i;
                trains[i].flags = 3;
                std::strcpy(trains[i].name, "IC 12");
            }
            SdkTrack *tracks = fill(r.tracks, 2);
            tracks[0].id = 10;
            tracks[1].id = 11;
            SdkSignalState *states = fill(r.states, 1);
            states[0].signalId = 7;
            states[0].nativeState = step % 2;
            SdkSignalTexture *textures = fill(r.textures, 1);
            textures[0].signalId = 7;
            textures[0].flags = SdkTexturePathValid;
            std::strcpy(textures[0].path, image.fileName().toUtf8().constData());
            r.reservationsAvailable = r.occupationsAvailable = true;
            SdkTrackUsage *reservations = fill(r.reservations, quint32(1 + step % 2));
            reservations[0] = {1, 10, 0.1 * step, 1.0};
            if (step % 2)
                reservations[1] = {2, 11, 0.0, 1.0};
            fill(r.occupations, 1)[0] = {1, 10, 0.0, 0.1 * step};
            capture.timeMs = 1700000000000 + step * 250;
            writer.append(capture);
        }
        writer.commit();
    }
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

quint32 word(const uint8_t *data)
{
    quint32 value = 0;
    std::memcpy(&value, data, sizeof value);
    return value;
}

// The sound recording with one list row changed as the input says.
void writeChanged(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(sound);
    file.close();
    if (size < 11)
        return;
    QByteArray blob(reinterpret_cast<const char *>(data + 11), qsizetype(size - 11));
    if (data[0] & 2)
        blob = RecordingFormat::compress(blob.constData(), blob.size());
    Sqlite::Database db;
    db.open(path, SQLITE_OPEN_READWRITE, QStringLiteral("fuzz"));
    Sqlite::Statement update(db, "UPDATE lists SET count = ?1, size = ?2, delta = ?3, data = ?4 "
                                 "WHERE rowid = (SELECT rowid FROM lists ORDER BY list, number "
                                 "LIMIT 1 OFFSET ?5)");
    update.bind(1, qint64(word(data + 2)) - (qint64(data[10] & 0x80) << 25))
        .bind(2, qint64(word(data + 6)))
        .bind(3, qint64(data[10] & 0x7f))
        .bindBlob(4, blob)
        .bind(5, qint64(data[1] % 40));
    update.step();
}

// Starting inputs in folder corpus (when there is one): the sound file whole, and each of its
// list rows as a change that leaves it as it is.
void writeSeeds()
{
    const QString corpus = QStringLiteral("corpus");
    if (!QDir(corpus).exists() || QFile::exists(corpus + QStringLiteral("/sound")))
        return;
    auto seed = [&corpus](const QString &name, const QByteArray &bytes) {
        QFile file(corpus + QLatin1Char('/') + name);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
    };
    seed(QStringLiteral("sound"), QByteArray(1, '\0') + sound);
    const QString path = folder->filePath(QStringLiteral("seeds.zrec"));
    QFile::remove(path);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(sound);
    file.close();
    Sqlite::Database db;
    db.open(path, SQLITE_OPEN_READONLY, QStringLiteral("fuzz"));
    Sqlite::Statement rows(db, "SELECT count, size, delta, data FROM lists ORDER BY list, number");
    for (int row = 0; rows.step(); ++row) {
        const qint64 size = rows.integer(1);
        const int delta = int(rows.integer(2));
        QByteArray data = rows.blob(3);
        // The data as it was before compression, but for frames made with a prefix.
        if (delta != RecordingFormat::Prefixed) {
            QByteArray plain(size, Qt::Uninitialized);
            RecordingFormat::decompress(data, plain.data(), size);
            data = plain;
        }
        QByteArray input(11, '\0');
        input[0] = char(delta == RecordingFormat::Prefixed ? 1 : 3);
        input[1] = char(row);
        const quint32 count = quint32(rows.integer(0)), stated = quint32(size);
        std::memcpy(input.data() + 2, &count, 4);
        std::memcpy(input.data() + 6, &stated, 4);
        input[10] = char(delta);
        seed(QStringLiteral("row-%1").arg(row), input + data);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    folder = std::make_unique<QTemporaryDir>();
    sound = makeSound();
    writeSeeds();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QString path = folder->filePath(QStringLiteral("input.zrec"));
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    try {
        if (data[0] & 1) {
            writeChanged(path, data, size);
        } else {
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
        }
    } catch (const RecordingFormat::Error &) {
        return 0; // not a change the sound file takes
    }
    try {
        RecordingReader reader(path);
        if (data[0] & 4) // as a replay reads: the texture records name copies of the images
            reader.extractImages(folder->path(), QStringLiteral("image"));
        CapturedRecords capture;
        const qsizetype count = std::min<qsizetype>(qsizetype(reader.captures().size()), 16);
        for (qsizetype i = 0; i < count; ++i) {
            reader.load(i, capture);
            reader.indexAt(qint64(i) * 250);
            for (const SdkSignalTexture &texture : capture.records.textures)
                reader.file(QByteArray(texture.path, qsizetype(strnlen(texture.path, 1024))));
        }
    } catch (const RecordingFormat::Error &error) {
        if (qEnvironmentVariableIsSet("FUZZ_VERBOSE"))
            qWarning("%s", qPrintable(error.text()));
    }
    return 0;
}
