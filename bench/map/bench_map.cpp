// Times the map item on a large-world-sized network (100,000 nodes, about 33,000 signals, every
// signal on screen): the redraw of the network image, the paint of the dynamic layers after a new
// data map and a repaint without one, and the work of taking a data map over.
// Run: QT_QPA_PLATFORM=offscreen bin/bench_map [repetitions]

#include "GeometryBlob.h"
#include "MapItem.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

constexpr int columns = 400;
constexpr int rows = 250; // 100,000 nodes
constexpr double spacing = 40;

QString idText(quint64 id)
{
    return QStringLiteral("%1").arg(id, 16, 16, QLatin1Char('0')).toUpper();
}

quint64 nodeId(int row, int column)
{
    return 0x100000000ull + quint64(row) * columns + quint64(column);
}

// Rows of track, each node linked to the next one; every eighth node also links to the node
// below, which makes junctions.
QByteArray largeGeometry()
{
    QVector<SdkTrackNode> nodes;
    nodes.reserve(rows * columns);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            SdkTrackNode node{};
            node.id = nodeId(r, c);
            node.neighbour1 = c + 1 < columns ? nodeId(r, c + 1) : 0;
            node.neighbour2 = (c % 8 == 0 && r + 1 < rows) ? nodeId(r + 1, c) : 0;
            node.x = c * spacing + (r % 3) * 7.0;
            node.y = -r * spacing * 1.6;
            nodes.append(node);
        }
    }
    return GeometryBlob::fromNodes(nodes.constData(), nodes.size());
}

enum class SignalLook { Symbols, SymbolsWithStates, Textures };

QVariantMap largeData(const QByteArray &geometry, SignalLook look, const QStringList &textures)
{
    QVariantList signalList;
    for (int i = 0; i < rows * columns; i += 3) {
        const bool withState = look != SignalLook::Symbols;
        signalList.append(QVariantMap{
            {QStringLiteral("track"), idText(nodeId(i / columns, i % columns))},
            {QStringLiteral("balise"), i % 7 == 0},
            {QStringLiteral("marker"), i % 11 == 0},
            {QStringLiteral("stateAvailable"), withState},
            {QStringLiteral("textureState"), i % 5},
            {QStringLiteral("texturePath"),
             look == SignalLook::Textures ? textures[i % textures.size()] : QString()}});
    }
    QVariantList trains;
    QVariantList occupations;
    for (int i = 0; i < 2000; ++i) {
        const quint64 track = nodeId((i * 37) % rows, (i * 101) % columns);
        trains.append(QVariantMap{{QStringLiteral("id"), idText(i + 1)},
                                  {QStringLiteral("name"), QStringLiteral("Train %1").arg(i)},
                                  {QStringLiteral("positioned"), true},
                                  {QStringLiteral("track"), idText(track)},
                                  {QStringLiteral("fraction"), 0.5}});
        occupations.append(QVariantMap{{QStringLiteral("train"), idText(i + 1)},
                                       {QStringLiteral("track"), idText(track)}});
    }
    QVariantList reservations;
    QVariantList path;
    for (int c = 0; c < 300; ++c) {
        reservations.append(QVariantMap{{QStringLiteral("train"), idText(1)},
                                        {QStringLiteral("track"), idText(nodeId(0, c))}});
        path.append(idText(nodeId(1, c)));
    }
    return QVariantMap{{QStringLiteral("live"), true},
                       {QStringLiteral("mapGeometry"), geometry},
                       {QStringLiteral("mapSignals"), signalList},
                       {QStringLiteral("trains"), trains},
                       {QStringLiteral("selectedTrainId"), idText(1)},
                       {QStringLiteral("mapPath"), path},
                       {QStringLiteral("pathAvailable"), true},
                       {QStringLiteral("pathStale"), false},
                       {QStringLiteral("usageStale"), false},
                       {QStringLiteral("reservationsAvailable"), true},
                       {QStringLiteral("mapReservations"), reservations},
                       {QStringLiteral("occupationsAvailable"), true},
                       {QStringLiteral("mapOccupations"), occupations}};
}

