// Recordings written and read back capture by capture, converted exactly as the live records were;
// damaged recordings refused with a clear error; the recorder stopping when its file cannot grow;
// the list of a folder's recordings, their renaming and deletion.

#include "DataMapJson.h"
#include "RecordWorld.h"
#include "Recorder.h"
#include "RecordingList.h"
#include "RecordingReader.h"
#include "RecordingWriter.h"
#include "SnapshotConverter.h"
#include "Worlds.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// The records of world as captured at step: the first train (and a crowd's) moves at every step,
// its last reservation comes and goes, the first signal's image changes at steps 2 and 4 (with a
// reserved byte), and from step 3 on the network gains a track (a change of a list that is stored
// only when it changes). Given an image, the first texture record names it, or the same name with a
// "2" at odd steps.
constexpr quint64 crowdIds = 1000;

void capture(const RecordWorld::World &base, int step, SnapshotRecords &records,
             const QByteArray &image = {})
{
    RecordWorld::World world = base;
    if (step >= 2 && !world.textures.empty()) {
        qstrcpy(world.textures[0].path, step >= 4 ? "/b.png" : "/a/a longer path.png");
        world.textures[0].reserved1[100] = step >= 4 ? 2 : 1;
    }
    for (std::size_t i = 0; i < world.trains.size(); ++i) {
        if (i == 0 || world.trains[i].id - crowdIds < 100)
            world.trains[i].fraction = 0.1 * step + 0.001 * double(i * i * step);
    }
    if (!image.isEmpty() && !world.textures.empty()) {
        const QByteArray named = step % 2 ? image + '2' : image;
        qstrncpy(world.textures[0].path, named.constData(), sizeof world.textures[0].path);
        world.textures[0].flags = SdkTexturePathValid;
    }
    if (world.reservations && !world.reservations->empty() && step % 2 == 1)
        world.reservations->pop_back();
    if (step >= 3)
        world.tracks.push_back(SdkTrack{9000, 0, 10.0});
    RecordWorld::toRecords(world, 0, records);
}

template <typename Record> QByteArray bytesOf(const SdkCopy::RecordBuffer<Record> &buffer)
{
    return QByteArray(reinterpret_cast<const char *>(buffer.begin()),
                      qsizetype(buffer.count() * sizeof(Record)));
}

// Every list and flag, as bytes, to compare two sets of records.
QByteArray fingerprint(const SnapshotRecords &r)
{
    QByteArray all;
    RecordingFormat::forEachList(
        r, [&all](int, const auto &buffer, const auto &) { all += bytesOf(buffer) + '|'; });
    return all + QByteArray::number(r.pathAvailable) + QByteArray::number(r.pathTrain) +
           QByteArray::number(r.pathSize) + QByteArray::number(r.reservationsAvailable) +
           QByteArray::number(r.occupationsAvailable);
}

// A recording of n steps of world, 250 ms apart but for a 61 s gap before the last (a key capture).
void record(const QString &path, const RecordWorld::World &world, int n,
            RecordingWriter **keepOpen = nullptr, const QByteArray &image = {})
{
    auto *writer = new RecordingWriter(path);
    CapturedRecords captured;
    for (int step = 0; step < n; ++step) {
        capture(world, step, captured.records, image);
        captured.timeMs = 1700000000000 + step * 250 + (step == n - 1 ? 61000 : 0);
        captured.durationMs = 3;
        captured.processId = 42;
        writer->append(captured);
        writer->commit();
    }
    if (keepOpen)
        *keepOpen = writer;
    else
        delete writer;
}

void execute(const QString &path, const char *sql)
{
    Sqlite::Database db;
    db.open(path, SQLITE_OPEN_READWRITE, QStringLiteral("test"));
    db.exec(sql);
}

void flipByte(const QString &path, qint64 offset)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.seek(offset);
    char byte = 0;
    file.getChar(&byte);
    file.seek(offset);
    file.putChar(char(byte ^ 0x5a));
}

