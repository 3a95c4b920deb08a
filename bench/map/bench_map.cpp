// Times the whole-network map as a user meets it: a world of the simulated game (large by
// default, every signal textured), captured and converted as the program does, in a map item of
// 1600 x 900 framed on the whole network (the view every user starts with). Reports the paint
// after a new data map with signal images, with symbols only and with signals hidden, the network
// redraw, and a 200-pixel pan in steps of 10 pixels as a mouse drag gives them, with the exact
// redraw once the view rests; then, with the level of detail by density, each published snapshot
// (taken in and painted) at the whole view and zoomed 4 and 16 times, the images that move after a
// 200-pixel pan, and the resident memory after zooming in and out. Thread CPU time, median of the
// repetitions.
//
// Run: QT_QPA_PLATFORM=offscreen bin/bench_map [small|medium|large] [repetitions]
//      [dense|snapshot|rest]
// (dense: the level of detail by density only; snapshot: only the snapshots at the whole view;
// rest: only the exact paint after a 200-pixel pan at the whole view)
//      bin/bench_map [small|medium|large] [count] pictures DIRECTORY NAME
// (the whole view after each of count data maps, default settings, as DIRECTORY/NAME-i.png; the
// data maps are kept in DIRECTORY and used again by the next run, so that two versions of the
// map can be compared picture by picture)

