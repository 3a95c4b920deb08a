// A recording of a generated world, as the program makes it: one capture every 250 ms, each
// handed over by moving its records (the reader thread's cost) and written with its commit (the
// writer thread's cost); then captures loaded again and converted: at random times (a seek) and
// one after the other for as long as a key interval (playing).
// Usage: bench_record [--size small|medium|large] [--keep FILE] [--accelerated] [captures]
//        bench_record --open FILE (measures the loads of an existing recording)
// (run from build/bin, beside ZorvyRails.exe and the library). --accelerated takes the captures
// one after the other without waiting and stamps them 250 ms apart, so that an hour of recording
// (14,400 captures) is made in minutes; the game moves less between two of them than it would.

#include "GameProcess.h"
#include "RecordingReader.h"
#include "RecordingWriter.h"
#include "SdkApi.h"
#include "SdkLoader.h"
#include "SnapshotConverter.h"
#include "SnapshotRecords.h"
#include "Sqlite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <ctime>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double maximum(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Options
{
    QString size = QStringLiteral("medium");
    int captures = 120;
    QString keep, open;
    bool accelerated = false;
};

// Records the game's world into path; returns the writer's CPU ms per capture and prints the rest.
void record(const Options &options, const QString &path, QTextStream &out)
{
    QString error;
    if (!loadSdk(&error))
        qFatal("%s", qPrintable(error));
    GameProcess game;
    if (!game.start({"--size", options.size, "--seed", "1"}, 120000))
        qFatal("game: %s", qPrintable(game.errorString()));
    SdkSession session = 0;
    if (ZorvySdk_OpenProcess(1, quint32(game.processId()), &session) != 0)
        qFatal("no session");
    std::vector<double> shareMs, writeCpuMs;
    {
        RecordingWriter writer(path);
        SnapshotRecords records;
        qint64 recordedMs = QDateTime::currentMSecsSinceEpoch(), lastCommitMs = recordedMs;
        for (int i = 0; i < options.captures; ++i) {
            QElapsedTimer period;
            period.start();
            // As the reader does: the memory of a capture the writer let go goes round.
            reuseSharedMemory(records);
            records.capture(SdkFunctions::library(), session, 0);
            recordedMs =
                options.accelerated ? recordedMs + 250 : QDateTime::currentMSecsSinceEpoch();
            double cpu = threadCpuMs();
            SharedCapture shared = moveToShared(records, recordedMs, 1, 1);
            shareMs.push_back(threadCpuMs() - cpu);
            cpu = threadCpuMs();
            writer.append(std::move(shared));
            if (recordedMs - lastCommitMs >= 500) {
                writer.commit();
                lastCommitMs = recordedMs;
            }
            writeCpuMs.push_back(threadCpuMs() - cpu);
            if (!options.accelerated)
                QThread::msleep(std::max<qint64>(0, 250 - period.elapsed()));
        }
        writer.commit();
    }
    ZorvySdk_CloseSession(session);

    const qint64 bytes = QFileInfo(path).size();
    const int captures = options.captures;
    // After the first capture, which holds the whole network: what each further capture adds.
    Sqlite::Database db;
    db.open(path, SQLITE_OPEN_READONLY, QStringLiteral("bench"));
    Sqlite::Statement later(db, "SELECT sum(length(data)) FROM lists WHERE number > 0");
    later.step();
    const qint64 laterBytes = later.integer(0);
    out << "world " << options.size << ", " << captures << " captures every 250 ms"
        << (options.accelerated ? " (accelerated)" : "") << ": " << bytes << " bytes, "
        << bytes / captures << " bytes per capture, " << double(bytes) / captures * 4 * 3600 / 1e6
        << " MB per hour; after the first capture " << laterBytes / (captures - 1)
        << " bytes of lists per capture, " << double(laterBytes) / (captures - 1) * 4 * 3600 / 1e6
        << " MB per hour\n";
    out << "median CPU ms per capture: shared copy (reader thread) " << median(shareMs)
        << ", write and commit (writer thread) " << median(writeCpuMs) << " (max "
        << maximum(writeCpuMs) << ")\n";
}

// Loads and converts captures of the recording as a replay does: at random (a seek, wall time on
// a reader already open) and in order over a key interval (playing).
void replay(const QString &path, QTextStream &out)
{
    QElapsedTimer opening;
    opening.start();
    RecordingReader reader(path);
    const double openMs = opening.nsecsElapsed() / 1e6;
    const qsizetype count = qsizetype(reader.captures().size());
    // As a replay shows them: the texture records name copies of the images kept.
    QTemporaryDir images;
    reader.extractImages(images.path(), QString());
    QRandomGenerator random(7); // the same times for every run
    // Wall time of the load and conversion, and the thread's CPU time of each.
    struct Times
    {
        std::vector<double> wall, readCpu, convertCpu;
    } seek, play;
    auto show = [&reader](qsizetype index, Times &times) {
        QElapsedTimer wall;
        wall.start();
        const double start = threadCpuMs();
        const CapturedRecords &capture = reader.load(index);
        const double read = threadCpuMs();
        convertRecords(capture.records, 1, ViewParameters{});
        times.readCpu.push_back(read - start);
        times.convertCpu.push_back(threadCpuMs() - read);
        times.wall.push_back(wall.nsecsElapsed() / 1e6);
    };
    for (int i = 0; i < 40; ++i)
        show(reader.indexAt(random.bounded(qint64(count) * 250)), seek);
    // The interval before the last key capture: the longest rebuilds, in order.
    const qsizetype from = std::max<qsizetype>(0, count - 481);
    for (qsizetype i = from; i < std::min<qsizetype>(count, from + 240); ++i)
        show(i, play);
    const auto late = std::count_if(play.wall.begin(), play.wall.end(), [](double ms) {
        return ms > 1000.0 / 64; // x16: 64 captures a second
    });
    out << count << " captures; opening " << openMs << " ms; seek (load and convert, wall ms): "
        << "median " << median(seek.wall) << ", max " << maximum(seek.wall)
        << " (the first, which pays the lists' page faults: " << seek.wall.front()
        << "; of the others: " << maximum({seek.wall.begin() + 1, seek.wall.end()}) << ")"
        << "; playing in order: median " << median(play.wall) << ", max " << maximum(play.wall)
        << ", " << late << " of " << play.wall.size() << " over the 15.6 ms of x16\n";
    out << "thread CPU ms, median (max): seek reading " << median(seek.readCpu) << " ("
        << maximum(seek.readCpu) << "), converting " << median(seek.convertCpu)
        << "; playing reading " << median(play.readCpu) << " (" << maximum(play.readCpu)
        << "), converting " << median(play.convertCpu) << "\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("--size") && i + 1 < argc)
            options.size = QString::fromLocal8Bit(argv[++i]);
        else if (argument == QLatin1String("--keep") && i + 1 < argc)
            options.keep = QString::fromLocal8Bit(argv[++i]);
        else if (argument == QLatin1String("--open") && i + 1 < argc)
            options.open = QString::fromLocal8Bit(argv[++i]);
        else if (argument == QLatin1String("--accelerated"))
            options.accelerated = true;
        else
            options.captures = std::max(3, argument.toInt());
    }
    QTemporaryDir dir;
    QString path = options.open;
    if (path.isEmpty()) {
        path = options.keep.isEmpty() ? dir.filePath(QStringLiteral("bench.zrec")) : options.keep;
        record(options, path, out);
        out.flush();
    }
    replay(path, out);
    return 0;
}
