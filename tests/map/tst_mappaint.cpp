// The map's drawing, checked on its pixels: MapItem painted into a QImage for scenes made of data
// maps. Layers by data and scale, symbols, signal images only where they fit, labels that never
// overlap, the exact drawing once a movement rests, broken input, and an image that arrives after
// the first paint.
#include "MapItem.h"
#include "MapScene.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace MapScene;

namespace {

// What the user sees, as 0xRRGGBB.
const QRgb background = 0x070b0a, edgeColour = 0xa6b8ad, pathColour = 0xe4bf50,
           reservationColour = 0x65db87, occupationColour = 0xff6b6b, markerColour = 0xe6c789,
           signalColour = 0x80bdd8, selectedTrainColour = 0xffdf75, trainColour = 0x86d8c9,
           trainMarkerColour = 0xf6f8ff, deadlockColour = 0xf0524b;

// What a data map shows, and what the scale lets appear (layer test).
constexpr int Show = 1, Live = 2, PathAvailable = 4, PathStale = 8, UsageStale = 16,
              Reservations = 32, Occupations = 64, OtherLabels = 128, Dots = 256, StateLabels = 512,
              All = Show | Live | PathAvailable | Reservations | Occupations,
              Near = OtherLabels | Dots | StateLabels;

// The view centred on the map point (0, 0) at this scale.
void prepare(MapItem &item, double scale = 1.0, const QSizeF &size = QSizeF(400, 300))
{
    item.setSize(size);
    item.setSnapshotData(liveData({node(1, 0, 0, 0, 0)}));
    QVERIFY(
        item.restoreCamera({{"railway", item.railway()}, {"x", 0}, {"y", 0}, {"scale", scale}}));
}

// A node shown at this screen point (a pixel centre keeps antialiasing out of the way).
SdkTrackNode nodeAt(const MapItem &item, quint64 id, QPointF screen, quint64 n1 = 0, quint64 n2 = 0)
{
    const QPointF middle(item.width() / 2, item.height() / 2);
    const QPointF map = item.viewCentre() + (screen - middle) / item.scale();
    return node(id, n1, n2, map.x(), -map.y());
}

// The item as it shows once the signal images it asked for have arrived.
QImage render(MapItem &item)
{
    QImage image(int(item.width()), int(item.height()), QImage::Format_ARGB32_Premultiplied);
    for (int pass = 0; pass < 2; ++pass) {
        image.fill(Qt::magenta);
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        item.paint(&painter);
        if (!item.renderer().texturesPending())
            break;
        TextureLoader::shared().waitForIdle(10000);
    }
    return image;
}

QString pngFile(const QTemporaryDir &dir, const QString &name, QColor colour, QSize size = {64, 64})
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    const QString path = dir.filePath(name);
    return image.save(path, "PNG") ? path : QString();
}

int distance(const QColor &a, QRgb b)
{
    return std::max({std::abs(a.red() - qRed(b)), std::abs(a.green() - qGreen(b)),
                     std::abs(a.blue() - qBlue(b))});
}

QColor pixel(const QImage &image, const QPointF &p)
{
    return image.pixelColor(int(std::floor(p.x())), int(std::floor(p.y())));
}

#define VERIFY_COLOUR(image, point, expected, tolerance)                                           \
    QVERIFY2(distance(pixel(image, point), (expected)) <= (tolerance),                             \
             pixel(image, point).name().toLatin1() + " at " + QByteArray::number((point).x()) +    \
                 "," + QByteArray::number((point).y()))

// Pixels of a region that stand out from the background (text, strokes).
int brightPixels(const QImage &image, const QRect &region)
{
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            count +=
                image.rect().contains(x, y) && distance(image.pixelColor(x, y), background) > 60;
    return count;
}

// Where a signal's state label sits next to its track point.
QRect stateLabel(const QPointF &p)
{
    return QRect(int(p.x()) + 6, int(p.y()) - 21, 18, 12);
}

} // namespace

class TestMapPaint : public QObject
{
    Q_OBJECT

private slots:
    // Most checks here are of the plain drawing; the level of detail by density has its own rows.
    void initTestCase() { MapItem::setDetailByDensityDefault(false); }

