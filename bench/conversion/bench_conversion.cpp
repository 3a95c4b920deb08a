// Capture and conversion of a generated world, measured per capture: the library copies into the
// records, the conversion of the records, the release of the previous map, and a plain memcpy of
// the same bytes between two buffers already in memory.
// Usage: bench_conversion [--size small|medium|large] [captures] (run from build/bin, beside
// ZorvyRails.exe and the library).

#include "AlertLog.h"
#include "AttentionMap.h"
#include "AttentionTracker.h"
#include "ClosedImages.h"
#include "DataMapKeys.h"
#include "GameProcess.h"
#include "SdkApi.h"
#include "SdkCopy.h"
#include "SdkLoader.h"
#include "SnapshotConverter.h"
#include "SnapshotRecords.h"

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

// The bytes of the records one capture copies.
quint64 recordBytes(const SnapshotRecords &r)
{
    return quint64(r.trains.count()) * sizeof(SdkTrain) + r.tracks.count() * sizeof(SdkTrack) +
           r.stations.count() * sizeof(SdkStation) + r.signalRecords.count() * sizeof(SdkSignal) +
           r.states.count() * sizeof(SdkSignalState) +
           r.textures.count() * sizeof(SdkSignalTexture) + r.nodes.count() * sizeof(SdkTrackNode) +
           r.path.count() * sizeof(uint64_t) +
           (r.reservations.count() + r.occupations.count()) * sizeof(SdkTrackUsage);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QString size = QStringLiteral("large");
    int captures = 40;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("--size") && i + 1 < argc)
            size = QString::fromLocal8Bit(argv[++i]);
        else
            captures = std::max(3, argument.toInt());
    }

    QString error;
    if (!loadSdk(&error))
        qFatal("%s", qPrintable(error));
    GameProcess game;
    // Every signal with a texture record: the heaviest list, about 65 MB per capture when large.
    const QStringList arguments = {"--size", size, "--seed", "1", "--textures", "all"};
    if (!game.start(arguments, 120000))
        qFatal("game: %s", qPrintable(game.errorString()));
    SdkSession session = 0;
    if (ZorvySdk_OpenProcess(1, quint32(game.processId()), &session) != 0)
        qFatal("no session");
    const quint32 processId = quint32(game.processId());
    const SdkFunctions &library = SdkFunctions::library();

    SnapshotRecords records;
    ViewParameters view; // scope 0, page 0, first positioned train: what the window shows first
    records.capture(library, session, view.train);
    quint64 bytes = recordBytes(records);
    QVariantMap data = convertRecords(records, processId, view);

    // Room for the lists to grow a little as trains move, touched before any timing.
    std::vector<char> source(bytes * 2, 1), target(bytes * 2, 0);
    std::vector<double> captureMs, conversionMs, memcpyMs, releaseMs, attentionMs, alertsMs,
        stateMs, eventWriteMs;
    AlertLog alerts; // what the window's thread does with each map's events
    AttentionTracker attention;
    // No delay: every stopped train outside a station is held or stalled at once, so that its
    // signals are looked at in every capture (the heavier path).
    AttentionTracker::Settings settings;
    settings.stoppedDelayMs = 0;
    attention.setSettings(settings);
    ClosedImages closedImages;
    QElapsedTimer clock;
    clock.start();
    std::vector<double> captureCpuMs, conversionCpuMs, memcpyCpuMs, releaseCpuMs;
    QElapsedTimer timer;
    for (int i = 0; i < captures; ++i) {
        double cpu = threadCpuMs();
        timer.start();
        records.capture(library, session, view.train);
        captureMs.push_back(timer.nsecsElapsed() / 1e6);
        captureCpuMs.push_back(threadCpuMs() - cpu);
        bytes = recordBytes(records);

        cpu = threadCpuMs();
        timer.start();
        QVariantMap next = convertRecords(records, processId, view);
        conversionMs.push_back(timer.nsecsElapsed() / 1e6);
        conversionCpuMs.push_back(threadCpuMs() - cpu);

        // The trains' states and waits, with the data map's part and the log lines.
        cpu = threadCpuMs();
        const qint64 now = clock.elapsed();
        attention.update(records, now,
                         [&](QByteArrayView path) { return closedImages.closed(path, now); });
        stateMs.push_back(threadCpuMs() - cpu);
        const double written = threadCpuMs();
        AttentionMap::write(next, attention, records, {now, now, false});
        attentionMs.push_back(threadCpuMs() - cpu);
        if (i > 0 && !attention.events().empty())
            eventWriteMs.push_back(threadCpuMs() - written);

        // The alerts on the window's thread: the events into the list, and the list read back.
        cpu = threadCpuMs();
        if (alerts.take(next.value(DataMapKeys::attentionEventsKey).toList()))
            alerts.entries();
        alertsMs.push_back(threadCpuMs() - cpu);

        // Dropping the previous map, the last holder of its storage.
        cpu = threadCpuMs();
        timer.start();
        data = std::move(next);
        releaseMs.push_back(timer.nsecsElapsed() / 1e6);
        releaseCpuMs.push_back(threadCpuMs() - cpu);

        bytes = std::min<quint64>(bytes, source.size());
        cpu = threadCpuMs();
        timer.start();
        std::memcpy(target.data(), source.data(), bytes);
        memcpyMs.push_back(timer.nsecsElapsed() / 1e6);
        memcpyCpuMs.push_back(threadCpuMs() - cpu);
        source[i % bytes] = char(target[(i * 7) % bytes] + 1); // keep the copy observable
    }
    ZorvySdk_CloseSession(session);

    out << "world " << size << ": " << data.value("trackCount").toInt() << " tracks, "
        << data.value("signalCount").toInt() << " signals, " << data.value("trainCount").toInt()
        << " trains, " << data.value("stationCount").toInt() << " stations; " << bytes / 1e6
        << " MB of records per capture\n";
    out << "median of " << captures << " captures, ms (wall clock / CPU time of the thread):\n";
    const double capture = median(captureMs), captureCpu = median(captureCpuMs);
    const double conversion = median(conversionMs), conversionCpu = median(conversionCpuMs);
    const double copy = median(memcpyMs), copyCpu = median(memcpyCpuMs);
    std::vector<double> totalMs(captures), totalCpuMs(captures);
    for (int i = 0; i < captures; ++i) {
        totalMs[i] = captureMs[i] + conversionMs[i];
        totalCpuMs[i] = captureCpuMs[i] + conversionCpuMs[i];
    }
    const double total = median(totalMs), totalCpu = median(totalCpuMs);
    out << "  capture (library copies)      " << capture << " / " << captureCpu << "\n";
    out << "  conversion of the records     " << conversion << " / " << conversionCpu << "\n";
    out << "  capture + conversion          " << total << " / " << totalCpu << "\n";
    out << "  trains' states and waits (CPU; max "
        << *std::max_element(attentionMs.begin(), attentionMs.end()) << ")  " << median(attentionMs)
        << "\n";
    out << "  of which the states and the wait relation (CPU; max "
        << *std::max_element(stateMs.begin(), stateMs.end()) << ")  " << median(stateMs) << "\n";
    if (!eventWriteMs.empty())
        out << "  the data map's part and the log lines, captures with events after the first "
            << "(CPU; " << eventWriteMs.size() << " captures)  " << median(eventWriteMs) << "\n";
    out << "  alerts on the window's thread (CPU; max "
        << *std::max_element(alertsMs.begin(), alertsMs.end()) << ")  " << median(alertsMs) << "\n";
    out << "  dropping the previous map     " << median(releaseMs) << " / " << median(releaseCpuMs)
        << "\n";
    out << "  plain memcpy of the same bytes between warm buffers  " << copy << " / " << copyCpu
        << "\n";
    out << "  (capture + conversion) / memcpy   " << total / copy << " / " << totalCpu / copyCpu
        << "\n";
    return 0;
}
