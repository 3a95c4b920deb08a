// Capture time and snapshot size of a simulated world, seen through the stand-in library the way
// the panel sees it: capture, every list by the copy protocol, release. Also the game's own CPU
// share while it publishes. Optionally draws the network with its trains into a PNG.
//
//   bench_simcapture [--size small|medium|large] [--captures N] [--render FILE.png]

#include "../../tests/sim/SdkCalls.h"
#include "GameProcess.h"
#include "SdkLoader.h"
#include "SharedWorldLayout.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <numeric>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// User plus system clock ticks the process has used so far.
qint64 cpuTicks(qint64 processId)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(processId));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // Fields 14 and 15 of the line are utime and stime; the split starts at field 3.
    return fields.size() > 13 ? fields[11].toLongLong() + fields[12].toLongLong() : 0;
}

// What the game's region header says: the last frame's number and the bytes of the static block
// and of that frame, which is what a snapshot of the library holds.
struct RegionFigures
{
    uint64_t latestFrame = 0;
    uint64_t staticBytes = 0;
    uint64_t frameBytes = 0;
};

RegionFigures regionFigures(qint64 processId)
{
    RegionFigures figures;
    const int fd = ::shm_open(SharedWorld::regionName(uint32_t(processId)).c_str(), O_RDONLY, 0);
    if (fd < 0)
        return figures;
    void *mapping =
        ::mmap(nullptr, sizeof(SharedWorld::RegionHeader), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapping == MAP_FAILED)
        return figures;
    const auto *header = static_cast<const SharedWorld::RegionHeader *>(mapping);
    figures.latestFrame = header->latestFrame.load();
    figures.staticBytes = header->staticArea.used;
    figures.frameBytes = header->frameSlots[figures.latestFrame % SharedWorld::SlotCount].used;
    ::munmap(mapping, sizeof(SharedWorld::RegionHeader));
    return figures;
}

struct Capture
{
    double captureMs = 0;
    double copyMs = 0;
    qint64 bytes = 0;
    qint64 texturesBytes = 0;
    double texturesMs = 0;
    double warmTexturesMs = 0;
};

template <typename Record> qint64 copyBytes(SdkCopyFn<Record> copy, SdkSnapshot snapshot)
{
    SdkStatus status = 0;
    const auto records = copyAll(copy, snapshot, &status);
    if (status != 0 && status != 8)
        qFatal("copy failed: %s", qPrintable(statusText(status)));
    return qint64(records.size() * sizeof(Record));
}

