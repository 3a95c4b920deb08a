#include "MapItem.h"
#include "MapScene.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace MapScene;

namespace {

// What the user sees, as 0xRRGGBB.
const QRgb background = 0x070b0a, edgeColour = 0xa6b8ad, pathColour = 0xe4bf50,
           reservationColour = 0x65db87, occupationColour = 0xff6b6b, markerColour = 0xe6c789,
           signalColour = 0x80bdd8, selectedTrainColour = 0xffdf75, trainColour = 0x86d8c9;

// What a data map shows, and what the scale lets appear (layer test).
constexpr int Show = 1, Live = 2, PathAvailable = 4, PathStale = 8, UsageStale = 16,
              Reservations = 32, Occupations = 64, OtherLabels = 128, Dots = 256, StateLabels = 512,
              All = Show | Live | PathAvailable | Reservations | Occupations,
              Near = OtherLabels | Dots | StateLabels;

// A 400 x 300 item framed at scale 1 (two nodes whose span fits exactly), then zoomed about its
// middle to the scale the test needs, which keeps the view centre.
void prepare(MapItem &item, double scale = 1.0)
{
    item.setSize(QSizeF(400, 300));
    item.setSnapshotData(liveData({node(1, 0, 0, 0, 0), node(2, 0, 0, 350, 210)}));
    item.zoomAt(scale, 200, 150);
    QCOMPARE(item.scale(), scale);
}

// A node shown at this screen point (a pixel centre keeps antialiasing out of the way).
SdkTrackNode nodeAt(const MapItem &item, quint64 id, QPointF screen, quint64 n1 = 0, quint64 n2 = 0)
{
    const QPointF map = item.viewCentre() + (screen - QPointF(200, 150)) / item.scale();
    return node(id, n1, n2, map.x(), -map.y());
}

// The item as it shows once the signal images it asked for have arrived.
QImage render(MapItem &item)
{
    QImage image(int(item.width()), int(item.height()), QImage::Format_ARGB32_Premultiplied);
    for (int pass = 0; pass < 2; ++pass) {
        image.fill(Qt::magenta);
        QPainter painter(&image);
        item.paint(&painter);
        if (!item.renderer().texturesPending())
            break;
        TextureLoader::shared().waitForIdle(10000);
    }
    return image;
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
        const QString red = dir.filePath("red.png");
        QImage texture(QSize(100, 50), QImage::Format_ARGB32);
        texture.fill(Qt::red);
        QVERIFY(texture.save(red, "PNG"));
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

    void imageArrivingLaterIsPaintedOnce()
    {
        // The first paint does not wait for the file: it shows the symbol, and the image's
        // arrival asks for one more paint, which shows it.
        QTemporaryDir dir;
        const QString green = dir.filePath("green.png");
        QImage texture(QSize(64, 64), QImage::Format_ARGB32);
        texture.fill(Qt::green);
        QVERIFY(texture.save(green, "PNG"));
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
};

QTEST_MAIN(TestMapPaint)
#include "tst_mappaint.moc"
