// The overview inset: its frame of the whole network, from inset pixels to map points and back,
// and a click or a drag in it that moves the map's view.
#include "MapItem.h"
#include "MapOverviewItem.h"
#include "MapScene.h"
#include "OverviewFrame.h"

#include <QQuickWindow>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace MapScene;

namespace {
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

MapNetwork::Bounds boundsOf(const QVector<SdkTrackNode> &nodes)
{
    MapNetwork network;
    network.setGeometry(blob(nodes));
    return network.mapBounds();
}
} // namespace

class TestMapOverview : public QObject
{
    Q_OBJECT

private slots:
    void insetToMap_data()
    {
        QTest::addColumn<QVector<SdkTrackNode>>("nodes");
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QPointF>("inset");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QPointF>("expected"); // map coordinates: world y flipped
        QTest::addColumn<bool>("heldToEdge");
        // A 100 x 100 network in a 112-pixel inset: 6 pixels of margin, one pixel per unit.
        const QVector<SdkTrackNode> square{node(1, 2, 0, 0, 0), node(2, 1, 0, 100, 100)};
        const QSizeF inset(112, 112);
        const auto row = [](const char *tag, const QVector<SdkTrackNode> &nodes, QSizeF size,
                            QPointF inset, bool valid, QPointF expected, bool heldToEdge) {
            QTest::newRow(tag) << nodes << size << inset << valid << expected << heldToEdge;
        };
        row("middle", square, inset, QPointF(56, 56), true, QPointF(50, -50), false);
        row("corner", square, inset, QPointF(6, 6), true, QPointF(0, -100), false);
        row("out of the inset held to the edge", square, inset, QPointF(-500, 1000), true,
            QPointF(0, 0), true);
        // 200 x 50: half a pixel per unit, centred across.
        const QVector<SdkTrackNode> wide{node(1, 2, 0, 0, 0), node(2, 1, 0, 200, 50)};
        row("wide: left edge", wide, inset, QPointF(6, 56), true, QPointF(0, -25), false);
        row("wide: above the network", wide, inset, QPointF(56, 6), true, QPointF(100, -50), true);
        row("one node", QVector<SdkTrackNode>{node(1, 0, 0, 7, 3)}, inset, QPointF(90, 20), true,
            QPointF(7, -3), true);
        // No width: framed as one unit wide, so the height decides the scale.
        const QVector<SdkTrackNode> upright{node(1, 2, 0, 5, 0), node(2, 1, 0, 5, 100)};
        row("zero width", upright, inset, QPointF(56, 6), true, QPointF(5, -100), false);
        row("zero width: beside", upright, inset, QPointF(100, 56), true, QPointF(5, -50), true);
        row("node that is not a number left out",
            QVector<SdkTrackNode>{node(1, 0, 0, 0, 0), node(2, 0, 0, notANumber, 5),
                                  node(3, 0, 0, 100, 100)},
            inset, QPointF(56, 56), true, QPointF(50, -50), false);
        row("point that is not a number", square, inset, QPointF(notANumber, 10), true, QPointF(),
            false);
        row("no finite node", QVector<SdkTrackNode>{node(1, 0, 0, notANumber, notANumber)}, inset,
            QPointF(56, 56), false, QPointF(), false);
        row("inset smaller than its margins", square, QSizeF(12, 112), QPointF(6, 56), false,
            QPointF(), false);
        row("inset that is not a number", square, QSizeF(notANumber, 112), QPointF(6, 56), false,
            QPointF(), false);
        row("bounds wider than a double",
            QVector<SdkTrackNode>{node(1, 0, 0, -1e308, 0), node(2, 0, 0, 1e308, 0)}, inset,
            QPointF(56, 56), false, QPointF(), false);
    }

    void insetToMap()
    {
        QFETCH(QVector<SdkTrackNode>, nodes);
        QFETCH(QSizeF, size);
        QFETCH(QPointF, inset);
        QFETCH(bool, valid);
        QFETCH(QPointF, expected);
        QFETCH(bool, heldToEdge);
        const OverviewFrame frame(boundsOf(nodes), size);
        QCOMPARE(frame.isValid(), valid);
        const std::optional<QPointF> point = frame.toMap(inset);
        QCOMPARE(point.has_value(), valid && std::isfinite(inset.x()));
        if (!point)
            return;
        QCOMPARE(*point, expected);
        // And back: the inset point itself, or the edge it was held to.
        const QPointF back = frame.toInset(*point);
        if (!heldToEdge)
            QCOMPARE(back, inset);
        QVERIFY(QRectF(QPointF(0, 0), size).contains(back));
        QCOMPARE(frame.toMap(back), point);
    }

    // Zoomed in, the inset is needed; a click in it centres the view on the point under it, a
    // drag follows, out of the inset along its edge. The network's picture is drawn once. It
    // hides when the view shows the whole network, but not under the pointer.
    void clickAndDragMoveTheView()
    {
        QQuickWindow window;
        window.resize(600, 400);
        MapItem map(window.contentItem());
        map.setSize(QSizeF(600, 400));
        map.setSnapshotData(
            liveData({node(1, 2, 0, 0, 0), node(2, 1, 3, 1000, 1000), node(3, 2, 0, 1000, 0)}));
        MapOverviewItem overview(window.contentItem());
        QSignalSpy moved(&overview, &MapOverviewItem::viewMoved);
        overview.setMap(&map);
        overview.setSize(QSizeF(overview.implicitWidth(), overview.implicitHeight()));
        overview.setPosition(QPointF(390, 10));
        QCOMPARE(overview.size(), QSizeF(200, 200));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!overview.needed());
        map.zoomAt(8, 300, 200);
        QVERIFY(overview.needed());

        const auto centreAfter = [&](const QPoint &insetPoint) {
            return overview.frame().toMap(insetPoint).value();
        };
        QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(440, 160));
        QCOMPARE(map.viewCentre(), centreAfter(QPoint(50, 150)));
        QCOMPARE(moved.size(), 1);
        window.grabWindow();
        QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(500, 60));
        QTest::mouseMove(&window, QPoint(520, 80));
        QCOMPARE(map.viewCentre(), centreAfter(QPoint(130, 70)));
        QTest::mouseMove(&window, QPoint(590, 300));
        QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(590, 300));
        QCOMPARE(map.viewCentre(), QPointF(1000, 0));
        QCOMPARE(moved.size(), 4);
        // The view's rectangle is drawn where the view is, over a picture drawn only once.
        const QImage shown = window.grabWindow();
        QCOMPARE(overview.painter().pictureDraws(), 1);
        const QRectF view =
            overview.frame().viewRect(MapCamera(map.viewCentre(), map.scale()), map.size());
        const QPoint corner = (view.topLeft() + overview.position()).toPoint();
        const auto near = [&](const QColor &colour, const QColor &wanted) {
            return std::abs(colour.red() - wanted.red()) +
                       std::abs(colour.green() - wanted.green()) +
                       std::abs(colour.blue() - wanted.blue()) <
                   60;
        };
        bool drawn = false;
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                drawn =
                    drawn || near(shown.pixelColor(corner + QPoint(dx, dy)), overview.viewColor());
        QVERIFY(drawn);
        // Held by the pointer it stays, though the view shows the whole network for a moment.
        QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(490, 110));
        map.fit();
        QVERIFY(overview.needed());
        QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(490, 110));
        QVERIFY(!overview.needed());
    }
};

QTEST_MAIN(TestMapOverview)
#include "tst_mapoverview.moc"
