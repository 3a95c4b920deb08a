#include "MapItem.h"
#include "MapScene.h"
#include "SignalTextureCache.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace MapScene;

namespace {

const QColor background(0x07, 0x0b, 0x0a);
const QColor edgeColour(0xa6, 0xb8, 0xad);
const QColor pathColour(0xe4, 0xbf, 0x50);
const QColor reservationColour(0x65, 0xdb, 0x87);
const QColor occupationColour(0xff, 0x6b, 0x6b);
const QColor markerColour(0xe6, 0xc7, 0x89);
const QColor signalColour(0x80, 0xbd, 0xd8);
const QColor selectedTrainColour(0xff, 0xdf, 0x75);
const QColor trainColour(0x86, 0xd8, 0xc9);

constexpr double itemWidth = 400;
constexpr double itemHeight = 300;

// An item of 400 x 300 framed at scale 1 (two nodes whose span fits exactly), then zoomed about
// its middle to the scale the test needs, which keeps the view centre.
void prepare(MapItem &item, double scale = 1.0)
{
    item.setSize(QSizeF(itemWidth, itemHeight));
    item.setSnapshotData(
        liveData({node(1, 0, 0, 0, 0), node(2, 0, 0, itemWidth - 50, itemHeight - 90)}));
    QCOMPARE(item.scale(), 1.0);
    if (scale != 1.0)
        item.zoomAt(scale, itemWidth / 2, itemHeight / 2);
    QCOMPARE(item.scale(), scale);
}

// The world point that the item shows at this screen point.
QPointF worldAt(const MapItem &item, const QPointF &screen)
{
    const QPointF map =
        item.viewCentre() + (screen - QPointF(item.width() / 2, item.height() / 2)) / item.scale();
    return QPointF(map.x(), -map.y());
}

// A node shown at this screen point (a pixel centre keeps antialiasing out of the way).
SdkTrackNode nodeAt(const MapItem &item, quint64 id, const QPointF &screen, quint64 first = 0,
                    quint64 second = 0)
{
    const QPointF world = worldAt(item, screen);
    return node(id, first, second, world.x(), world.y());
}

QImage render(MapItem &item)
{
    QImage image(int(item.width()), int(item.height()), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    item.paint(&painter);
    return image;
}

QColor pixel(const QImage &image, const QPointF &point)
{
    return image.pixelColor(int(std::floor(point.x())), int(std::floor(point.y())));
}

int distance(const QColor &a, const QColor &b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

QByteArray describe(const QColor &colour)
{
    return colour.name().toLatin1();
}

#define VERIFY_COLOUR(image, point, expected, tolerance)                                           \
    QVERIFY2(distance(pixel(image, point), expected) <= tolerance,                                 \
             describe(pixel(image, point)) + " at " + QByteArray::number((point).x()) + "," +      \
                 QByteArray::number((point).y()))

// Pixels of a region that stand out from the background (text, strokes).
int brightPixels(const QImage &image, const QRect &region)
{
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            if (image.rect().contains(x, y) && distance(image.pixelColor(x, y), background) > 60)
                ++count;
        }
    }
    return count;
}

QString writeImage(const QTemporaryDir &dir, const QString &name, const QSize &size,
                   const QColor &colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    const QString path = dir.filePath(name);
    if (!image.save(path, "PNG"))
        return QString();
    return path;
}

} // namespace

class TestMapPaint : public QObject
{
    Q_OBJECT

private slots:
    void edgesAndCrossingEdges()
    {
        MapItem item;
        prepare(item);
        const QPointF a(100.5, 100.5), b(250.5, 100.5);
        // Both ends of the second edge lie far outside, but the edge crosses the item.
        const QPointF farLeft(-3000.5, 200.5), farRight(3000.5, 200.5);
        item.setSnapshotData(liveData({nodeAt(item, 10, a, 11), nodeAt(item, 11, b, 10),
                                       nodeAt(item, 20, farLeft, 21), nodeAt(item, 21, farRight)}));
        const QImage image = render(item);
        VERIFY_COLOUR(image, QPointF(175, 100.5), edgeColour, 12);
        VERIFY_COLOUR(image, QPointF(175, 105.5), background, 0);
        VERIFY_COLOUR(image, QPointF(200, 200.5), edgeColour, 12);
        VERIFY_COLOUR(image, QPointF(300, 150.5), background, 0);
    }

