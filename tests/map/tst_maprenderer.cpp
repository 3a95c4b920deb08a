// The map's drawing without a window: MapRenderer into a QImage, for scenes made of data maps.
#include "MapRenderer.h"
#include "MapScene.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace MapScene;

namespace {

const QSize itemSize(400, 300);

// Scale 1 about the map point (0, 0): a node at world (x, y) shows at (x + 200, 150 - y).
QPointF worldAt(const QPointF &screen)
{
    return QPointF(screen.x() - 200, 150 - screen.y());
}

SdkTrackNode nodeAt(quint64 id, const QPointF &screen, quint64 n1 = 0, quint64 n2 = 0)
{
    const QPointF world = worldAt(screen);
    return node(id, n1, n2, world.x(), world.y());
}

// One network and the overlay of a data map, drawn by one renderer.
struct Scene
{
    MapNetwork network;
    MapOverlay overlay;
    MapRenderer::Scene scene;

    Scene(const QVariantMap &data, const QSize &size = itemSize)
    {
        network.setGeometry(data.value("mapGeometry").toByteArray());
        overlay = MapOverlay::read(data, network);
        scene.network = &network;
        scene.overlay = &overlay;
        scene.camera = MapCamera(QPointF(0, 0), 1);
        scene.size = QSizeF(size);
    }

    // The scene once the signal images it asks for have arrived, unless `waitForImages` is off.
    QImage draw(MapRenderer &renderer, bool waitForImages = true) const
    {
        QImage image(scene.size.toSize(), QImage::Format_ARGB32_Premultiplied);
        for (int pass = 0; pass < 2; ++pass) {
            image.fill(Qt::magenta);
            QPainter painter(&image);
            painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
            renderer.paint(&painter, scene);
            if (!waitForImages || !renderer.texturesPending())
                break;
            renderer.textureLoader()->waitForIdle(10000);
        }
        return image;
    }
};

QString texture(const QTemporaryDir &dir, const QString &name, const QColor &colour)
{
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(colour);
    const QString path = dir.filePath(name);
    image.save(path, "PNG");
    return path;
}

int differingPixels(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

// Pixels of a region that stand out from the background.
int brightPixels(const QImage &image, const QRect &region)
{
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += image.rect().contains(x, y) &&
                     std::max({std::abs(c.red() - 0x07), std::abs(c.green() - 0x0b),
                               std::abs(c.blue() - 0x0a)}) > 60;
        }
    return count;
}

bool anyOverlap(const QVector<QRectF> &boxes)
{
    for (int i = 0; i < boxes.size(); ++i)
        for (int j = i + 1; j < boxes.size(); ++j)
            if (boxes[i].intersects(boxes[j]))
                return true;
    return false;
}

} // namespace