    void layers_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("shown");
        // Each row also sits at or just above one of the scales where details appear.
        QTest::newRow("all, scale 1") << 1.0 << (All | Near);
        QTest::newRow("not live, 0.025") << 0.025 << (All & ~Live);
        QTest::newRow("path stale, 0.0250001") << 0.0250001 << (All | PathStale | OtherLabels);
        QTest::newRow("usage stale, 0.05") << 0.05 << (All | UsageStale | OtherLabels);
        QTest::newRow("path off, no reservations, 0.0500001")
            << 0.0500001 << ((All & ~Show & ~Reservations) | OtherLabels | Dots);
        QTest::newRow("path unavailable, no occupations, 0.08")
            << 0.08 << ((All & ~PathAvailable & ~Occupations) | OtherLabels | Dots);
        QTest::newRow("all, 0.0800001") << 0.0800001 << (All | Near);
    }

    void layers()
    {
        QFETCH(double, scale);
        QFETCH(int, shown);
        MapItem item;
        prepare(item, scale);
        // Path points P, Q; a reservation at R, an occupation at O. J links left and right, U
        // links to J: three links meet at J, two at no other node. Signals in states 3 and 8.
        const QPointF p(120.5, 80.5), q(220.5, 180.5), r(300.5, 80.5), o(300.5, 220.5),
            j(200.5, 150.5), selected(60.5, 100.5), other(240.5, 100.5), shared(150.5, 220.5),
            e3(330.5, 250.5), e8(330.5, 190.5);
        QVariantMap data =
            liveData({nodeAt(item, 1, {100.5, 150.5}), nodeAt(item, 2, j, 1, 3),
                      nodeAt(item, 3, {300.5, 150.5}), nodeAt(item, 4, {200.5, 50.5}, 2),
                      nodeAt(item, 5, selected), nodeAt(item, 6, other), nodeAt(item, 7, shared),
                      nodeAt(item, 8, e3), nodeAt(item, 9, e8), nodeAt(item, 10, p),
                      nodeAt(item, 11, q), nodeAt(item, 12, r), nodeAt(item, 13, o)});
        data.insert({{"live", bool(shown & Live)},
                     {"pathAvailable", bool(shown & PathAvailable)},
                     {"pathStale", bool(shown & PathStale)},
                     {"mapPath", QStringList{idText(10), idText(99), idText(11)}},
                     {"usageStale", bool(shown & UsageStale)},
                     {"reservationsAvailable", bool(shown & Reservations)},
                     {"occupationsAvailable", bool(shown & Occupations)},
                     {"mapReservations", QVariantList{usage(1, 12), usage(1, 42)}},
                     {"mapOccupations", QVariantList{usage(1, 13), usage(2, 13)}},
                     {"selectedTrainId", idText(50)},
                     {"mapSignals", QVariantList{signalEntry(8, false, false, true, 3),
                                                 signalEntry(9, false, false, true, 8)}},
                     {"trains",
                      QVariantList{train(50, "IC 12", 5, 0.4567), train(60, "TER 3", 6, 1.0),
                                   train(70, "Fantôme", 6, 0.5, false), train(51, "Dessous", 7, 0),
                                   train(50, "Copie", 7, 0.5), train(61, "Dessus", 7, 0.25)}}});
        item.setSnapshotData(data);
        item.setShowCalculatedPath(shown & Show);
        const QImage image = render(item);
        const auto has = [&](int on, int off = 0) { return (shown & on) == on && !(shown & off); };

        // Path points, not a line between them.
        const bool path = has(Show | Live | PathAvailable, PathStale);
        VERIFY_COLOUR(image, p, path ? pathColour : background, path ? 8 : 0);
        VERIFY_COLOUR(image, q, path ? pathColour : background, path ? 8 : 0);
        VERIFY_COLOUR(image, (p + q) / 2, background, 0);
        // Outlines only: circles for reservations, squares for occupations.
        const bool circle = has(Live | Reservations, UsageStale);
        const bool square = has(Live | Occupations, UsageStale);
        VERIFY_COLOUR(image, r + QPointF(7, 0), circle ? reservationColour : background,
                      circle ? 25 : 0);
        VERIFY_COLOUR(image, o + QPointF(4, 0), square ? occupationColour : background,
                      square ? 8 : 0);
        if (square) // its corner is drawn, where a circle of the same size would not reach
            VERIFY_COLOUR(image, o + QPointF(4, 4), occupationColour, 25);
        VERIFY_COLOUR(image, r, background, 0);
        VERIFY_COLOUR(image, o, background, 0);

        // Below J no edge runs: only the dot's ring can colour it. The dot is filled.
        QCOMPARE(distance(pixel(image, j + QPointF(0, 3)), background) > 40, has(Dots));
        VERIFY_COLOUR(image, j, has(Dots) ? background : edgeColour, has(Dots) ? 2 : 12);

        VERIFY_COLOUR(image, selected, selectedTrainColour, 8);
        VERIFY_COLOUR(image, selected + QPointF(4, 0), selectedTrainColour, 40);
        VERIFY_COLOUR(image, other, trainColour, 8);
        VERIFY_COLOUR(image, other + QPointF(4, 0), background, 0); // the smaller disc
        // On the shared node the last train covers the middle; the selected one, drawn before
        // it, still shows around it.
        VERIFY_COLOUR(image, shared, trainColour, 8);
        VERIFY_COLOUR(image, shared + QPointF(4, 0), selectedTrainColour, 40);
        const auto label = [](const QPointF &t) {
            return QRect(int(t.x()) + 7, int(t.y()) + 2, 70, 14);
        };
        QVERIFY(brightPixels(image, label(selected)) > 20);
        QCOMPARE(brightPixels(image, label(other)) > 20, has(OtherLabels));

        // "E3" and "E8": the same letter, another digit.
        QCOMPARE(brightPixels(image, stateLabel(e3)) > 5, has(StateLabels));
        const QRect letter(stateLabel(e3).topLeft(), QSize(8, 12));
        const QRect digit(letter.topRight() + QPoint(1, 0), QSize(10, 12));
        const QPoint up(0, int(e8.y() - e3.y()));
        QCOMPARE(image.copy(letter), image.copy(letter.translated(up)));
        QCOMPARE(image.copy(digit) != image.copy(digit.translated(up)), has(StateLabels));
    }

    void edgesSymbolsAndTextures()
    {
        QTemporaryDir dir;
        const QString red = pngFile(dir, "red.png", Qt::red, QSize(100, 50));
        MapItem item;
        prepare(item);
        const QPointF circle(60.5, 100.5), balise(140.5, 100.5), marker(220.5, 100.5),
            both(300.5, 100.5), p(200.5, 250.5), q(60.5, 250.5);
        // Both ends of the second edge lie far outside, but the edge crosses the item.
        QVariantMap data =
            liveData({nodeAt(item, 10, {100.5, 150.5}, 11), nodeAt(item, 11, {250.5, 150.5}, 10),
                      nodeAt(item, 20, {-3000.5, 200.5}, 21), nodeAt(item, 21, {3000.5, 200.5}),
                      nodeAt(item, 1, circle), nodeAt(item, 2, balise), nodeAt(item, 3, marker),
                      nodeAt(item, 4, both), nodeAt(item, 5, p), nodeAt(item, 6, q)});
        data.insert(
            "mapSignals",
            QVariantList{
                signalEntry(1, false, false, false, 0), signalEntry(2, false, true, false, 0),
                signalEntry(3, true, false, false, 0), signalEntry(4, true, true, false, 0),
                signalEntry(77, false, false, true, 1), signalEntry(5, false, false, true, 1, red),
                signalEntry(6, false, false, true, 0, dir.filePath("no.png"))});
        item.setSnapshotData(data);
        const QImage image = render(item);
        VERIFY_COLOUR(image, QPointF(175, 150.5), edgeColour, 12);
        VERIFY_COLOUR(image, QPointF(175, 155.5), background, 0);
        VERIFY_COLOUR(image, QPointF(200, 200.5), edgeColour, 12);
        VERIFY_COLOUR(image, QPointF(300, 150.5), background, 0);

        VERIFY_COLOUR(image, circle + QPointF(0, -4), signalColour, 12); // stem
        VERIFY_COLOUR(image, circle + QPointF(3, -11), signalColour, 40);
        VERIFY_COLOUR(image, circle + QPointF(0, -11), background, 0); // filled with the brush
        VERIFY_COLOUR(image, circle + QPointF(3, -14), background, 8); // round, not square
        VERIFY_COLOUR(image, balise + QPointF(0, -4), signalColour, 12);
        VERIFY_COLOUR(image, balise + QPointF(3, -14), signalColour, 40);
        VERIFY_COLOUR(image, balise + QPointF(0, -11), background, 0);
        for (const QPointF &m : {marker, both}) {
            VERIFY_COLOUR(image, m + QPointF(0, -4), markerColour, 12);
            VERIFY_COLOUR(image, m + QPointF(6, -15), markerColour, 40);
            VERIFY_COLOUR(image, m + QPointF(-6, -22), markerColour, 40);
            QVERIFY(brightPixels(image, QRect(int(m.x()) - 4, int(m.y()) - 20, 8, 9)) > 5); // "M"
        }
        QCOMPARE(brightPixels(image, stateLabel(circle)), 0); // no state available: no label

        // 100 x 50 drawn at 64 x 32, its bottom 3 px above the track point.
        const QRectF spot(p + QPointF(-32, -35), QSizeF(64, 32));
        VERIFY_COLOUR(image, spot.center(), 0xff0000, 0);
        VERIFY_COLOUR(image, spot.topLeft() + QPointF(1, 1), 0xff0000, 0);
        VERIFY_COLOUR(image, spot.bottomRight() - QPointF(1, 1), 0xff0000, 0);
        VERIFY_COLOUR(image, spot.topLeft() - QPointF(1, 1), background, 0);
        // A texture that does not load: fallback symbol and a state label.
        VERIFY_COLOUR(image, q + QPointF(3, -11), signalColour, 40);
        QVERIFY(brightPixels(image, stateLabel(q)) > 5);
    }

    // In a 140 x 100 map with 64-pixel images, the first image takes the spot above its track;
    // the second signal's candidates all lie outside the map or on the first: it shows its
    // symbol and state label, the very pixels of a signal without an image.
    void imageWithoutSpotIsItsSymbol_data()
    {
        QTest::addColumn<int>("layer");
        QTest::addColumn<int>("drawn");
        QTest::addColumn<int>("withoutSpot");
        QTest::newRow("images") << 0 << 1 << 1;
        QTest::newRow("symbols only") << 1 << 0 << 0;
    }

    void imageWithoutSpotIsItsSymbol()
    {
        QFETCH(int, layer);
        QFETCH(int, drawn);
        QFETCH(int, withoutSpot);
        QTemporaryDir dir;
        const QString red = pngFile(dir, "red.png", Qt::red);
        const QString blue = pngFile(dir, "blue.png", Qt::blue);
        const auto draw = [&](MapItem &item, const QString &secondPath) {
            prepare(item, 1, QSizeF(140, 100));
            QVariantMap data = liveData({nodeAt(item, 1, {35, 17}), nodeAt(item, 2, {65, 17})});
            data.insert("mapSignals",
                        QVariantList{signalEntry(1, false, false, true, 3, red),
                                     signalEntry(2, false, false, true, 4, secondPath)});
            item.setSnapshotData(data);
            item.setSignalLayer(layer);
            return render(item);
        };
        MapItem withImage, withoutImage;
        const QImage image = draw(withImage, blue); // first: neither image has been read yet
        QCOMPARE(withImage.renderer().lastCounts().texturesDrawn, drawn);
        QCOMPARE(withImage.renderer().lastCounts().texturesWithoutSpot, withoutSpot);
        QCOMPARE(image, draw(withoutImage, QString()));
    }

    // Trains whose labels would cover one another: one label is left out, never the selected
    // train's; apart, both are drawn.
    void labelsNeverOverlap_data()
    {
        QTest::addColumn<double>("apart");
        QTest::addColumn<int>("selected"); // 0 none, else the train's id
        QTest::addColumn<int>("drawn");
        QTest::addColumn<QString>("shown");
        QTest::newRow("close, none selected") << 6.0 << 0 << 1 << "IC 1";
        QTest::newRow("close, second selected") << 6.0 << 2 << 1 << "IC 2";
        QTest::newRow("far apart") << 60.0 << 0 << 2 << "";
    }

    void labelsNeverOverlap()
    {
        QFETCH(double, apart);
        QFETCH(int, selected);
        QFETCH(int, drawn);
        QFETCH(QString, shown);
        MapItem item;
        prepare(item);
        QVariantMap data =
            liveData({nodeAt(item, 1, {100.5, 100.5}), nodeAt(item, 2, {100.5, 100.5 + apart})});
        data.insert("trains", QVariantList{train(1, "IC 1", 1, 0.5), train(2, "IC 2", 2, 0.5)});
        data.insert("selectedTrainId", selected ? idText(quint64(selected)) : QString());
        item.setSnapshotData(data);
        const QImage image = render(item);
        const MapRenderer::Counts &counts = item.renderer().lastCounts();
        QCOMPARE(counts.trainLabelsDrawn, drawn);
        QCOMPARE(counts.trainLabelsLeftOut, 2 - drawn);
        QVERIFY(drawn == 1 || !counts.trainLabelBoxes[0].intersects(counts.trainLabelBoxes[1]));
        if (!shown.isEmpty()) {
            // The label kept is the one of that train: its baseline 14 pixels below the train.
            const double ascent = QFontMetricsF(QFont("Segoe UI", 9), &image).ascent();
            const double trainY = shown == "IC 1" ? 100.5 : 100.5 + apart;
            QCOMPARE(counts.trainLabelBoxes.first().top(), trainY + 14 - ascent);
        }
    }

    // A wait cycle is a red loop through its trains' tracks, in the plain drawing and in the
    // drawing by density alike.
    void deadlockLoop_data()
    {
        QTest::addColumn<bool>("byDensity");
        QTest::newRow("plain") << false;
        QTest::newRow("by density") << true;
    }

    void deadlockLoop()
    {
        QFETCH(bool, byDensity);
        MapItem item;
        item.setDetailByDensity(byDensity);
        prepare(item);
        QVariantMap data =
            liveData({nodeAt(item, 1, {100.5, 100.5}), nodeAt(item, 2, {300.5, 100.5}),
                      nodeAt(item, 3, {200.5, 250.5})});
        QVariantList locked;
        for (quint64 i = 1; i <= 3; ++i)
            locked.append(
                QVariantMap{{"id", idText(10 + i)}, {"state", "locked"}, {"track", idText(i)}});
        data.insert("attentionTrains", locked);
        data.insert("deadlocks", QVariantList{QStringList{idText(11), idText(12), idText(13)}});
        item.setSnapshotData(data);
        VERIFY_COLOUR(render(item), QPointF(200.5, 100.5), deadlockColour, 40);
    }

    // The level of detail by density, in each signal mode: an occupied track's stretch as a red
    // stroke (middle of one edge, node, middle of the other), the train above it at its fraction,
    // no station name over the selected train's label, and a stopped train far from it as a light
    // square sized from the trains' spread. In the automatic mode, signals that pile up as one dot
    // of the reddest lit colour (markers left out) and a signal with room as its image right above
    // it; the symbols keep their own drawing, markers' boxes included.
    void densityDetail_data()
    {
        QTest::addColumn<int>("layer");
        QTest::newRow("auto") << 3;
        QTest::newRow("symbols") << 1;
        QTest::newRow("hidden") << 2;
    }

    void densityDetail()
    {
        QFETCH(int, layer);
        QTemporaryDir dir;
        const QString red = pngFile(dir, "red.png", Qt::red);
        const QString green = pngFile(dir, "green.png", Qt::green);
        MapItem item;
        item.setDetailByDensity(true);
        item.setSignalLayer(layer);
        prepare(item);
        const QPointF a(100.5, 150.5), b(200.5, 150.5), c(300.5, 150.5), calm(301.5, 60.5),
            danger(303.5, 60.5), markers(100.5, 250.5), lone(250.5, 260.5), stopped(40.5, 40.5);
        const SdkTrackNode label = nodeAt(item, 0, b + QPointF(30, 14));
        QVariantMap data =
            liveData({nodeAt(item, 1, a, 2), nodeAt(item, 2, b, 1, 3), nodeAt(item, 3, c, 2),
                      nodeAt(item, 4, calm), nodeAt(item, 5, danger), nodeAt(item, 6, markers),
                      nodeAt(item, 7, markers + QPointF(5, 0)), nodeAt(item, 8, lone),
                      nodeAt(item, 10, stopped)});
        data.insert({{"occupationsAvailable", true},
                     {"mapOccupations", QVariantList{usage(9, 2)}},
                     {"selectedTrainId", idText(9)},
                     {"mapStations", QVariantList{station("Gare du Nord", label.x, label.y, 4)}},
                     {"mapSignals", QVariantList{signalEntry(4, false, false, true, 1, green),
                                                 signalEntry(5, false, false, true, 2, red),
                                                 signalEntry(6, true, false, false, 0),
                                                 signalEntry(7, true, false, false, 0),
                                                 signalEntry(8, false, false, true, 2, red)}}});
        QVariantMap moving = train(9, "IC 9", 2, 0.25);
        moving.insert({{"speed", 80.0}, {"direction", 1}});
        data.insert("trains", QVariantList{moving, train(10, "Fret 10", 10, 0.5)});
        item.setSnapshotData(data);
        const QImage image = render(item);
        const MapRenderer::Counts &counts = item.renderer().lastCounts();

        VERIFY_COLOUR(image, QPointF(235.5, 150.5), occupationColour, 8);
        VERIFY_COLOUR(image, QPointF(160.5, 150.5), occupationColour, 8);
        VERIFY_COLOUR(image, QPointF(130.5, 150.5), edgeColour, 12); // beyond the stretch
        VERIFY_COLOUR(image, QPointF(175.5, 150.5), selectedTrainColour, 8);
        VERIFY_COLOUR(image, b, occupationColour, 8); // not on the node
        VERIFY_COLOUR(image, stopped, trainMarkerColour, 8);
        VERIFY_COLOUR(image, stopped + QPointF(2, 2), trainMarkerColour, 8);
        QCOMPARE(counts.trainLabelsDrawn, 2); // room for the other train's
        QCOMPARE(counts.stationNamesDrawn, 0);

        const bool dots = layer == 3;
        QCOMPARE(counts.signalDots, dots ? 1 : 0);
        if (dots) {
            VERIFY_COLOUR(image, danger, 0xff0000, 40);
            int greenPixels = 0;
            for (int x = 290; x < 315; ++x)
                for (int y = 50; y < 70; ++y)
                    greenPixels += image.pixelColor(x, y).green() > 150;
            QCOMPARE(greenPixels, 0);
            // 64 x 64, its bottom 3 px above the track point
            VERIFY_COLOUR(image, lone + QPointF(0, -35), 0xff0000, 0);
        } else {
            VERIFY_COLOUR(image, lone + QPointF(0, -4), layer == 1 ? signalColour : background,
                          layer == 1 ? 12 : 0);
        }
        QCOMPARE(brightPixels(image, QRect(90, 225, 30, 35)) > 0, layer == 1);
    }

    // Station names never overlap; where two would, the one with more tracks wins.
    void stationNamesDoNotOverlap()
    {
        MapItem item;
        prepare(item);
        QVariantMap data = liveData({nodeAt(item, 1, {0.5, 0.5})});
        QVariantList stations;
        const auto add = [&](const QString &name, QPointF screen, int tracks) {
            const SdkTrackNode at = nodeAt(item, 0, screen);
            stations.append(station(name, at.x, at.y, tracks));
        };
        // Five stations on a small cluster, the largest listed last; one far away.
        for (int i = 0; i < 5; ++i)
            add(QString("Gare %1").arg(i), QPointF(150 + 6 * i, 150 + 4 * i), i + 1);
        add("Loin", QPointF(320, 40), 1);
        data.insert("mapStations", stations);
        item.setSnapshotData(data);
        render(item);
        const MapRenderer::Counts &counts = item.renderer().lastCounts();
        QCOMPARE(counts.stationNamesDrawn, 2);
        QVERIFY(!counts.stationNameBoxes[0].intersects(counts.stationNameBoxes[1]));
        // The largest of the cluster (Gare 4, at 174, 166) is the one named there.
        QVERIFY(counts.stationNameBoxes[0].contains(QPointF(174, 166)));

        item.setShowStationNames(false);
        render(item);
        QCOMPARE(item.renderer().lastCounts().stationNamesDrawn, 0);
    }

    // However the view moved meanwhile, the paint once it rests is the exact drawing: the same
    // pixels as a map that never moved. Panned by whole pixels, the network image moved with the
    // view is, while it held the whole network (thin slanted lines cut at its edge are not).
    void restingAfterAMovementIsExact_data()
    {
        QTest::addColumn<bool>("zoomed");
        QTest::addColumn<bool>("byDensity");
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("redrawn"); // the network drawn anew once the view rests
        QTest::newRow("panned by fractions and zoomed") << true << false << 1.0 << true;
        QTest::newRow("panned by whole pixels, the network in view")
            << false << true << 0.4 << false;
        QTest::newRow("panned by whole pixels, the network cut by the view's edges")
            << false << true << 0.05 << true;
    }

    void restingAfterAMovementIsExact()
    {
        QFETCH(bool, zoomed);
        QFETCH(bool, byDensity);
        QFETCH(double, scale);
        QFETCH(bool, redrawn);
        QTemporaryDir dir;
        const QString red = pngFile(dir, "red.png", Qt::red);
        QVector<SdkTrackNode> nodes;
        QVariantList signalList, trains;
        // A slanted grid of linked nodes with signals and trains, larger than the item at scale 1.
        const double spread = scale < 0.1 ? 20 : 1;
        for (int i = 0; i < 12; ++i) {
            for (int j = 0; j < 9; ++j) {
                const quint64 id = quint64(1 + i * 9 + j);
                nodes.append(node(id, j + 1 < 9 ? id + 1 : 0, i + 1 < 12 ? id + 9 : 0,
                                  (-300 + 55.0 * i + 17.0 * j) * spread,
                                  (-220 + 50.0 * j) * spread));
                if ((i + j) % 3 == 0)
                    signalList.append(signalEntry(id, j % 4 == 0, i % 5 == 0, true, i % 4,
                                                  (i + j) % 2 ? red : QString()));
                if ((i * j) % 7 == 1)
                    trains.append(train(id, QString("T%1").arg(id), id, 0.25));
            }
        }
        QVariantMap data = liveData(nodes);
        data.insert({{"mapSignals", signalList}, {"trains", trains}});
        MapItem moved, fresh;
        for (MapItem *item : {&moved, &fresh}) {
            prepare(*item, scale);
            item->setDetailByDensity(byDensity);
            if (byDensity)
                item->setSignalLayer(SignalLayer::Auto);
            item->setSnapshotData(data);
        }
        render(moved);
        bool shifted = false;
        const QPointF steps[] = {{10, -3}, {25, 7}, {-4, 30}, {zoomed ? 0.5 : 1.0, 0}, {-60, -12}};
        for (const QPointF &step : steps) {
            moved.moveView(step.x(), step.y());
            render(moved);
            shifted = shifted || moved.renderer().lastCounts().frameShifted;
        }
        QVERIFY(shifted); // the movement did take the quick way
        if (zoomed) {
            moved.zoomAt(1.3, 200, 150); // a wheel step: the frame is scaled meanwhile
            render(moved);
            QVERIFY(moved.renderer().lastCounts().frameScaled);
        }
        QTRY_VERIFY(!moved.isMoving());
        const QImage rested = render(moved);
        QCOMPARE(moved.renderer().lastCounts().networkRedrawn, redrawn);
        QVERIFY(fresh.restoreCamera(moved.camera()));
        QCOMPARE(rested, render(fresh));
    }

    // While the data are not live the map says why in its middle.
    void statusWhileNotLive()
    {
        for (const bool live : {true, false}) {
            MapItem item;
            prepare(item);
            QVariantMap data = liveData({nodeAt(item, 1, {10.5, 10.5})});
            data.insert({{"live", live}, {"status", QStringLiteral("Connexion…")}});
            item.setSnapshotData(data);
            QCOMPARE(brightPixels(render(item), QRect(150, 135, 100, 30)) > 20, !live);
        }
    }

    // Broken input is framed on what is left and drawn or skipped, never a crash; a node that
    // is not a number (a junction, with signals and trains on it) does not lose the others, and
    // centring on it leaves the view as it was.
    void badInputIsSkipped_data()
    {
        QTest::addColumn<QVariantMap>("data");
        QTest::addColumn<QPointF>("centre"); // the middle of the nodes that are numbers
        QTest::addColumn<bool>("drawn");
        QTest::addColumn<QPointF>("focused"); // the centre after centring on the selected track
        const double inf = std::numeric_limits<double>::infinity();
        const auto onNode = [](QVariantMap data, quint64 track) {
            data.insert({{"selectedTrackId", idText(track)}, {"selectedTrainId", idText(7)}});
            data.insert("trains", QVariantList{train(7, "IC 7", track, 0.5)});
            data.insert("mapSignals", QVariantList{signalEntry(track, false, false, true, 2),
                                                   signalEntry(track, true, false, true, 3)});
            return data;
        };
        QTest::newRow("one junction not a number among numbers")
            << onNode(
                   liveData({node(1, 2, 0, 0, 0), node(2, 1, 0, 100, 50), node(3, 1, 2, qQNaN(), 5),
                             node(4, 3, 0, inf, -inf), node(5, 3, 0, 5, qQNaN())}),
                   3)
            << QPointF(50, -25) << true << QPointF(50, -25);
        QTest::newRow("only nodes that are not numbers")
            << onNode(liveData({node(1, 2, 3, qQNaN(), qQNaN()), node(2, 1, 0, qQNaN(), 0),
                                node(3, 1, 0, 0, qQNaN()), node(4, 1, 0, -inf, qQNaN())}),
                      1)
            << QPointF(0, 0) << false << QPointF(0, 0);
        QTest::newRow("huge coordinates") // the far edge still crosses the item
            << onNode(liveData({node(1, 2, 0, -1e300, 0), node(2, 1, 3, 1e300, 1e-300),
                                node(3, 0, 0, 5, 5), node(4, 2, 0, 5, 5)}),
                      2)
            << QPointF(0, -2.5) << true << QPointF(1e300, -1e-300);
        QVariantMap odd = liveData({node(1, 2, 0, 0, 0), node(2, 1, 0, 100, 50)});
        odd.insert("trains", QVariantList{train(5, QString(300, QChar(u'é')), 1, 0.5),
                                          train(6, "nowhere", 99, 0.5)});
        odd.insert("mapStations",
                   QVariantList{station("Vide", 0, 0, 0), station(QString(300, 'G'), 10, 10, 3),
                                station("NaN", qQNaN(), qQNaN(), 2), station("Loin", 1e300, 0, 2)});
        odd.insert("mapSignals", QVariantList{signalEntry(99, false, false, true, 1),
                                              signalEntry(1, false, false, true, INT_MIN),
                                              signalEntry(2, true, false, true, INT_MAX)});
        QTest::newRow("long names, missing tracks, extreme states")
            << odd << QPointF(50, -25) << true << QPointF(50, -25);
    }

    void badInputIsSkipped()
    {
        QFETCH(QVariantMap, data);
        QFETCH(QPointF, centre);
        QFETCH(bool, drawn);
        QFETCH(QPointF, focused);
        MapItem item;
        item.setSize(QSizeF(400, 300));
        item.setSnapshotData(data);
        QCOMPARE(item.viewCentre(), centre);
        const QImage image = render(item);
        const int bright = brightPixels(image, image.rect());
        QVERIFY2(drawn ? bright > 50 : bright == 0, QByteArray::number(bright));
        // Station names are elided: the long one stays within a sensible width.
        for (const QRectF &box : item.renderer().lastCounts().stationNameBoxes)
            QVERIFY(box.width() < 300);
        item.focusTrain();
        QCOMPARE(item.viewCentre(), focused);
        render(item);
    }

    void imageArrivingLaterIsPaintedOnce()
    {
        // The first paint does not wait for the file: it shows the symbol, and the image's
        // arrival asks for one more paint, which shows it.
        QTemporaryDir dir;
        const QString green = pngFile(dir, "green.png", Qt::green);
        MapItem item;
        prepare(item);
        const QPointF p(200.5, 250.5);
        QVariantMap data = liveData({nodeAt(item, 5, p)});
        data.insert("mapSignals", QVariantList{signalEntry(5, false, false, true, 1, green)});
        item.setSnapshotData(data);
        QImage image(int(item.width()), int(item.height()), QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        item.paint(&painter);
        QVERIFY(item.renderer().texturesPending());
        QCOMPARE(item.renderer().lastCounts().texturesDrawn, 0);
        const int requests = item.repaintRequests();
        QTRY_COMPARE(item.repaintRequests(), requests + 1);
        item.paint(&painter);
        QVERIFY(!item.renderer().texturesPending());
        QCOMPARE(item.renderer().lastCounts().texturesDrawn, 1);
        VERIFY_COLOUR(image, p + QPointF(0, -35), 0x00ff00, 0);
    }

    void moreImageFilesThanTheLoaderKeeps()
    {
        // 500 distinct files of 192 x 192 outgrow the loader's cache: were the map to ask for all
        // of them, every paint would find some dropped and ask again, for ever. It asks for the
        // first maxTextureFiles and draws the others' symbols.
        QTemporaryDir dir;
        MapItem item;
        prepare(item);
        QVariantList marks;
        QVector<SdkTrackNode> nodes;
        for (int i = 0; i < 500; ++i) {
            nodes.append(nodeAt(item, 1 + i, QPointF(20 + i % 25 * 15, 20 + i / 25 * 13)));
            marks.append(signalEntry(
                1 + i, false, false, true, 1,
                pngFile(dir, QString("s%1.png").arg(i), QColor(i % 256, 80, 0), QSize(192, 192))));
        }
        QVariantMap data = liveData(nodes);
        data.insert("mapSignals", marks);
        item.setSnapshotData(data);
        render(item);
        const quint64 epoch = TextureLoader::shared().epoch();
        QImage image(int(item.width()), int(item.height()), QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        item.paint(&painter);
        QVERIFY(!item.renderer().texturesPending());
        QCOMPARE(TextureLoader::shared().epoch(), epoch);
    }
};

QTEST_MAIN(TestMapPaint)
#include "tst_mappaint.moc"
