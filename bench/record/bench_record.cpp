// A recording of a generated world, as the program makes it: one capture every 250 ms, each
// handed over by moving its records (the reader thread's cost) and written with its commit (the
// writer thread's cost); then every capture loaded again at random (the cost of a seek).
// Usage: bench_record [--size small|medium|large] [captures] (run from build/bin, beside
// ZorvyRails.exe and the library).

#include "GameProcess.h"
#include "RecordingReader.h"
#include "RecordingWriter.h"
#include "SdkApi.h"
#include "SdkLoader.h"
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

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QString size = QStringLiteral("medium");
    int captures = 120;
    QString keep;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("--size") && i + 1 < argc)
            size = QString::fromLocal8Bit(argv[++i]);
        else if (argument == QLatin1String("--keep") && i + 1 < argc)
            keep = QString::fromLocal8Bit(argv[++i]);
        else
            captures = std::max(3, argument.toInt());
    }

    QString error;
    if (!loadSdk(&error))
        qFatal("%s", qPrintable(error));
    GameProcess game;
    if (!game.start({"--size", size, "--seed", "1"}, 120000))
        qFatal("game: %s", qPrintable(game.errorString()));
    SdkSession session = 0;
    if (ZorvySdk_OpenProcess(1, quint32(game.processId()), &session) != 0)
        qFatal("no session");

    QTemporaryDir dir;
    const QString path = keep.isEmpty() ? dir.filePath(QStringLiteral("bench.zrec")) : keep;
    std::vector<double> shareMs, writeCpuMs, loadMs;
    {
        RecordingWriter writer(path);
        SnapshotRecords records;
        QElapsedTimer sinceCommit;
        sinceCommit.start();
        for (int i = 0; i < captures; ++i) {
            QElapsedTimer period;
            period.start();
            records.capture(SdkFunctions::library(), session, 0);
            double cpu = threadCpuMs();
            SharedCapture shared = moveToShared(records, QDateTime::currentMSecsSinceEpoch(), 1, 1);
            shareMs.push_back(threadCpuMs() - cpu);
            cpu = threadCpuMs();
            writer.append(std::move(shared));
            if (sinceCommit.elapsed() >= 500) {
                writer.commit();
                sinceCommit.restart();
            }
            writeCpuMs.push_back(threadCpuMs() - cpu);
            QThread::msleep(std::max<qint64>(0, 250 - period.elapsed()));
        }
        writer.commit();
    }
    ZorvySdk_CloseSession(session);

    RecordingReader reader(path);
    CapturedRecords capture;
    for (int i = 0; i < captures; ++i) {
        const double cpu = threadCpuMs();
        reader.load(QRandomGenerator::global()->bounded(captures), capture);
        loadMs.push_back(threadCpuMs() - cpu);
    }

    const qint64 bytes = QFileInfo(path).size();
    // After the first capture, which holds the whole network: what each further capture adds.
    Sqlite::Database db;
    db.open(path, SQLITE_OPEN_READONLY, QStringLiteral("bench"));
    Sqlite::Statement later(db, "SELECT sum(length(data)) FROM lists WHERE number > 0");
    later.step();
    const qint64 laterBytes = later.integer(0);
    out << "world " << size << ", " << captures << " captures every 250 ms: " << bytes << " bytes, "
        << bytes / captures << " bytes per capture, " << double(bytes) / captures * 4 * 3600 / 1e6
        << " MB per hour; after the first capture " << laterBytes / (captures - 1)
        << " bytes of lists per capture, " << double(laterBytes) / (captures - 1) * 4 * 3600 / 1e6
        << " MB per hour\n";
    out << "median CPU ms per capture: shared copy (reader thread) " << median(shareMs)
        << ", write and commit (writer thread) " << median(writeCpuMs)
        << ", load of a capture at random " << median(loadMs) << "\n";
    return 0;
}