#include "DataMapKeys.h"
#include "GameProcess.h"
#include "MapItem.h"
#include "MapSignalTable.h"
#include "SdkApi.h"
#include "SdkLoader.h"
#include "SnapshotConverter.h"
#include "TextureLoader.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMap>
#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double medianMs(int repetitions, const std::function<void()> &prepare,
                const std::function<void()> &work)
{
    QVector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        prepare();
        const double start = threadCpuMs();
        work();
        times.append(threadCpuMs() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The paint of each published snapshot (the new data map taken in, then painted) at the whole view
// and zoomed 4 and 16 times on the middle of the network; the images that move after a 200-pixel
// pan once the view rests again; the resident memory after zooming in and out with images.
void zoomedViews(MapItem &item, QPainter &painter, const std::function<void()> &newMap,
                 int repetitions)
{
    item.setSignalLayer(SignalLayer::Auto);
    // The view rests: the exact paint, then the paint that shows the images it asked for, as the
    // item's timer for arriving images gives it, when some were still loading.
    const auto rest = [&] {
        QMetaObject::invokeMethod(&item, "settle");
        item.paint(&painter);
        if (!item.renderer().texturesPending())
            return;
        TextureLoader::shared().waitForIdle(60000);
        item.paint(&painter);
    };
    for (const double zoom : {1.0, 4.0, 16.0}) {
        item.fit();
        item.zoomAt(zoom, 800, 450);
        rest();
        const double perSnapshot = medianMs(
            repetitions, [] {},
            [&] {
                newMap();
                item.paint(&painter);
            });
        const QHash<int, QPointF> before = item.renderer().lastCounts().textureOffsets;
        for (int s = 0; s < 20; ++s) {
            item.moveView(10, 0);
            item.paint(&painter);
        }
        double start = threadCpuMs();
        rest();
        const double settle = threadCpuMs() - start;
        // As this benchmark measured it before: always a second paint.
        start = threadCpuMs();
        item.paint(&painter);
        const double again = threadCpuMs() - start;
        const QHash<int, QPointF> after = item.renderer().lastCounts().textureOffsets;
        int both = 0, moved = 0;
        for (auto image = before.cbegin(); image != before.cend(); ++image) {
            const auto now = after.constFind(image.key());
            if (now == after.cend())
                continue;
            ++both;
            moved += *now != *image;
        }
        std::printf("  zoom %4.0fx: per snapshot %6.2f ms; after a 200 px pan: exact picture "
                    "%6.2f ms (%6.2f with one more paint), %d of %d images still shown moved "
                    "(%.1f %%), %lld shown\n",
                    zoom, perSnapshot, settle, settle + again, moved, both,
                    both ? 100.0 * moved / both : 0.0, qlonglong(after.size()));
    }
    const long startKb = residentKb();
    item.fit();
    rest();
    for (int z = 0; z < 32; ++z) {
        item.zoomAt(z < 16 ? 1.3 : 1 / 1.3, 700 + 13 * (z % 5), 400);
        rest();
    }
    std::printf("  resident memory: %ld MB before, %ld MB after zooming 16 steps in and out\n",
                startKb / 1024, residentKb() / 1024);
}

// The data maps kept in the directory, or these written there for the next run.
void keepMaps(const QString &directory, QVector<QVariantMap> *maps)
{
    QFile file(QDir(directory).filePath(QStringLiteral("maps.bin")));
    if (file.open(QIODevice::ReadOnly)) {
        QDataStream in(&file);
        in >> *maps;
        for (QVariantMap &map : *maps)
            map.insert(DataMapKeys::mapSignalsKey,
                       QVariant::fromValue(MapSignalTable::fromList(
                           map.value(DataMapKeys::mapSignalsKey).toList())));
        return;
    }
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    // The signal table is kept as the list of its entries.
    QVector<QVariantMap> lists = *maps;
    for (QVariantMap &map : lists)
        map.insert(DataMapKeys::mapSignalsKey,
                   MapSignalTable::fromVariant(map.value(DataMapKeys::mapSignalsKey)).toList());
    QDataStream out(&file);
    out << lists;
}

void writePictures(MapItem &item, QPainter &painter, const QVector<QVariantMap> &maps,
                   const QString &directory, const QString &name)
{
    item.setSignalLayer(SignalLayer::Auto);
    for (int i = 0; i < maps.size(); ++i) {
        item.setSnapshotData(maps[i]);
        item.paint(&painter);
        TextureLoader::shared().waitForIdle(60000);
        item.paint(&painter);
        const auto *image = static_cast<const QImage *>(painter.device());
        image->save(QDir(directory).filePath(QStringLiteral("%1-%2.png").arg(name).arg(i)));
    }
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QString size = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("large");
    const int repetitions = argc > 2 ? std::max(1, atoi(argv[2])) : 9;
    // "dense": the level of detail by density only, without the plain drawing's figures.
    const bool denseOnly = argc > 3 && QByteArray(argv[3]) == "dense";

    QString error;
    if (!loadSdk(&error))
        qFatal("%s", qPrintable(error));
    QTemporaryDir textures;
    GameProcess game;
    if (!game.start({QStringLiteral("--size"), size, QStringLiteral("--textures"),
                     QStringLiteral("all"), QStringLiteral("--texture-dir"), textures.path()}))
        qFatal("cannot start the game: %s", qPrintable(game.errorString()));
    SdkSession session = 0;
    const quint32 processId = quint32(game.processId());
    if (ZorvySdk_OpenProcess(1, processId, &session) != 0)
        qFatal("cannot open a session on the game");
    const auto closeSession = qScopeGuard([&] { ZorvySdk_CloseSession(session); });
    // "snapshot": only the snapshots at the whole view with the default drawing, for a profile.
    // "rest": only the exact paint after a 200-pixel pan at the whole view, for a profile.
    const bool restOnly = argc > 3 && QByteArray(argv[3]) == "rest";
    const bool snapshotOnly = restOnly || (argc > 3 && QByteArray(argv[3]) == "snapshot");
    // Successive captures: the trains move between them, as between published snapshots (a
    // profile takes them in turn, which spares it most of the captures).
    QVector<QVariantMap> maps;
    for (int i = 0; i < (snapshotOnly ? std::min(repetitions, 8) : repetitions) + 1; ++i)
        maps.append(convertSnapshot(session, processId, ViewParameters()));

    const bool pictures = argc > 5 && QByteArray(argv[3]) == "pictures";
    if (pictures)
        keepMaps(QString::fromLocal8Bit(argv[4]), &maps);
    MapItem item;
    item.setSize(QSizeF(1600, 900));
    item.setSnapshotData(maps[0]); // frames the whole network
    QImage target(1600, 900, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&target);
    // The hints that Qt Quick gives the painter of an antialiased painted item.
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    // The first paint asks for the signal images; they arrive from the loader's thread, and the
    // paint after that shows them, as the program's window does.
    item.paint(&painter);
    TextureLoader::shared().waitForIdle(60000);
    item.paint(&painter);

    std::printf("%s world: %lld nodes, %d signals, %d trains, %d stations; item 1600 x 900 at the "
                "whole-network view (scale %.5f); thread CPU ms, median of %d\n",
                qPrintable(size), qlonglong(item.network().nodes().size()),
                maps[0].value(QStringLiteral("signalCount")).toInt(),
                maps[0].value(QStringLiteral("trainCount")).toInt(),
                maps[0].value(QStringLiteral("stationCount")).toInt(), item.scale(), repetitions);

    if (pictures) {
        writePictures(item, painter, maps, QString::fromLocal8Bit(argv[4]),
                      QString::fromLocal8Bit(argv[5]));
        return 0;
    }
    if (snapshotOnly) {
        item.setSignalLayer(SignalLayer::Auto);
        item.paint(&painter);
        TextureLoader::shared().waitForIdle(60000);
        int next = 1;
        const auto pan = [&] {
            item.fit();
            item.paint(&painter);
            for (int s = 0; s < 20; ++s) {
                item.moveView(next % 2 ? 10 : -10, 0);
                item.paint(&painter);
            }
            ++next;
            QMetaObject::invokeMethod(&item, "settle");
        };
        const double ms =
            restOnly ? medianMs(repetitions, pan, [&] { item.paint(&painter); })
                     : medianMs(
                           repetitions, [] {},
                           [&] {
                               item.setSnapshotData(maps[1 + (next++ % (maps.size() - 1))]);
                               item.paint(&painter);
                           });
        std::printf(" %s at the whole view: %.2f\n",
                    restOnly ? "exact paint after a 200 px pan" : "per snapshot", ms);
        return 0;
    }
    // Each measure with the plain drawing, then with the level of detail by density, in one run.
    QMap<QString, double> plain;
    for (const bool dense : {false, true}) {
        if (denseOnly && !dense)
            continue;
        QMap<QString, double> results;
        item.setDetailByDensity(dense);
        item.setSignalLayer(0);
        item.fit();
        item.paint(&painter);
        TextureLoader::shared().waitForIdle(60000);
        std::printf(" %s\n", dense ? "level of detail by density:" : "plain drawing:");
        int next = 1;
        const auto newMap = [&] { item.setSnapshotData(maps[1 + (next++ % repetitions)]); };
        const auto paint = [&] { item.paint(&painter); };
        struct Layer
        {
            const char *name;
            int layer;
        };
        double imagesPaint = 0, symbolsPaint = 0;
        for (const Layer &layer :
             {Layer{"images", 0}, Layer{"symbols", 1}, Layer{"hidden", 2}, Layer{"auto", 3}}) {
            item.setSignalLayer(layer.layer);
            paint();
            const double ms = medianMs(repetitions, newMap, paint);
            const MapRenderer::Counts &counts = item.renderer().lastCounts();
            std::printf("  paint after a new data map, signals %-8s %8.2f   (%d images, %d without "
                        "a spot, %d train labels, %d left out, %d station names)\n",
                        layer.name, ms, counts.texturesDrawn, counts.texturesWithoutSpot,
                        counts.trainLabelsDrawn, counts.trainLabelsLeftOut,
                        counts.stationNamesDrawn);
            results[QStringLiteral("paint, signals %1").arg(QLatin1String(layer.name))] = ms;
            if (layer.layer == 0)
                imagesPaint = ms;
            if (layer.layer == 1)
                symbolsPaint = ms;
        }
        std::printf("  images / symbols:                             %8.2f x\n",
                    imagesPaint / symbolsPaint);
        item.setSignalLayer(0);

        // The network drawn again, as after a zoom or a resize (the dynamic layers included).
        const double redraw = medianMs(
            repetitions, [&] { item.fit(); }, paint);
        std::printf("  paint with the network redrawn:               %8.2f\n", redraw);
        results[QStringLiteral("network redrawn")] = redraw;

        // A drag of 200 pixels: twenty moves of 10 pixels, each followed by a paint, then the exact
        // drawing once the view rests. Also with signals hidden, to tell the network's part.
        // The drawing by density is measured as users meet it, in the automatic mode.
        for (const int layer : {dense ? int(SignalLayer::Auto) : 0, 2}) {
            const char *name = layer == 0 ? "images" : layer == 2 ? "hidden" : "auto";
            item.setSignalLayer(layer);
            QVector<double> steps;
            double settle = 0;
            for (int r = 0; r < repetitions; ++r) {
                item.fit();
                paint();
                for (int s = 0; s < 20; ++s) {
                    item.moveView(r % 2 ? 10 : -10, s % 2 ? 3 : -3);
                    const double start = threadCpuMs();
                    paint();
                    steps.append(threadCpuMs() - start);
                }
                // What the end of the movement's timer does: the paint that is no longer moving.
                QMetaObject::invokeMethod(&item, "settle");
                const double start = threadCpuMs();
                paint();
                settle += threadCpuMs() - start;
            }
            // Wheel steps: five zooms in and five out about the middle, each followed by a paint.
            QVector<double> zooms;
            item.fit();
            paint();
            for (int z = 0; z < 10; ++z) {
                item.zoomAt(z < 5 ? 1.3 : 1 / 1.3, 800, 450);
                const double start = threadCpuMs();
                paint();
                zooms.append(threadCpuMs() - start);
            }
            QMetaObject::invokeMethod(&item, "settle");
            std::sort(zooms.begin(), zooms.end());
            std::sort(steps.begin(), steps.end());
            std::printf("  signals %-7s wheel step (median, max):       %6.2f  %6.2f\n", name,
                        zooms[zooms.size() / 2], zooms.back());
            std::printf("  signals %-7s pan step of 10 px (median, max): %6.2f  %6.2f\n", name,
                        steps[steps.size() / 2], steps.back());
            std::printf("  signals %-7s 200 px pan, twenty steps:        %6.2f\n", name,
                        steps[steps.size() / 2] * 20);
            std::printf("  signals %-7s exact redraw when the view rests: %6.2f\n", name,
                        settle / repetitions);
            const QString mode = QLatin1String(name);
            results[QStringLiteral("wheel step, signals %1").arg(mode)] = zooms[zooms.size() / 2];
            results[QStringLiteral("pan step, signals %1").arg(mode)] = steps[steps.size() / 2];
            results[QStringLiteral("exact redraw, signals %1").arg(mode)] = settle / repetitions;
        }
        if (!dense) {
            plain = results;
            continue;
        }
        zoomedViews(item, painter, newMap, repetitions);
        if (denseOnly)
            break;
        std::printf(" by density / plain:\n");
        for (auto result = results.cbegin(); result != results.cend(); ++result) {
            if (!plain.contains(result.key()))
                continue; // measured in the automatic mode only
            std::printf("  %-40s %8.2f x\n", qPrintable(result.key()),
                        result.value() / std::max(plain.value(result.key()), 1e-6));
        }
    }
    std::fflush(stdout);
    return 0;
}