    void junctionDotsAboveScale_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("dot");
        QTest::newRow("0.05") << 0.05 << false;
        QTest::newRow("0.0500001") << 0.0500001 << true;
        QTest::newRow("1") << 1.0 << true;
    }

    void junctionDotsAboveScale()
    {
        QFETCH(double, scale);
        QFETCH(bool, dot);
        MapItem item;
        prepare(item, scale);
        // J links left and right; U links to J: three links meet at J, two at no other node.
        const QPointF j(200.5, 150.5);
        item.setSnapshotData(
            liveData({nodeAt(item, 1, QPointF(100.5, 150.5)), nodeAt(item, 2, j, 1, 3),
                      nodeAt(item, 3, {300.5, 150.5}), nodeAt(item, 4, QPointF(200.5, 50.5), 2)}));
        QCOMPARE(item.network().degrees()[1], 3u);
        const QImage image = render(item);
        // Below J no edge runs: only the dot's ring can colour it.
        const QColor ring = pixel(image, j + QPointF(0, 3));
        QCOMPARE(distance(ring, background) > 40, dot);
        // The dot is filled: the edges under its middle are covered.
        if (dot)
            VERIFY_COLOUR(image, j, background, 2);
        else
            VERIFY_COLOUR(image, j, edgeColour, 12);
    }

    void calculatedPathOnlyWhenLive_data()
    {
        QTest::addColumn<bool>("show");
        QTest::addColumn<bool>("live");
        QTest::addColumn<bool>("available");
        QTest::addColumn<bool>("stale");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("shown") << true << true << true << false << true;
        QTest::newRow("switched off") << false << true << true << false << false;
        QTest::newRow("not live") << true << false << true << false << false;
        QTest::newRow("not available") << true << true << false << false << false;
        QTest::newRow("stale") << true << true << true << true << false;
    }

    void calculatedPathOnlyWhenLive()
    {
        QFETCH(bool, show);
        QFETCH(bool, live);
        QFETCH(bool, available);
        QFETCH(bool, stale);
        QFETCH(bool, drawn);
        MapItem item;
        prepare(item);
        const QPointF p(120.5, 80.5), q(220.5, 180.5);
        QVariantMap data = liveData({nodeAt(item, 5, p), nodeAt(item, 6, q)});
        data.insert("live", live);
        data.insert("pathAvailable", available);
        data.insert("pathStale", stale);
        data.insert("mapPath", QStringList{idText(5), idText(99), idText(6)});
        item.setSnapshotData(data);
        item.setShowCalculatedPath(show);
        const QImage image = render(item);
        for (const QPointF &point : {p, q}) {
            if (drawn)
                VERIFY_COLOUR(image, point, pathColour, 8);
            else
                VERIFY_COLOUR(image, point, background, 0);
        }
        // Points, not a line between them.
        VERIFY_COLOUR(image, (p + q) / 2, background, 0);
    }

    void usageCirclesAndSquares_data()
    {
        QTest::addColumn<bool>("live");
        QTest::addColumn<bool>("stale");
        QTest::addColumn<bool>("reservations");
        QTest::addColumn<bool>("occupations");
        QTest::newRow("both") << true << false << true << true;
        QTest::newRow("not live") << false << false << true << true;
        QTest::newRow("stale") << true << true << true << true;
        QTest::newRow("reservations only") << true << false << true << false;
        QTest::newRow("occupations only") << true << false << false << true;
    }

    void usageCirclesAndSquares()
    {
        QFETCH(bool, live);
        QFETCH(bool, stale);
        QFETCH(bool, reservations);
        QFETCH(bool, occupations);
        MapItem item;
        prepare(item);
        const QPointF r(100.5, 100.5), o(250.5, 100.5);
        QVariantMap data = liveData({nodeAt(item, 5, r), nodeAt(item, 6, o)});
        data.insert("live", live);
        data.insert("usageStale", stale);
        data.insert("reservationsAvailable", reservations);
        data.insert("occupationsAvailable", occupations);
        data.insert("mapReservations", QVariantList{usage(1, 5), usage(1, 42)});
        data.insert("mapOccupations", QVariantList{usage(1, 6), usage(2, 6)});
        item.setSnapshotData(data);
        const QImage image = render(item);
        const bool shown = live && !stale;
        const QPointF onCircle = r + QPointF(7, 0), onSquare = o + QPointF(4, 0);
        if (shown && reservations)
            VERIFY_COLOUR(image, onCircle, reservationColour, 25);
        else
            VERIFY_COLOUR(image, onCircle, background, 0);
        if (shown && occupations) {
            VERIFY_COLOUR(image, onSquare, occupationColour, 8);
            // A square: its corner is drawn, where a circle of the same size would not reach.
            VERIFY_COLOUR(image, o + QPointF(4, 4), occupationColour, 25);
        } else {
            VERIFY_COLOUR(image, onSquare, background, 0);
        }
        VERIFY_COLOUR(image, r, background, 0); // outlines only
        VERIFY_COLOUR(image, o, background, 0);
    }

    void trainsAndLabels_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("otherLabelled");
        QTest::newRow("scale 1") << 1.0 << true;
        QTest::newRow("scale 0.0250001") << 0.0250001 << true;
        QTest::newRow("scale 0.025") << 0.025 << false;
        QTest::newRow("scale 0.001") << 0.001 << false;
    }

    void trainsAndLabels()
    {
        QFETCH(double, scale);
        QFETCH(bool, otherLabelled);
        MapItem item;
        prepare(item, scale);
        const QPointF selected(60.5, 100.5), other(240.5, 100.5), shared(150.5, 220.5);
        QVariantMap data =
            liveData({nodeAt(item, 5, selected), nodeAt(item, 6, other), nodeAt(item, 7, shared)});
        data.insert("selectedTrainId", idText(50));
        data.insert("trains",
                    QVariantList{train(50, "IC 12", 5, 0.4567), train(60, "TER 3", 6, 1.0),
                                 train(70, "Fantôme", 6, 0.5, false), train(51, "Dessous", 7, 0),
                                 train(50, "Copie", 7, 0.5), train(61, "Dessus", 7, 0.25)});
        item.setSnapshotData(data);
        const QImage image = render(item);
        VERIFY_COLOUR(image, selected, selectedTrainColour, 8);
        VERIFY_COLOUR(image, selected + QPointF(4, 0), selectedTrainColour, 40);
        VERIFY_COLOUR(image, other, trainColour, 8);
        VERIFY_COLOUR(image, other + QPointF(4, 0), background, 0); // the smaller disc
        // On the shared node the last train covers the middle; the selected one, drawn before
        // it, still shows around it.
        VERIFY_COLOUR(image, shared, trainColour, 8);
        VERIFY_COLOUR(image, shared + QPointF(4, 0), selectedTrainColour, 40);

        const auto labelArea = [](const QPointF &p) {
            return QRect(int(p.x()) + 7, int(p.y()) + 2, 70, 14);
        };
        QVERIFY(brightPixels(image, labelArea(selected)) > 20);
        QCOMPARE(brightPixels(image, labelArea(other)) > 20, otherLabelled);
    }

    void trainLabelLandsLikeText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("fraction");
        QTest::addColumn<QString>("label");
        QTest::newRow("plain") << "IC 12" << 0.4567 << QStringLiteral("IC 12 · 45.7%");
        QTest::newRow("accents") << QStringLiteral("Fantôme Évry") << 1.0
                                 << QStringLiteral("Fantôme Évry · 100.0%");
        QTest::newRow("trailing space") << "TER " << 0.0 << QStringLiteral("TER  · 0.0%");
        QTest::newRow("no name") << "" << 0.25 << QStringLiteral(" · 25.0%");
        QTest::newRow("kerning pairs") << "AVA Tw" << 0.7071 << QStringLiteral("AVA Tw · 70.7%");
    }

    void trainLabelLandsLikeText()
    {
        QFETCH(QString, name);
        QFETCH(double, fraction);
        QFETCH(QString, label);
        MapItem item;
        prepare(item);
        const QPointF p(100.5, 100.5);
        QVariantMap data = liveData({nodeAt(item, 5, p)});
        data.insert("trains", QVariantList{train(50, name, 5, fraction)});
        item.setSnapshotData(data);
        // Drawn in parts the first time, then whole (laid out anew, then kept): all alike.
        const QImage image = render(item);
        QCOMPARE(render(item), image);
        QCOMPARE(render(item), image);
        // The same label drawn as plain text with its baseline origin at P + (7, 14).
        QImage expected = image;
        QPainter painter(&expected);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.fillRect(QRectF(p.x() + 6, p.y(), 200, 20), background);
        painter.setFont(QFont(QStringLiteral("Segoe UI"), 9));
        painter.setPen(QColor(0xf1, 0xee, 0xd6));
        painter.drawText(p + QPointF(7, 14), label);
        painter.end();
        int differing = 0;
        for (int y = int(p.y()); y < int(p.y()) + 20; ++y) {
            for (int x = int(p.x()) + 6; x < int(p.x()) + 206; ++x)
                differing += distance(image.pixelColor(x, y), expected.pixelColor(x, y)) > 2;
        }
        QCOMPARE(differing, 0);
        QVERIFY(brightPixels(image, QRect(int(p.x()) + 7, int(p.y()) + 2, 80, 14)) > 20);
    }

    void stampedSymbolsMatchDirectDrawing_data()
    {
        QTest::addColumn<double>("deviceScale");
        QTest::addColumn<QPointF>("origin");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("clipped");
        // Anchors on whole or quarter device pixels, where stamps sit exactly.
        const int argb = QImage::Format_ARGB32_Premultiplied;
        const int rgba = QImage::Format_RGBA8888_Premultiplied; // what Qt Quick paints into
        QTest::newRow("scale 1") << 1.0 << QPointF(30.5, 60.5) << argb << false;
        QTest::newRow("scale 1, RGBA") << 1.0 << QPointF(30.5, 60.5) << rgba << false;
        QTest::newRow("scale 1, clipped") << 1.0 << QPointF(30.5, 60.5) << rgba << true;
        QTest::newRow("device scale 1.25") << 1.25 << QPointF(30.4, 60.4) << argb << false;
        QTest::newRow("device scale 2") << 2.0 << QPointF(30.25, 60.5) << rgba << true;
        QTest::newRow("RGB32 image")
            << 1.0 << QPointF(30.5, 60.5) << int(QImage::Format_RGB32) << false;
    }

    void stampedSymbolsMatchDirectDrawing()
    {
        // Symbols are stamped from cached images when the painter only scales and translates at
        // full opacity, and drawn directly otherwise (here: an opacity that the raster engine
        // rounds to full).
        QFETCH(double, deviceScale);
        QFETCH(QPointF, origin);
        QFETCH(int, format);
        QFETCH(bool, clipped);
        MapItem item;
        prepare(item, 1.0);
        QVector<SdkTrackNode> nodes;
        QVariantList signalList, trains, reservations, occupations;
        QStringList path;
        for (int i = 0; i < 12; ++i) {
            const QPointF p = origin + QPointF((i % 6) * 60, (i / 6) * 120);
            nodes.append(nodeAt(item, 100 + i, p, i % 3 == 0 ? 101 + i : 0));
            signalList.append(signalEntry(100 + i, i % 4 == 1, i % 4 == 2, i % 2 == 0, i));
            trains.append(train(500 + i, QStringLiteral("T%1").arg(i), 100 + i, 0.1 * i));
            if (i % 3 == 0)
                reservations.append(usage(500, 100 + i));
            else
                occupations.append(usage(500 + i, 100 + i));
            path.append(idText(100 + i));
        }
        QVariantMap data = liveData(nodes);
        data.insert("mapSignals", signalList);
        data.insert("trains", trains);
        data.insert("selectedTrainId", idText(503));
        data.insert("mapPath", path);
        data.insert("pathAvailable", true);
        data.insert("reservationsAvailable", true);
        data.insert("occupationsAvailable", true);
        data.insert("mapReservations", reservations);
        data.insert("mapOccupations", occupations);
        item.setSnapshotData(data);
        item.setShowCalculatedPath(true);

        const QSize deviceSize(int(itemWidth * deviceScale), int(itemHeight * deviceScale));
        const auto renderScaled = [&](double opacity) {
            QImage image(deviceSize, QImage::Format(format));
            image.fill(Qt::magenta);
            QPainter painter(&image);
            painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
            // Qt Quick clips its painter to the part of the item to repaint.
            if (clipped)
                painter.setClipRect(QRect(40, 30, deviceSize.width() / 2, deviceSize.height() / 2));
            painter.scale(deviceScale, deviceScale);
            painter.setOpacity(opacity);
            item.paint(&painter);
            return image;
        };
        const QImage stamped = renderScaled(1.0);
        const QImage direct = renderScaled(0.9999999);

        int worst = 0;
        for (int y = 0; y < stamped.height(); ++y) {
            for (int x = 0; x < stamped.width(); ++x)
                worst =
                    std::max(worst, distance(stamped.pixelColor(x, y), direct.pixelColor(x, y)));
        }
        QVERIFY2(worst <= 6, QByteArray::number(worst));
        QVERIFY(brightPixels(stamped, stamped.rect()) > 1000);
    }

    void trainLabelTexts_data()
    {
        QTest::addColumn<QVariantMap>("train");
        QTest::addColumn<QString>("label");
        QTest::newRow("fraction") << train(1, "IC 12", 1, 0.4567)
                                  << QStringLiteral("IC 12 · 45.7%");
        QTest::newRow("end of track") << train(1, "TER", 1, 1.0) << QStringLiteral("TER · 100.0%");
        QVariantMap noFraction = train(1, "Fret", 1, 0);
        noFraction.remove("fraction");
        QTest::newRow("no fraction") << noFraction << QStringLiteral("Fret · 0.0%");
    }

    void trainLabelTexts()
    {
        QFETCH(QVariantMap, train);
        QFETCH(QString, label);
        QCOMPARE(MapOverlay::trainLabel(train), label);
    }

    void fallbackSymbols()
    {
        MapItem item;
        prepare(item);
        const QPointF circle(60.5, 100.5), balise(140.5, 100.5), marker(220.5, 100.5),
            both(300.5, 100.5);
        QVariantMap data = liveData({nodeAt(item, 1, circle), nodeAt(item, 2, balise),
                                     nodeAt(item, 3, marker), nodeAt(item, 4, both)});
        data.insert("mapSignals", QVariantList{signalEntry(1, false, false, false, 0),
                                               signalEntry(2, false, true, false, 0),
                                               signalEntry(3, true, false, false, 0),
                                               signalEntry(4, true, true, false, 0),
                                               signalEntry(77, false, false, true, 1)});
        item.setSnapshotData(data);
        const QImage image = render(item);

        VERIFY_COLOUR(image, circle + QPointF(0, -4), signalColour, 12); // stem
        VERIFY_COLOUR(image, circle + QPointF(3, -11), signalColour, 40);
        VERIFY_COLOUR(image, circle + QPointF(0, -11), background, 0); // filled with the brush
        VERIFY_COLOUR(image, circle + QPointF(3, -14), background, 8); // round, not square

        VERIFY_COLOUR(image, balise + QPointF(0, -4), signalColour, 12);
        VERIFY_COLOUR(image, balise + QPointF(3, -14), signalColour, 40);
        VERIFY_COLOUR(image, balise + QPointF(0, -11), background, 0);

        for (const QPointF &p : {marker, both}) {
            VERIFY_COLOUR(image, p + QPointF(0, -4), markerColour, 12);
            VERIFY_COLOUR(image, p + QPointF(6, -15), markerColour, 40);
            VERIFY_COLOUR(image, p + QPointF(-6, -22), markerColour, 40);
            // The "M" inside the box.
            QVERIFY(brightPixels(image, QRect(int(p.x()) - 4, int(p.y()) - 20, 8, 9)) > 5);
        }
        // No state available: no label.
        QCOMPARE(brightPixels(image, QRect(int(circle.x()) + 6, int(circle.y()) - 21, 18, 12)), 0);
    }

    void stateLabelAboveScale_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("labelled");
        QTest::newRow("scale 1") << 1.0 << true;
        QTest::newRow("scale 0.0800001") << 0.0800001 << true;
        QTest::newRow("scale 0.08") << 0.08 << false;
    }

    void stateLabelAboveScale()
    {
        QFETCH(double, scale);
        QFETCH(bool, labelled);
        MapItem item;
        prepare(item, scale);
        const QPointF p(100.5, 150.5);
        QVariantMap data = liveData({nodeAt(item, 1, p)});
        data.insert("mapSignals", QVariantList{signalEntry(1, false, false, true, 3)});
        item.setSnapshotData(data);
        const QImage image = render(item);
        const QRect label(int(p.x()) + 6, int(p.y()) - 21, 18, 12);
        QCOMPARE(brightPixels(image, label) > 5, labelled);

        // The label reads "E3": the same text drawn by hand lands on the same pixels.
        if (labelled) {
            QImage expected(image.size(), QImage::Format_ARGB32_Premultiplied);
            expected.fill(background);
            QPainter painter(&expected);
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.setPen(
                QPen(QBrush(signalColour), 1.5, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
            painter.drawText(p + QPointF(6, -9), QStringLiteral("E3"));
            painter.end();
            for (int y = label.top(); y <= label.bottom(); ++y) {
                for (int x = label.left(); x <= label.right(); ++x)
                    QCOMPARE(image.pixelColor(x, y), expected.pixelColor(x, y));
            }
        }
    }

    void texturesInTheirPlacedRectangles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString red = writeImage(dir, "red.png", QSize(100, 50), Qt::red);
        const QString blue = writeImage(dir, "blue.png", QSize(64, 64), Qt::blue);
        const QString broken = dir.filePath("broken.png");
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not an image");
        file.close();
        const QString missing = dir.filePath("missing.png");

        MapItem item;
        prepare(item);
        const QPointF p(200.5, 250.5), q(60.5, 250.5), r(340.5, 250.5);
        QVariantMap data = liveData({nodeAt(item, 1, p), nodeAt(item, 2, q), nodeAt(item, 3, r)});
        data.insert("mapSignals", QVariantList{signalEntry(1, false, false, true, 1, red),
                                               signalEntry(1, false, false, true, 2, blue),
                                               signalEntry(2, false, false, true, 0, broken),
                                               signalEntry(3, false, false, false, 4, missing)});
        item.setSnapshotData(data);
        const QImage image = render(item);

        // 100 x 50 drawn at 64 x 32, its bottom 3 px above the track point.
        const QRectF redSpot(p + QPointF(-32, -35), QSizeF(64, 32));
        VERIFY_COLOUR(image, redSpot.center(), Qt::red, 0);
        VERIFY_COLOUR(image, redSpot.topLeft() + QPointF(1, 1), Qt::red, 0);
        VERIFY_COLOUR(image, redSpot.bottomRight() - QPointF(1, 1), Qt::red, 0);
        VERIFY_COLOUR(image, redSpot.topLeft() - QPointF(1, 1), background, 0);
        // The base spot of the blue one overlaps the red one: it goes 70 px to the right.
        const QRectF blueSpot(p + QPointF(-32 + 70, -67), QSizeF(64, 64));
        VERIFY_COLOUR(image, blueSpot.center(), Qt::blue, 0);
        VERIFY_COLOUR(image, blueSpot.topLeft() + QPointF(1, 1), Qt::blue, 0);
        VERIFY_COLOUR(image, p + QPointF(0, -67 + 5), background, 0);
        // Leader line from the track point to the bottom middle of the blue texture.
        VERIFY_COLOUR(image, (p + QPointF(blueSpot.center().x(), blueSpot.bottom())) / 2,
                      signalColour, 60);

        // A file that is not an image: fallback symbol and the state label E0.
        VERIFY_COLOUR(image, q + QPointF(3, -11), signalColour, 40);
        QVERIFY(brightPixels(image, QRect(int(q.x()) + 6, int(q.y()) - 21, 18, 12)) > 5);
        QVERIFY(item.textureCache().contains(broken));
        // State not available: the cache is not touched, and no label.
        QVERIFY(!item.textureCache().contains(missing));
        QCOMPARE(brightPixels(image, QRect(int(r.x()) + 6, int(r.y()) - 21, 18, 12)), 0);
        QCOMPARE(item.textureCache().size(), 3);
    }

    void textureCacheDecodesSmallAndStaysBounded()
    {
        QTemporaryDir dir;
        const QString wide = writeImage(dir, "wide.png", QSize(100, 50), Qt::green);
        const QString big = writeImage(dir, "big.png", QSize(600, 300), Qt::green);
        SignalTextureCache cache;
        QCOMPARE(cache.image(wide).size(), QSize(192, 96));
        QCOMPARE(cache.image(big).size(), QSize(192, 96));
        QVERIFY(cache.image(dir.filePath("none.png")).isNull());
        for (int i = cache.size(); i < 256; ++i)
            cache.image(dir.filePath(QStringLiteral("none%1.png").arg(i)));
        QCOMPARE(cache.size(), 256);
        QVERIFY(!cache.image(wide).isNull()); // a hit does not empty the cache
        QCOMPARE(cache.size(), 256);
        const QString late = writeImage(dir, "late.png", QSize(10, 10), Qt::green);
        QCOMPARE(cache.image(late).size(), QSize(192, 192));
        QCOMPARE(cache.size(), 1);
        QVERIFY(cache.contains(late));
    }

    void extremeCoordinatesAreAbsorbed()
    {
        MapItem item;
        prepare(item);
        const double huge = 1e300;
        QVariantMap data = liveData({node(1, 2, 3, 100, 100), node(2, 1, 4, huge, -huge),
                                     node(3, 1, 0, qQNaN(), 5), node(4, 5, 0, qInf(), -qInf()),
                                     node(5, 1, 0, 2e9, 150)});
        data.insert("mapSignals", QVariantList{signalEntry(2, false, false, true, 1),
                                               signalEntry(3, true, false, true, 1),
                                               signalEntry(5, false, true, true, 1)});
        data.insert("trains", QVariantList{train(9, "X", 4, 0.5), train(8, "Y", 5, 0.5)});
        item.setSnapshotData(data);
        const QImage image = render(item);
        // The edge from node 1 towards the far node 5 still crosses the item.
        QVERIFY(brightPixels(image, image.rect()) > 0);
        item.fit();
        render(item);
        item.zoomAt(1e10, 10, 10);
        render(item);
    }

    void textureCacheReadsOnlyPlainFiles()
    {
        QTemporaryDir dir;
        SignalTextureCache cache;
        // A directory, an endless device and a pipe with no writer: none of them is read.
        QVERIFY(cache.image(dir.path()).isNull());
        QVERIFY(cache.image(QStringLiteral("/dev/zero")).isNull());
        QCOMPARE(cache.size(), 2);
#ifdef Q_OS_UNIX
        const QString pipe = dir.filePath("pipe.png");
        QVERIFY(mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        QVERIFY(cache.image(pipe).isNull());
        QCOMPARE(cache.size(), 3);
#endif
    }

    void zeroSizeDrawsNothing()
    {
        MapItem item;
        item.setSnapshotData(liveData({node(1, 0, 0, 0, 0)}));
        QImage image(10, 10, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        item.paint(&painter);
        painter.end();
        QVERIFY(item.networkImage().isNull());
        QVERIFY(item.isNetworkImageDirty());
        QCOMPARE(image.pixelColor(5, 5), QColor(Qt::magenta));
    }

    void cameraChangeRedrawsOnlyOnce()
    {
        MapItem item;
        prepare(item);
        render(item);
        const qint64 first = item.networkImage().cacheKey();
        render(item);
        QCOMPARE(item.networkImage().cacheKey(), first);
        item.setSignalSize(32);
        item.setShowCalculatedPath(true);
        render(item);
        QCOMPARE(item.networkImage().cacheKey(), first);
        item.moveView(1, 1);
        render(item);
        QVERIFY(item.networkImage().cacheKey() != first);
        const qint64 second = item.networkImage().cacheKey();
        item.setSize(QSizeF(300.5, 200)); // a new size in whole pixels
        QVERIFY(item.isNetworkImageDirty());
        render(item);
        QCOMPARE(item.networkImage().size(), QSize(300, 200));
        QVERIFY(item.networkImage().cacheKey() != second);
    }
};

QTEST_MAIN(TestMapPaint)
#include "tst_mappaint.moc"