class TestMapRenderer : public QObject
{
    Q_OBJECT

private slots:
    // In a 140 x 100 map with 64-pixel images, the first image takes the spot above its track;
    // the second signal's candidates all lie outside the map or on the first: it shows its
    // symbol and state label, exactly as if it had no image, and nothing else changes.
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
        const QString red = texture(dir, "red.png", Qt::red);
        const QString blue = texture(dir, "blue.png", Qt::blue);
        const QSize small(140, 100);
        const auto world = [&](const QString &secondPath) {
            // Screen points for a 140 x 100 item at scale 1 about (0, 0).
            QVariantMap data = liveData({node(1, 0, 0, -35, 33), node(2, 0, 0, -5, 33)});
            data.insert("mapSignals",
                        QVariantList{signalEntry(1, false, false, true, 3, red),
                                     signalEntry(2, false, false, true, 4, secondPath)});
            return data;
        };
        Scene withImage(world(blue), small);
        Scene withoutImage(world(QString()), small);
        withImage.scene.signalLayer = withoutImage.scene.signalLayer =
            MapRenderer::SignalLayer(layer);
        MapRenderer first, second;
        const QImage image = withImage.draw(first);
        QCOMPARE(first.lastCounts().texturesDrawn, drawn);
        QCOMPARE(first.lastCounts().texturesWithoutSpot, withoutSpot);
        QCOMPARE(differingPixels(image, withoutImage.draw(second)), 0);
        // No blue anywhere: the image that found no spot is not drawn at all.
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QVERIFY(image.pixelColor(x, y) != QColor(Qt::blue));
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
        QVariantMap data = liveData({nodeAt(1, {100.5, 100.5}), nodeAt(2, {100.5, 100.5 + apart})});
        data.insert("trains", QVariantList{train(1, "IC 1", 1, 0.5), train(2, "IC 2", 2, 0.5)});
        data.insert("selectedTrainId", selected ? idText(quint64(selected)) : QString());
        Scene scene(data);
        MapRenderer renderer;
        const QImage image = scene.draw(renderer);
        const MapRenderer::Counts &counts = renderer.lastCounts();
        QCOMPARE(counts.trainLabelsDrawn, drawn);
        QCOMPARE(counts.trainLabelsLeftOut, 2 - drawn);
        QVERIFY(!anyOverlap(counts.trainLabelBoxes));
        if (!shown.isEmpty()) {
            // The label kept is the one of that train: its baseline 14 pixels below the train.
            const double ascent = QFontMetricsF(QFont("Segoe UI", 9), &image).ascent();
            const double trainY = shown == "IC 1" ? 100.5 : 100.5 + apart;
            QCOMPARE(counts.trainLabelBoxes.first().top(), trainY + 14 - ascent);
        }
        QVERIFY(brightPixels(image, image.rect()) > 20);
    }

    // Station names never overlap; where two would, the one with more tracks wins.
    void stationNamesDoNotOverlap()
    {
        QVariantMap data = liveData({nodeAt(1, {0.5, 0.5})});
        QVariantList stations;
        // Five stations on a small cluster, the largest listed last; one far away.
        for (int i = 0; i < 5; ++i) {
            const QPointF world = worldAt(QPointF(150 + 6 * i, 150 + 4 * i));
            stations.append(QVariantMap{{"name", QString("Gare %1").arg(i)},
                                        {"x", world.x()},
                                        {"y", world.y()},
                                        {"trackCount", i + 1}});
        }
        const QPointF far = worldAt(QPointF(320, 40));
        stations.append(
            QVariantMap{{"name", "Loin"}, {"x", far.x()}, {"y", far.y()}, {"trackCount", 1}});
        data.insert("mapStations", stations);
        Scene scene(data);
        MapRenderer renderer;
        scene.draw(renderer);
        const MapRenderer::Counts &counts = renderer.lastCounts();
        QCOMPARE(counts.stationNamesDrawn, 2);
        QVERIFY(!anyOverlap(counts.stationNameBoxes));
        // The largest of the cluster (Gare 4, at 174, 166) is the one named there.
        QVERIFY(counts.stationNameBoxes[0].contains(QPointF(174, 166)));

        scene.scene.stationNames = false;
        scene.draw(renderer);
        QCOMPARE(renderer.lastCounts().stationNamesDrawn, 0);
    }

    // However the view moved meanwhile, the paint once it rests is the exact drawing: the same
    // pixels as a renderer that never moved.
    void restingAfterAMovementIsExact()
    {
        QTemporaryDir dir;
        const QString red = texture(dir, "red.png", Qt::red);
        QVector<SdkTrackNode> nodes;
        QVariantList signalList, trains;
        // A grid of linked nodes with signals and trains, larger than the item.
        for (int i = 0; i < 12; ++i) {
            for (int j = 0; j < 9; ++j) {
                const quint64 id = quint64(1 + i * 9 + j);
                nodes.append(node(id, j + 1 < 9 ? id + 1 : 0, i + 1 < 12 ? id + 9 : 0,
                                  -300 + 55.0 * i, -220 + 50.0 * j));
                if ((i + j) % 3 == 0)
                    signalList.append(signalEntry(id, j % 4 == 0, i % 5 == 0, true, i % 4,
                                                  (i + j) % 2 ? red : QString()));
                if ((i * j) % 7 == 1)
                    trains.append(train(id, QString("T%1").arg(id), id, 0.25));
            }
        }
        QVariantMap data = liveData(nodes);
        data.insert({{"mapSignals", signalList}, {"trains", trains}});
        Scene scene(data);
        MapRenderer moved, fresh;
        scene.draw(moved);
        scene.scene.moving = true;
        const QPointF steps[] = {{10, -3}, {25, 7}, {-4, 30}, {0.5, 0}, {-60, -12}};
        bool shifted = false;
        for (const QPointF &step : steps) {
            scene.scene.camera =
                MapCamera(scene.scene.camera.centre() - step, scene.scene.camera.scale());
            scene.draw(moved);
            shifted = shifted || moved.lastCounts().frameShifted;
        }
        QVERIFY(shifted); // the movement did take the quick way
        // A wheel step: the frame is scaled meanwhile.
        scene.scene.camera = MapCamera(scene.scene.camera.centre(), 1.3);
        scene.draw(moved);
        QVERIFY(moved.lastCounts().frameScaled);
        scene.scene.moving = false;
        const QImage rested = scene.draw(moved);
        QVERIFY(moved.lastCounts().networkRedrawn);
        QCOMPARE(differingPixels(rested, scene.draw(fresh)), 0);
    }

    // While the data are not live the map says why in its middle.
    void statusWhileNotLive_data()
    {
        QTest::addColumn<bool>("live");
        QTest::newRow("live") << true;
        QTest::newRow("connecting") << false;
    }

    void statusWhileNotLive()
    {
        QFETCH(bool, live);
        QVariantMap data = liveData({nodeAt(1, {10.5, 10.5})});
        data.insert({{"live", live}, {"status", QStringLiteral("Connexion…")}});
        Scene scene(data);
        MapRenderer renderer;
        const QImage image = scene.draw(renderer);
        QCOMPARE(brightPixels(image, QRect(150, 135, 100, 30)) > 20, !live);
    }

    // Broken input is drawn or skipped, never a crash; a node that is not a number does not lose
    // the others.
    void badInputIsSkipped_data()
    {
        QTest::addColumn<QVariantMap>("data");
        QTest::addColumn<bool>("networkDrawn");
        const double inf = std::numeric_limits<double>::infinity();
        QVariantMap nan = liveData({node(1, 2, 0, 0, 0), node(2, 1, 0, 100, 50),
                                    node(3, 1, 0, qQNaN(), 5), node(4, 1, 0, inf, -inf)});
        QTest::newRow("not-a-number and infinite nodes") << nan << true;
        QTest::newRow("huge coordinates")
            << liveData(
                   {node(1, 2, 0, -1e300, 0), node(2, 1, 3, 1e300, 1e-300), node(3, 0, 0, 5, 5)})
            << true; // the far edge still crosses the item
        QVariantMap odd = liveData({node(1, 2, 0, 0, 0), node(2, 1, 0, 100, 50)});
        odd.insert("trains", QVariantList{train(5, QString(300, QChar(u'é')), 1, 0.5),
                                          train(6, "nowhere", 99, 0.5)});
        odd.insert(
            "mapStations",
            QVariantList{
                QVariantMap{{"name", "Vide"}, {"x", 0}, {"y", 0}, {"trackCount", 0}},
                QVariantMap{
                    {"name", QString(300, QChar('G'))}, {"x", 10}, {"y", 10}, {"trackCount", 3}},
                QVariantMap{{"name", "NaN"}, {"x", qQNaN()}, {"trackCount", 2}}});
        odd.insert("mapSignals", QVariantList{signalEntry(99, false, false, true, 1)});
        QTest::newRow("long names, missing tracks, empty stations") << odd << true;
    }

    void badInputIsSkipped()
    {
        QFETCH(QVariantMap, data);
        QFETCH(bool, networkDrawn);
        Scene scene(data);
        MapCamera camera;
        QVERIFY(camera.fit(scene.network.mapBounds(), QSizeF(itemSize)));
        QVERIFY(std::isfinite(camera.centre().x()) && std::isfinite(camera.centre().y()));
        scene.scene.camera = camera;
        MapRenderer renderer;
        const QImage image = scene.draw(renderer);
        QCOMPARE(brightPixels(image, image.rect()) > 50, networkDrawn);
        // Station names are elided: the long one stays within a sensible width.
        for (const QRectF &box : renderer.lastCounts().stationNameBoxes)
            QVERIFY(box.width() < 300);
    }
};

QTEST_MAIN(TestMapRenderer)
#include "tst_maprenderer.moc"