void render(SdkSnapshot snapshot, const QString &file)
{
    SdkStatus status = 0;
    const auto nodes = copyAll(&ZorvySdk_CopyTrackNodes, snapshot, &status);
    const auto trains = copyAll(&ZorvySdk_CopyTrains, snapshot, &status);
    const auto occupations = copyAll(&ZorvySdk_CopyTrackOccupations, snapshot, &status);
    if (nodes.empty())
        return;
    QHash<uint64_t, QPointF> at;
    double minX = nodes[0].x, maxX = minX, minY = nodes[0].y, maxY = minY;
    for (const SdkTrackNode &node : nodes) {
        at.insert(node.id, QPointF(node.x, node.y));
        minX = std::min(minX, node.x), maxX = std::max(maxX, node.x);
        minY = std::min(minY, node.y), maxY = std::max(maxY, node.y);
    }
    const int size = 2400;
    const double scale = (size - 40) / std::max(maxX - minX, maxY - minY);
    auto map = [&](QPointF p) {
        return QPointF(20 + (p.x() - minX) * scale, size - 20 - (p.y() - minY) * scale);
    };
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 245));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QHash<uint64_t, QSet<uint64_t>> linked; // links counted once, whichever side names them
    painter.setPen(QPen(QColor(60, 60, 70), 1.2));
    for (const SdkTrackNode &node : nodes) {
        for (uint64_t neighbour : {node.neighbour1, node.neighbour2}) {
            const auto it = at.constFind(neighbour);
            if (it == at.constEnd())
                continue;
            painter.drawLine(map(QPointF(node.x, node.y)), map(*it));
            linked[node.id].insert(neighbour);
            linked[neighbour].insert(node.id);
        }
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 120, 220));
    for (auto it = linked.constBegin(); it != linked.constEnd(); ++it) {
        if (it.value().size() >= 3)
            painter.drawEllipse(map(at.value(it.key())), 2.5, 2.5);
    }
    painter.setBrush(QColor(230, 120, 20));
    for (const SdkTrackUsage &usage : occupations)
        painter.drawEllipse(map(at.value(usage.trackId)), 4, 4);
    painter.setBrush(QColor(220, 30, 30));
    for (const SdkTrain &train : trains) {
        if (train.flags & SdkTrainPositioned)
            painter.drawEllipse(map(at.value(train.trackId)), 6, 6);
    }
    painter.end();
    image.save(file);
    std::printf("map drawn into %s\n", qPrintable(file));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("World size."),
                                        QStringLiteral("size"), QStringLiteral("large"));
    const QCommandLineOption capturesOption(QStringLiteral("captures"),
                                            QStringLiteral("Captures to time."),
                                            QStringLiteral("n"), QStringLiteral("40"));
    const QCommandLineOption renderOption(QStringLiteral("render"),
                                          QStringLiteral("Draw the network into this PNG."),
                                          QStringLiteral("file"));
    parser.addOptions({sizeOption, capturesOption, renderOption});
    parser.process(app);

    QString error;
    if (!loadSdk(&error))
        qFatal("%s", qPrintable(error));
    GameProcess game;
    QElapsedTimer startTimer;
    startTimer.start();
    if (!game.start({QStringLiteral("--size"), parser.value(sizeOption),
                     QStringLiteral("--textures"), QStringLiteral("all")},
                    120000))
        qFatal("%s", qPrintable(game.errorString()));
    const qint64 readyMs = startTimer.elapsed();

    ScopedSession session;
    if (session.open(game.processId()) != 0)
        qFatal("cannot open the game");
    const int captures = std::max(1, parser.value(capturesOption).toInt());
    const qint64 cpuBefore = cpuTicks(game.processId());
    const RegionFigures before = regionFigures(game.processId());
    QElapsedTimer wall;
    wall.start();
    std::vector<Capture> results;
    for (int i = 0; i < captures; ++i) {
        Capture result;
        QElapsedTimer timer;
        timer.start();
        ScopedSnapshot snapshot;
        if (snapshot.capture(session.handle) != 0)
            qFatal("capture failed");
        result.captureMs = timer.nsecsElapsed() / 1e6;
        timer.restart();
        result.bytes += copyBytes(&ZorvySdk_CopyTrains, snapshot.handle);
        result.bytes += copyBytes(&ZorvySdk_CopyTracks, snapshot.handle);
        result.bytes += copyBytes(&ZorvySdk_CopyStations, snapshot.handle);
        result.bytes += copyBytes(&ZorvySdk_CopySignals, snapshot.handle);
        result.bytes += copyBytes(&ZorvySdk_CopySignalStates, snapshot.handle);
        QElapsedTimer texturesTimer;
        texturesTimer.start();
        result.texturesBytes = copyBytes(&ZorvySdk_CopySignalTextures, snapshot.handle);
        result.texturesMs = texturesTimer.nsecsElapsed() / 1e6;
        {
            // The library's own share: a second fill into a buffer whose pages are already there.
            uint32_t count = 0;
            ZorvySdk_CopySignalTextures(snapshot.handle, nullptr, 0, &count);
            static std::vector<SdkSignalTexture> warm;
            warm.resize(count);
            ZorvySdk_CopySignalTextures(snapshot.handle, warm.data(), count, &count);
            texturesTimer.restart();
            ZorvySdk_CopySignalTextures(snapshot.handle, warm.data(), count, &count);
            result.warmTexturesMs = texturesTimer.nsecsElapsed() / 1e6;
        }
        result.bytes += result.texturesBytes;
        result.bytes += copyBytes(&ZorvySdk_CopyTrackNodes, snapshot.handle);
        result.bytes += copyBytes(&ZorvySdk_CopyTrackReservations, snapshot.handle);
        result.bytes += copyBytes(&ZorvySdk_CopyTrackOccupations, snapshot.handle);
        result.copyMs = timer.nsecsElapsed() / 1e6;
        results.push_back(result);
        if (i + 1 == captures && parser.isSet(renderOption))
            render(snapshot.handle, parser.value(renderOption));
        QThread::msleep(250); // the panel's pace
    }
    const double seconds = wall.elapsed() / 1000.0;
    const RegionFigures after = regionFigures(game.processId());
    const double publicationRate = (after.latestFrame - before.latestFrame) / seconds;
    const double cpuShare =
        (cpuTicks(game.processId()) - cpuBefore) / double(sysconf(_SC_CLK_TCK)) / seconds;

    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    std::vector<double> captureMs, copyMs, texturesMs, warmTexturesMs;
    for (const Capture &r : results) {
        captureMs.push_back(r.captureMs);
        copyMs.push_back(r.copyMs);
        texturesMs.push_back(r.texturesMs);
        warmTexturesMs.push_back(r.warmTexturesMs);
    }
    std::printf("world %s: ready after %lld ms\n", qPrintable(parser.value(sizeOption)), readyMs);
    std::printf("capture (library copy of one state): median %.2f ms, max %.2f ms\n",
                median(captureMs), *std::max_element(captureMs.begin(), captureMs.end()));
    std::printf("all nine lists by the copy protocol: median %.2f ms, max %.2f ms\n",
                median(copyMs), *std::max_element(copyMs.begin(), copyMs.end()));
    std::printf("  of which signal textures: median %.2f ms (a fill into a warm buffer: %.2f ms)\n",
                median(texturesMs), median(warmTexturesMs));
    std::printf("snapshot as records: %.1f MB, of which signal textures %.1f MB\n",
                results.back().bytes / 1e6, results.back().texturesBytes / 1e6);
    std::printf("held by the library: %.1f MB per snapshot, plus %.1f MB of network shared by the "
                "snapshots of a session\n",
                after.frameBytes / 1e6, after.staticBytes / 1e6);
    std::printf("game CPU while publishing: %.1f %% of one core, %.1f publications a second\n",
                cpuShare * 100, publicationRate);
    return 0;
}
