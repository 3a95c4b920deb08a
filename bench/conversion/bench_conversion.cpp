// Conversion of the large generated world, measured per capture: the library copies alone, the
// whole conversion, and a plain memcpy of the same bytes between two buffers already in memory.
// Usage: bench_conversion [captures] (run from build/bin, beside ZorvyRails.exe and the library).

#include "GameProcess.h"
#include "SdkApi.h"
#include "SdkCopy.h"
#include "SdkLoader.h"
#include "SnapshotConverter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// CPU time of this thread: on a shared machine the wall clock also counts the time spent waiting
// for a core.
double threadCpuMs()
{
#ifdef Q_OS_WIN
    return QDateTime::currentMSecsSinceEpoch(); // no portable thread clock there: wall time
#else
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
#endif
}

// The library's part of a capture: capture, every list by the copy protocol into buffers kept
// across captures (as the conversion keeps them), release. Returns the bytes copied.
struct LibraryCopies : SnapshotRecords
{
    SdkCopy::RecordBuffer<SdkTrackUsage> reservations;
    SdkCopy::RecordBuffer<SdkTrackUsage> occupations;

    quint64 run(SdkSession session)
    {
        SdkSnapshot snapshot = 0;
        if (ZorvySdk_CaptureSnapshot(session, &snapshot) != 0)
            qFatal("capture failed");
        copyLists(snapshot);
        SdkCopy::copy(nodes, SdkCopy::listOf(snapshot, &ZorvySdk_CopyTrackNodes));
        uint32_t probe = 0;
        if (ZorvySdk_CopyTrackReservations(snapshot, nullptr, 0, &probe) == 0)
            SdkCopy::copy(reservations, SdkCopy::listOf(snapshot, &ZorvySdk_CopyTrackReservations));
        if (ZorvySdk_CopyTrackOccupations(snapshot, nullptr, 0, &probe) == 0)
            SdkCopy::copy(occupations, SdkCopy::listOf(snapshot, &ZorvySdk_CopyTrackOccupations));
        ZorvySdk_ReleaseSnapshot(snapshot);
        return quint64(trains.count()) * sizeof(SdkTrain) + tracks.count() * sizeof(SdkTrack) +
               stations.count() * sizeof(SdkStation) + signalRecords.count() * sizeof(SdkSignal) +
               states.count() * sizeof(SdkSignalState) +
               textures.count() * sizeof(SdkSignalTexture) + nodes.count() * sizeof(SdkTrackNode) +
               (reservations.count() + occupations.count()) * sizeof(SdkTrackUsage);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int captures = argc > 1 ? std::max(3, atoi(argv[1])) : 40;

    QString error;
    if (!loadSdk(&error))
        qFatal("%s", qPrintable(error));
    GameProcess game;
    // Every signal with a texture record: the heaviest list, about 65 MB per capture.
    const QStringList arguments = {"--size", "large", "--seed", "1", "--textures", "all"};
    if (!game.start(arguments, 120000))
        qFatal("game: %s", qPrintable(game.errorString()));
    SdkSession session = 0;
    if (ZorvySdk_OpenProcess(1, quint32(game.processId()), &session) != 0)
        qFatal("no session");

    LibraryCopies copies;
    ViewParameters view; // scope 0, page 0, first positioned train: what the window shows first
    quint64 bytes = copies.run(session);
    QVariantMap data = convertSnapshot(session, quint32(game.processId()), view);

    // Room for the lists to grow a little as trains move, touched before any timing.
    std::vector<char> source(bytes * 2, 1), target(bytes * 2, 0);
    std::vector<double> copyMs, conversionMs, memcpyMs, copyCpuMs, conversionCpuMs, memcpyCpuMs;
    QElapsedTimer timer;
    for (int i = 0; i < captures; ++i) {
        double cpu = threadCpuMs();
        timer.start();
        bytes = copies.run(session);
        copyMs.push_back(timer.nsecsElapsed() / 1e6);
        copyCpuMs.push_back(threadCpuMs() - cpu);

        cpu = threadCpuMs();
        timer.start();
        data = convertSnapshot(session, quint32(game.processId()), view);
        conversionMs.push_back(timer.nsecsElapsed() / 1e6);
        conversionCpuMs.push_back(threadCpuMs() - cpu);
        data.clear(); // freed here, as the GUI thread frees the previous map, outside the timing

        bytes = std::min<quint64>(bytes, source.size());
        cpu = threadCpuMs();
        timer.start();
        std::memcpy(target.data(), source.data(), bytes);
        memcpyMs.push_back(timer.nsecsElapsed() / 1e6);
        memcpyCpuMs.push_back(threadCpuMs() - cpu);
        source[i % bytes] = char(target[(i * 7) % bytes] + 1); // keep the copy observable
    }
    data = convertSnapshot(session, quint32(game.processId()), view);
    ZorvySdk_CloseSession(session);

    const double copiesMedian = median(copyMs);
    const double conversionMedian = median(conversionMs);
    const double memcpyMedian = median(memcpyMs);
    out << "world: " << data.value("trackCount").toInt() << " tracks, "
        << data.value("signalCount").toInt() << " signals, " << data.value("trainCount").toInt()
        << " trains, " << data.value("stationCount").toInt() << " stations; " << bytes / 1e6
        << " MB of records per capture\n";
    const double copiesCpu = median(copyCpuMs);
    const double conversionCpu = median(conversionCpuMs);
    out << "median of " << captures << " captures, ms (wall clock / CPU time of the thread):\n";
    out << "  whole conversion      " << conversionMedian << " / " << conversionCpu << "\n";
    out << "  library copies        " << copiesMedian << " / " << copiesCpu << "\n";
    out << "  building of the map   " << conversionMedian - copiesMedian << " / "
        << conversionCpu - copiesCpu << "\n";
    const double memcpyCpu = median(memcpyCpuMs);
    out << "  plain memcpy of the same bytes between warm buffers  " << memcpyMedian << " / "
        << memcpyCpu << "\n";
    out << "  conversion / memcpy   " << conversionMedian / memcpyMedian << " / "
        << conversionCpu / memcpyCpu << "\n";
    return 0;
}