// Processor time of this thread: the machine is shared, and wall time would count the others.
// Where the POSIX clock is missing, wall time stands in.
double threadCpuMs()
{
#ifdef Q_OS_WIN
    static QElapsedTimer wall;
    if (!wall.isValid())
        wall.start();
    return wall.nsecsElapsed() / 1e6;
#else
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
#endif
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

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, atoi(argv[1])) : 7;

    QTemporaryDir dir;
    QStringList textures;
    for (int i = 0; i < 8; ++i) {
        QImage image(128, 96, QImage::Format_ARGB32);
        image.fill(QColor::fromHsv(i * 40, 200, 220));
        textures.append(dir.filePath(QStringLiteral("signal%1.png").arg(i)));
        image.save(textures.last(), "PNG");
    }

    const QByteArray geometry = largeGeometry();
    QImage target(1600, 900, QImage::Format_ARGB32_Premultiplied);

    struct Case
    {
        const char *name;
        SignalLook look;
        double zoom;
    };
    const Case cases[] = {
        {"fallback symbols, no states (fit, scale below the label thresholds)", SignalLook::Symbols,
         1.0},
        {"fallback symbols with E labels (zoomed to scale above 0.08)",
         SignalLook::SymbolsWithStates, 2.0},
        {"textures (8 files, placement and leader lines)", SignalLook::Textures, 1.0},
        {"textures, zoomed in 8 times (about 1/64 of the network on screen)", SignalLook::Textures,
         8.0},
    };

    std::printf("large world: %d nodes, %d signals, 2000 trains, item 1600 x 900, median of %d, "
                "thread CPU time\n",
                rows * columns, (rows * columns + 2) / 3, repetitions);
    // An optional second argument runs only the case with that number (1 to 4).
    const int only = argc > 2 ? atoi(argv[2]) : 0;
    int number = 0;
    for (const Case &c : cases) {
        if (only != 0 && ++number != only)
            continue;
        MapItem item;
        item.setSize(QSizeF(1600, 900));
        const QVariantMap data = largeData(geometry, c.look, textures);
        const double takeStart = threadCpuMs();
        item.setSnapshotData(data);
        const double takeNewGeometry = threadCpuMs() - takeStart;
        item.setShowCalculatedPath(true);
        if (c.zoom != 1.0)
            item.zoomAt(c.zoom, 800, 450);
        QPainter painter(&target);
        // The hints that Qt Quick gives the painter of an antialiased painted item.
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                               QPainter::SmoothPixmapTransform);
        item.paint(&painter); // fills the texture cache

        // A new data map of the same network, in a new buffer as every capture brings.
        const QByteArray sameBytes(geometry.constData(), geometry.size());
        QVariantMap next = data;
        next.insert(QStringLiteral("mapGeometry"), sameBytes);

        const double redraw = medianMs(
            repetitions, [&] { item.moveView(0, 0); }, [&] { item.paint(&painter); });
        const double takeSame = medianMs(
            repetitions, [] {}, [&] { item.setSnapshotData(next); });
        const double readLayers = medianMs(
            repetitions, [] {}, [&] { MapOverlay::read(next, item.network()); });
        const double firstPaint = medianMs(
            repetitions, [&] { item.setSnapshotData(next); }, [&] { item.paint(&painter); });
        // Moving trains: every train's fraction, hence its label, changes with each data map.
        QVector<QVariantMap> moved;
        for (int r = 0; r < repetitions; ++r) {
            QVariantMap map = next;
            QVariantList trains = map.value(QStringLiteral("trains")).toList();
            for (QVariant &entry : trains) {
                QVariantMap train = entry.toMap();
                train.insert(QStringLiteral("fraction"), 0.1 + 0.001 * (r + 1));
                entry = train;
            }
            map.insert(QStringLiteral("trains"), trains);
            moved.append(map);
        }
        int movedIndex = 0;
        const double movedPaint = medianMs(
            repetitions, [&] { item.setSnapshotData(moved[movedIndex++]); },
            [&] { item.paint(&painter); });
        const double repaint = medianMs(
            repetitions, [] {}, [&] { item.paint(&painter); });
        // The dynamic half alone: the repaint less the copy of the cached network image.
        const double blit = medianMs(
            repetitions, [] {}, [&] { painter.drawImage(QPointF(0, 0), item.networkImage()); });

        std::printf("\n%s, scale %.4f\n", c.name, item.scale());
        std::printf("  take a new geometry (node tables):      %8.2f ms\n", takeNewGeometry);
        std::printf("  take a data map, same geometry:         %8.2f ms\n", takeSame);
        std::printf("  paint with network image redraw:        %8.2f ms\n", redraw);
        std::printf("  read the dynamic layers of a data map:  %8.2f ms\n", readLayers);
        std::printf("  paint after a new data map:             %8.2f ms\n", firstPaint);
        std::printf("  paint after a new data map, trains moved: %6.2f ms\n", movedPaint);
        std::printf("  repaint, same data map:                 %8.2f ms\n", repaint);
        std::printf("  of which network image copy:            %8.2f ms\n", blit);
        std::fflush(stdout);
    }
    return 0;
}