// A file a folder may hold besides recordings: a "folder", a "fifo" or "text" that is not SQLite.
void oddFile(const QString &kind, const QString &path)
{
    if (kind == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "fifo") {
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("Ceci n’est pas un enregistrement.\n").repeated(200));
    }
}

// Four captures of world at path, copied with their log while the writer still holds them (as a
// killed program leaves them).
void recordLeftOpen(const QString &path, const RecordWorld::World &world)
{
    const QString open = QFileInfo(path).dir().filePath("open.zrec");
    RecordingWriter *writer = nullptr;
    record(open, world, 4, &writer);
    QVERIFY(QFile::copy(open, path));
    QVERIFY(QFile::copy(open + "-wal", path + "-wal"));
    delete writer;
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const RecordWorld::World m_world = RecordWorld::fromJson(Worlds::edges());

private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<QJsonObject>("world");
        QTest::newRow("every edge of the records") << Worlds::edges();
        QTest::newRow("usage not available") << Worlds::unavailable();
        QTest::newRow("nothing at all") << QJsonObject();
        // Enough moving trains for their differences to be made sixteen at a time, and a rest.
        QJsonObject crowd = Worlds::edges();
        QJsonArray trains = crowd["trains"].toArray();
        for (int i = 0; i < 37; ++i)
            trains.append(
                QJsonObject{{"id", 1000 + i}, {"name", QString("T%1").arg(i)}, {"trackId", 1}});
        crowd["trains"] = trains;
        QTest::newRow("a crowd of moving trains") << crowd;
    }

    // Every capture reads back with the very records written, converts to the same map, and a
    // list that does not change is stored only once.
    void roundTrip()
    {
        QFETCH(QJsonObject, world);
        const RecordWorld::World base = RecordWorld::fromJson(world);
        const QString path = m_dir.filePath(QString(QTest::currentDataTag()) + ".zrec");
        constexpr int steps = 6;
        const QByteArray image = QFile::encodeName(path + ".png");
        for (const QByteArray &name : {image, image + '2'}) {
            QFile file(QString::fromUtf8(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(name) == name.size());
        }
        record(path, base, steps, nullptr, image);

        RecordingReader reader(path);
        // As a replay reads it: the image's record names a copy of it.
        RecordingReader copies(path);
        copies.extractImages(m_dir.path(), QString(QTest::currentDataTag()));
        QCOMPARE(qsizetype(reader.captures().size()), steps);
        QCOMPARE(reader.indexAt(0), 0);
        QCOMPARE(reader.indexAt(1000), 4);
        QCOMPARE(reader.indexAt(60000), steps - 2);
        QCOMPARE(reader.indexAt(70000), steps - 1);
        CapturedRecords replayed;
        SnapshotRecords live;
        // In order (each capture from the one before) and backwards (each from its whole lists).
        for (int at = 0; at < 2 * steps; ++at) {
            const int step = at < steps ? at : 2 * steps - 1 - at;
            capture(base, step, live, image);
            reader.load(step, replayed);
            QCOMPARE(replayed.processId, 42u);
            QCOMPARE(fingerprint(replayed.records), fingerprint(live));
            SnapshotRecords shown;
            copyRecords(copies.load(step).records, shown);
            if (shown.textures.count() > 0) {
                SdkSignalTexture &first = const_cast<SdkSignalTexture &>(shown.textures[0]);
                QFile copy(QString::fromUtf8(first.path));
                QVERIFY(copy.open(QIODevice::ReadOnly));
                QCOMPARE(copy.readAll(), QByteArray(live.textures[0].path));
                QVERIFY(copy.fileName() != QString::fromUtf8(live.textures[0].path));
                std::memcpy(first.path, live.textures[0].path, sizeof first.path);
            }
            QCOMPARE(fingerprint(shown), fingerprint(live));
            QCOMPARE(DataMapJson::toJson(convertRecords(replayed.records, 42, ViewParameters{})),
                     DataMapJson::toJson(convertRecords(live, 42, ViewParameters{})));
        }

        Sqlite::Database db;
        db.open(path, SQLITE_OPEN_READONLY, QStringLiteral("test"));
        Sqlite::Statement rows(db, "SELECT list, count(*) FROM lists GROUP BY list");
        QMap<int, qint64> stored;
        while (rows.step())
            stored[int(rows.integer(0))] = rows.integer(1);
        // Tracks change once, stations never; the moving trains are stored at every capture when
        // there are any, else at the first and the key capture only.
        QCOMPARE(stored.value(RecordingFormat::Tracks), 2);
        QCOMPARE(stored.value(RecordingFormat::Stations), 1);
        QCOMPARE(stored.value(RecordingFormat::Trains), base.trains.empty() ? 2 : steps);
        // The reservations that come and go are stored against the previous list in between.
        Sqlite::Statement prefixed(db, "SELECT count(*) FROM lists WHERE delta = 2");
        prefixed.step();
        const bool reserving = base.reservations && !base.reservations->empty();
        QCOMPARE(prefixed.integer(0), reserving ? steps - 2 : 0);
    }

    // The black box drops its oldest captures down to a key capture; the network stored before
    // stays, and every capture kept reads back whole.
    void blackBoxDropsTheOldestCaptures()
    {
        const QString path = m_dir.filePath("blackbox.zrec");
        constexpr qint64 start = 1700000000000, stepMs = 20000;
        RecordingWriter writer(path);
        CapturedRecords captured;
        for (int step = 0; step < 16; ++step) {
            capture(m_world, step, captured.records);
            captured.timeMs = start + step * stepMs;
            writer.append(captured);
        }
        // Key captures every minute: steps 0, 3, 6, 9, 12, 15.
        QCOMPARE(writer.dropBefore(start + 10 * stepMs), 9);
        QCOMPARE(writer.dropOldest(), 3);
        writer.commit();

        RecordingReader reader(path);
        QCOMPARE(qsizetype(reader.captures().size()), 4);
        SnapshotRecords live;
        for (qsizetype i = 0; i < 4; ++i) {
            capture(m_world, int(12 + i), live);
            reader.load(i, captured);
            QCOMPARE(captured.timeMs, start + (12 + i) * stepMs);
            QCOMPARE(fingerprint(captured.records), fingerprint(live));
        }
    }

    void badRecordings_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("error"); // empty: the recording opens
        QTest::addColumn<int>("captures");  // readable captures when it opens

        const auto row = [](const char *tag, const char *damage, const char *error, int captures) {
            QTest::newRow(tag) << QString(damage) << QString(error) << captures;
        };
        row("truncated file", "truncate", "endommagé", 0);
        row("cut in the middle of a transaction", "cut log", "", 3);
        row("flipped bytes in a page", "flip page", "endommagé", 0);
        row("flipped bytes in a compressed block",
            "UPDATE lists SET data = substr(data, 1, length(data) / 2) || CASE WHEN "
            "substr(data, length(data) / 2 + 1, 1) = x'00' THEN x'ff' ELSE x'00' END || "
            "substr(data, length(data) / 2 + 2) WHERE list = 0 AND number = 1",
            "trains de la capture 1 : bloc compressé endommagé", 0);
        row("block beyond its stated size", "expand", "au lieu des", 0);
        row("newer schema", "PRAGMA user_version = 4", "plus récente", 0);
        row("older schema, read as it was",
            "DELETE FROM lists WHERE delta = 2; UPDATE lists SET delta = 1 WHERE delta = 3; "
            "PRAGMA user_version = 1",
            "", 3);
        row("a difference of a form the version lacks (2)", "PRAGMA user_version = 2",
            "trains de la capture 1 : forme de différence 3 inconnue", 0);
        row("a difference of a form the version lacks",
            "UPDATE lists SET delta = 2 WHERE list = 0 AND number = 1; PRAGMA user_version = 1",
            "trains de la capture 1 : forme de différence 2 inconnue", 0);
        row("count against blob size", "UPDATE lists SET count = count + 1 WHERE list = 1",
            "annoncés pour un bloc de", 0);
        row("count beyond the limit",
            "UPDATE lists SET count = 2000000, size = 2000000 * 24 WHERE list = 1",
            "au-delà de la limite", 0);
        row("a list missing", "DELETE FROM lists WHERE list = 2", "liste 2 absente de la capture 0",
            0);
        row("a difference of another count",
            "UPDATE lists SET count = count - 1 WHERE list = 0 AND number = 1",
            "différence de 3 trains pour une liste de 4", 0);
        row("a difference past the list's end", "patch", "différence pour le 100e de 4 trains", 0);
        row("differences without their whole list",
            "DELETE FROM lists WHERE list = 0 AND number = 0", "liste 0 absente de la capture 0",
            0);
        row("not SQLite", "text", "ce n’est pas un fichier SQLite", 0);
        row("not a recording", "DROP TABLE captures; PRAGMA user_version = 0",
            "ce n’est pas un enregistrement", 0);
        row("a folder", "folder", "c’est un dossier", 0);
        row("a FIFO", "fifo", "pas un fichier ordinaire", 0);
        row("no file", "remove", "fichier introuvable", 0);
    }

    // A damaged recording gives one clear error, at opening or at the capture it damages; nothing
    // crashes and nothing is allocated beyond the lists' limits.
    void badRecordings()
    {
        QFETCH(QString, damage);
        QFETCH(QString, error);
        QFETCH(int, captures);
        const QString path = m_dir.filePath(QString(QTest::currentDataTag()) + ".zrec");

        if (damage == "cut log") { // the log cut inside the last transaction
            recordLeftOpen(path, m_world);
            QFile log(path + "-wal");
            QVERIFY(log.resize(log.size() - 100));
        } else if (damage == "folder" || damage == "fifo" || damage == "text") {
            oddFile(damage, path);
        } else if (damage != "remove") {
            record(path, m_world, 3);
            if (damage == "truncate") {
                QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
            } else if (damage == "flip page") {
                for (qint64 offset = 4096; offset < 4096 + 64; offset += 7)
                    flipByte(path, offset);
            } else if (damage == "expand" || damage == "patch") {
                // Sound frames: one of twice the bytes the row states, or a train's difference
                // for the 100th of 4 trains.
                QByteArray bytes(2 * 2 * sizeof(SdkTrack), 'x');
                const char *sql = "UPDATE lists SET data = ?1 WHERE list = 1";
                if (damage == "patch") {
                    const quint32 index = 99;
                    bytes = QByteArray(reinterpret_cast<const char *>(&index), sizeof index) +
                            QByteArray(sizeof(SdkTrain), 'x');
                    sql = "UPDATE lists SET data = ?1, size = 308 WHERE list = 0 AND number = 1";
                }
                Sqlite::Database db;
                db.open(path, SQLITE_OPEN_READWRITE, QStringLiteral("test"));
                Sqlite::Statement update(db, sql);
                update.bindBlob(1, RecordingFormat::compress(bytes.constData(), bytes.size()));
                update.step();
            } else {
                execute(path, damage.toUtf8().constData());
            }
        }

        QString failure;
        int loaded = 0;
        try {
            RecordingReader reader(path);
            CapturedRecords capture;
            for (qsizetype i = 0; i < qsizetype(reader.captures().size()); ++i, ++loaded)
                reader.load(i, capture);
        } catch (const RecordingFormat::Error &thrown) {
            failure = thrown.text();
        }
        if (error.isEmpty()) {
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            QCOMPARE(loaded, captures);
        } else {
            QVERIFY2(failure.contains(error), qPrintable(failure));
            QVERIFY2(failure.startsWith("Enregistrement illisible ("), qPrintable(failure));
        }
    }

    // Captures handed over faster than the writer takes them are dropped beyond its queue, and
    // the status counts them until the next recording: a gap is never kept quiet.
    void recorderSaysWhatItDropped()
    {
        SnapshotRecords records;
        RecordWorld::toRecords(RecordWorld::fromJson(Worlds::edges()), 0, records);
        const SharedCapture capture = shareCapture(records, 1700000000000, 1, 42);
        Recorder recorder;
        QVERIFY2(recorder.start(m_dir.filePath("dropped.zrec")), qPrintable(recorder.status()));
        constexpr int handed = 200;
        for (int i = 0; i < handed; ++i)
            recorder.take(capture);
        recorder.stop();
        const qint64 lost = handed - recorder.captureCount();
        QVERIFY2(lost > 0, "the writer took every capture: nothing tested");
        QCOMPARE(recorder.status(), QStringLiteral("Enregistrement terminé · %1 captures · %2 "
                                                   "captures perdues (écriture trop lente)")
                                        .arg(recorder.captureCount())
                                        .arg(lost));
    }

    // A file that cannot grow (as on a full disk) stops the recording with its reason; what was
    // committed before stays readable.
    void recorderStopsWhenTheFileCannotGrow()
    {
        const QString path = m_dir.filePath("full.zrec");
        RecordWorld::World world = RecordWorld::fromJson(Worlds::edges());
        // Names that do not compress, so that each capture brings new bytes.
        world.trains.resize(200, world.trains.front());
        QRandomGenerator random(7);
        Recorder recorder;
        const auto take = [&](int step) {
            RecordWorld::World moved = world;
            for (SdkTrain &train : moved.trains)
                random.fillRange(reinterpret_cast<quint32 *>(train.name), 64);
            SnapshotRecords records;
            RecordWorld::toRecords(moved, 0, records);
            recorder.take(shareCapture(records, 1700000000000 + step * 250, 1, 42));
        };

        QVERIFY2(recorder.start(path), qPrintable(recorder.status()));
        QVERIFY(recorder.recording());
        take(0);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.committedCount(), 1, 10000);

        // From now on no file of this process may grow past 256 KiB more.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit limit = previous;
        limit.rlim_cur =
            rlim_t(std::max(QFileInfo(path).size(), QFileInfo(path + "-wal").size()) + 256 * 1024);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        for (int step = 1; step < 400 && recorder.recording(); ++step) {
            take(step);
            QTest::qWait(5);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.recording(), 20000);
        setrlimit(RLIMIT_FSIZE, &previous);
        QVERIFY2(recorder.status().startsWith("Enregistrement arrêté : ") &&
                     recorder.status().contains(path),
                 qPrintable(recorder.status()));
        recorder.stop();

        RecordingReader reader(path);
        QVERIFY(!reader.captures().empty());
        CapturedRecords capture;
        reader.load(qsizetype(reader.captures().size()) - 1, capture);
        QCOMPARE(capture.records.trains.count(), 200u);
    }

    void listing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("problem"); // empty: it can be replayed
        const auto row = [](const char *tag, const char *kind, const char *problem) {
            QTest::newRow(tag) << QString(kind) << QString(problem);
        };
        row("a recording", "good", "");
        row("not SQLite", "text", "ce n’est pas un enregistrement (pas un fichier SQLite)");
        row("a newer version", "newer",
            "version 4, plus récente que celle que ce programme lit (3)");
        row("a folder", "folder", "c’est un dossier");
        row("a FIFO", "fifo", "ce n’est pas un fichier ordinaire");
        row("truncated", "truncate", "fichier tronqué");
        row("being written", "writing", "");
    }

    // Each file of the folder is listed with its summary or what is wrong with it, and a file
    // being written is marked so.
    void listing()
    {
        QFETCH(QString, kind);
        QFETCH(QString, problem);
        const QString folder = m_dir.filePath("list-" + kind);
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/r.zrec";
        RecordingWriter *writer = nullptr;
        if (kind == "folder" || kind == "fifo" || kind == "text") {
            oddFile(kind, path);
        } else {
            record(path, m_world, 4, kind == "writing" ? &writer : nullptr);
            if (kind == "newer")
                execute(path, "PRAGMA user_version = 4");
            if (kind == "truncate")
                QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2));
        }
        const std::unique_ptr<RecordingWriter> open(writer);
        QFile(folder + "/notes.txt").open(QIODevice::WriteOnly); // not listed

        const RecordingList::Listing listing = RecordingList::read(folder, {path});
        QVERIFY(listing.error.isEmpty() && !listing.truncated);
        QCOMPARE(listing.entries.size(), std::size_t(1));
        const RecordingList::Entry &entry = listing.entries.front();
        QCOMPARE(entry.fileName, QString("r.zrec"));
        QVERIFY(entry.busy);
        QVERIFY2(problem.isEmpty() ? entry.problem.isEmpty() : entry.problem.startsWith(problem),
                 qPrintable(entry.problem));
        if (problem.isEmpty()) {
            QCOMPARE(entry.captures, 4);
            QCOMPARE(entry.game, QString("PID 42"));
            QCOMPARE(entry.startMs, 1700000000000);
            QCOMPARE(entry.lengthMs, 61750);
            QVERIFY(entry.bytes >= QFileInfo(path).size());
        }
    }

    void renameAndDelete_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QString>("error"); // empty: renamed
        QTest::newRow("a new name") << "gardé" << false << "";
        QTest::newRow("empty") << "" << false << "Le nom est vide";
        QTest::newRow("blank") << "   " << false << "Le nom est vide";
        QTest::newRow("a slash") << "../ailleurs" << false << "ni « / » ni « \\ »";
        QTest::newRow("a backslash") << "a\\b" << false << "ni « / » ni « \\ »";
        QTest::newRow("dot dot") << ".." << false << "commencer par un point";
        QTest::newRow("a reserved character") << "a:b" << false << "caractère de contrôle";
        QTest::newRow("a control character") << "a\nb" << false << "caractère de contrôle";
        QTest::newRow("another recording's name")
            << "autre" << false << "« autre.zrec » existe déjà";
        QTest::newRow("its own name") << "r.zrec" << false << "C’est déjà son nom";
        QTest::newRow("too long") << QString(300, 'a') << false << "trop long";
        QTest::newRow("being written") << "gardé" << true << "en cours d’écriture ou affiché";
    }

    // A bad name renames nothing; a good one takes the recording's log along (a recording left
    // by a killed program keeps its last captures there). Deleting is refused the same way for
    // the file being written, and takes the log along otherwise.
    void renameAndDelete()
    {
        QFETCH(QString, name);
        QFETCH(bool, busy);
        QFETCH(QString, error);
        const QString folder = m_dir.filePath(QString("rename-%1").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/r.zrec";
        recordLeftOpen(path, m_world);
        record(folder + "/autre.zrec", m_world, 2);
        const QStringList busyPaths{busy ? path : QString()};

        const QString result = RecordingList::rename(path, name, busyPaths);
        QVERIFY2(result.contains(error) && result.isEmpty() == error.isEmpty(), qPrintable(result));
        const QString kept = error.isEmpty() ? folder + "/" + name + ".zrec" : path;
        QVERIFY(QFileInfo::exists(kept + "-wal"));
        QCOMPARE(qsizetype(RecordingReader(kept).captures().size()), 4);
        QCOMPARE(qsizetype(RecordingReader(folder + "/autre.zrec").captures().size()), 2);
        QCOMPARE(QDir(folder).entryList({"*.zrec"}).size(), 3);

        QCOMPARE(RecordingList::remove(kept, busyPaths).isEmpty(), !busy);
        QCOMPARE(QFileInfo::exists(kept), busy);
    }

    void recorderRefusesAnExistingOrUnwritableFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        QTest::newRow("existing") << "exists.zrec"
                                  << "le fichier existe déjà";
        QTest::newRow("no such folder") << "missing/folder/a.zrec"
                                        << "unable to open";
    }

    void recorderRefusesAnExistingOrUnwritableFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, error);
        QFile existing(m_dir.filePath("exists.zrec"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("mine");
        existing.close();
        Recorder recorder;
        QVERIFY(!recorder.start(m_dir.filePath(path)));
        QVERIFY(!recorder.recording());
        QVERIFY2(recorder.status().startsWith("Enregistrement impossible dans ") &&
                     recorder.status().contains(error),
                 qPrintable(recorder.status()));
        QFile kept(m_dir.filePath("exists.zrec"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), "mine");
    }
};

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
