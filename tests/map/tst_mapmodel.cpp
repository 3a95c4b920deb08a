#include "MapItem.h"
#include "MapScene.h"

#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

using namespace MapScene;

namespace {

// Stands in for the backend: a QVariantMap property "data" and a changed() signal.
class FakeBackend : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariantMap data READ data NOTIFY changed)

public:
    QVariantMap data() const { return m_data; }
    void publish(const QVariantMap &data)
    {
        m_data = data;
        emit changed();
    }

signals:
    void changed();

private:
    QVariantMap m_data;
};

QVariantMap geometryOnly(const QByteArray &bytes)
{
    return QVariantMap{{QStringLiteral("mapGeometry"), bytes}};
}

// The map point under a screen point, by the inverse of the screen transform.
QPointF mapPointAt(const MapItem &item, double x, double y)
{
    return item.viewCentre() + QPointF(x - item.width() / 2, y - item.height() / 2) / item.scale();
}

} // namespace

class TestMapModel : public QObject
{
    Q_OBJECT

private slots:
    void blobLengths_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("nodes");
        QTest::newRow("empty") << 0 << 0;
        QTest::newRow("partial record only") << 39 << 0;
        QTest::newRow("one record") << 40 << 1;
        QTest::newRow("85 bytes") << 85 << 2;
        QTest::newRow("three records") << 120 << 3;
    }

    void blobLengths()
    {
        QFETCH(int, length);
        QFETCH(int, nodes);
        QByteArray bytes = blob({node(1, 2, 0, 0, 0), node(2, 1, 0, 10, 0), node(3, 0, 0, 5, 5)});
        bytes.append(QByteArray(8, '\x7f'));
        bytes.truncate(length);
        MapItem item;
        item.setSize(QSizeF(800, 600));
        item.setSnapshotData(geometryOnly(bytes));
        QCOMPARE(item.network().nodes().size(), nodes);
        QCOMPARE(item.network().degrees().size(), nodes);
        if (nodes >= 2)
            QCOMPARE(item.network().indexOf(2), 1);
    }

    void emptyNetworkDoesNothing()
    {
        MapItem item;
        item.setSize(QSizeF(800, 600));
        item.setSnapshotData(QVariantMap{
            {QStringLiteral("mapGeometry"), QByteArray()},
            {QStringLiteral("trains"), QVariantList{train(5, QStringLiteral("IC 12"), 0, 0.5)}}});
        item.fit();
        QCOMPARE(item.scale(), 1.0);
        QCOMPARE(item.viewCentre(), QPointF(0, 0));
        QVERIFY(item.trainsAt(400, 300).isEmpty());
    }

    void sameBlobRebuildsNothing()
    {
        MapItem item;
        item.setSize(QSizeF(800, 600));
        QSignalSpy changed(&item, &MapItem::dataChanged);
        const QVector<SdkTrackNode> nodes{node(1, 2, 0, 0, 0), node(2, 0, 0, 100, 50)};
        item.setSnapshotData(liveData(nodes));
        QImage target(800, 600, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&target);
        item.paint(&painter);
        QVERIFY(!item.isNetworkImageDirty());
        const qint64 imageKey = item.networkImage().cacheKey();

        // A copy of the bytes in a new buffer, as every capture produces.
        QVariantMap again = liveData(nodes);
        again.insert(QStringLiteral("trains"), QVariantList());
        item.setSnapshotData(again);
        QCOMPARE(changed.count(), 2);
        QVERIFY(!item.isNetworkImageDirty());
        item.paint(&painter);
        QCOMPARE(item.networkImage().cacheKey(), imageKey);
        QCOMPARE(item.snapshotData(), again);

        // A different network invalidates the image but keeps the camera.
        item.moveView(10, 0);
        item.paint(&painter);
        const QPointF centre = item.viewCentre();
        const double scale = item.scale();
        item.setSnapshotData(liveData({node(7, 0, 0, 5000, 5000)}));
        QVERIFY(item.isNetworkImageDirty());
        QCOMPARE(item.viewCentre(), centre);
        QCOMPARE(item.scale(), scale);

        // A map without nodes empties the tables.
        item.setSnapshotData(QVariantMap());
        QVERIFY(item.network().isEmpty());
        QCOMPARE(item.network().indexOf(7), -1);
    }

    void duplicateIdsKeepTheFirst()
    {
        MapItem item;
        item.setSnapshotData(liveData(
            {node(9, 0, 0, 1, 1), node(4, 9, 0, 2, 2), node(9, 4, 0, 3, 3), node(9, 0, 0, 4, 4)}));
        QCOMPARE(item.network().nodes().size(), 4);
        QCOMPARE(item.network().indexOf(9), 0);
        QCOMPARE(item.network().indexOf(4), 1);
        // Node 4 links to 9 and reaches the first record, which does not link back: one each.
        // The second record 9 links to 4, which names id 9 and has the smaller id: the pair
        // counts as already counted from 4's side.
        QCOMPARE(item.network().degrees(), (QVector<quint32>{1, 1, 0, 0}));
    }

    void degreeCounts()
    {
        // 1 and 2 name each other: one link. 3 links to 1 one-way. 4 links to 1 and to 5,
        // and 5 links back to 4. 6 links to a missing node and to itself.
        MapItem item;
        item.setSnapshotData(
            liveData({node(1, 2, 0, 0, 0), node(2, 1, 0, 1, 0), node(3, 1, 99, 2, 0),
                      node(4, 1, 5, 3, 0), node(5, 4, 4, 4, 0), node(6, 77, 6, 5, 0)}));
        const QVector<quint32> &degrees = item.network().degrees();
        QCOMPARE(degrees[0], 3u); // junction: 2, 3, 4
        QCOMPARE(degrees[1], 1u);
        QCOMPARE(degrees[2], 1u);
        QCOMPARE(degrees[3], 2u);
        QCOMPARE(degrees[4], 1u); // names 4 twice, and 4 names it back: counted from 4 only
        QCOMPARE(degrees[5], 2u); // a self link adds 1 twice to the same node
    }

    void idTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("upper case") << QStringLiteral("00000000000000FF") << 0;
        QTest::newRow("lower case") << QStringLiteral("00000000000000ff") << 0;
        QTest::newRow("above 2^53") << QStringLiteral("FFFFFFFFFFFFFFFE") << 1;
        QTest::newRow("not hexadecimal") << QStringLiteral("zz") << -1;
        QTest::newRow("empty") << QString() << -1;
        QTest::newRow("too long") << QStringLiteral("1FFFFFFFFFFFFFFFF") << -1;
    }

    void idTexts()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        MapItem item;
        item.setSnapshotData(
            liveData({node(255, 0, 0, 0, 0), node(0xFFFFFFFFFFFFFFFEull, 0, 0, 1, 1)}));
        QCOMPARE(item.network().indexOfIdText(text), expected);
    }

    void lookUpAroundTheIds_data()
    {
        QTest::addColumn<quint64>("base");
        QTest::addColumn<quint64>("spread");
        QTest::newRow("close ids") << quint64(100) << quint64(2);
        QTest::newRow("close ids near the top") << quint64(0xFFFFFFFFFFFFFF00ull) << quint64(3);
        QTest::newRow("scattered ids") << quint64(7) << quint64(0x100000000000ull);
    }

    void lookUpAroundTheIds()
    {
        QFETCH(quint64, base);
        QFETCH(quint64, spread);
        const quint64 a = base, b = base + spread, c = base + 2 * spread;
        MapItem item;
        item.setSnapshotData(liveData(
            {node(b, 0, 0, 0, 0), node(a, 0, 0, 1, 1), node(c, 0, 0, 2, 2), node(b, 0, 0, 3, 3)}));
        QCOMPARE(item.network().indexOf(a), 1);
        QCOMPARE(item.network().indexOf(b), 0);
        QCOMPARE(item.network().indexOf(c), 2);
        QCOMPARE(item.network().indexOf(a - 1), -1);
        QCOMPARE(item.network().indexOf(c + 1), -1);
        QCOMPARE(item.network().indexOf(b + 1), -1);
        QCOMPARE(item.network().indexOf(0), -1);
    }

    void unparsableTextFindsNodeZero()
    {
        // Text that does not parse reads as id 0, and a node may carry id 0.
        MapItem item;
        item.setSnapshotData(liveData({node(5, 0, 0, 0, 0), node(0, 0, 0, 1, 1)}));
        QCOMPARE(item.network().indexOfIdText(QStringLiteral("garbage")), 1);
    }

    void fitFramesTheNetwork_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QVector<SdkTrackNode>>("nodes");
        QTest::addColumn<QPointF>("centre");
        QTest::addColumn<double>("scale");
        QTest::newRow("one node") << QSizeF(800, 600) << QVector<SdkTrackNode>{node(1, 0, 0, 7, 3)}
                                  << QPointF(7, -3) << 510.0;
        QTest::newRow("40 pixels wide")
            << QSizeF(40, 600) << QVector<SdkTrackNode>{node(1, 0, 0, 7, 3)} << QPointF(7, -3)
            << 1e-7;
        QTest::newRow("wide network")
            << QSizeF(850, 690)
            << QVector<SdkTrackNode>{node(1, 0, 0, -100, 10), node(2, 0, 0, 300, -190),
                                     node(3, 0, 0, 0, 0)}
            << QPointF(100, 90) << 2.0;
        QTest::newRow("tall network")
            << QSizeF(850, 690)
            << QVector<SdkTrackNode>{node(1, 0, 0, 0, 0), node(2, 0, 0, 10, 1200)}
            << QPointF(5, -600) << 0.5;
    }

    void fitFramesTheNetwork()
    {
        QFETCH(QSizeF, size);
        QFETCH(QVector<SdkTrackNode>, nodes);
        QFETCH(QPointF, centre);
        QFETCH(double, scale);
        MapItem item;
        item.setSize(size);
        item.setSnapshotData(liveData(nodes)); // auto-fit
        QCOMPARE(item.viewCentre(), centre);
        QCOMPARE(item.scale(), scale);
    }

    void autoFitOnlyOnce()
    {
        MapItem item;
        item.setSnapshotData(liveData({node(1, 0, 0, 7, 3)}));
        QCOMPARE(item.scale(), 1.0); // 0 x 0 item: nothing to fit yet
        QSignalSpy changed(&item, &MapItem::dataChanged);
        item.setSize(QSizeF(800, 600));
        QCOMPARE(item.scale(), 510.0);
        QCOMPARE(changed.count(), 0);
        item.zoomAt(0.5, 400, 300);
        item.setSize(QSizeF(900, 700));
        item.setSnapshotData(liveData({node(2, 0, 0, 100, 100)}));
        QCOMPARE(item.scale(), 50.0); // zooming never goes above 50
        QCOMPARE(item.viewCentre(), QPointF(7, -3));
    }

    void zoomKeepsTheAnchor_data()
    {
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("scale");
        QTest::newRow("in") << 1.3 << 1.3;
        QTest::newRow("clamped at 50") << 1000.0 << 50.0;
        QTest::newRow("factor 0") << 0.0 << 1e-7;
        QTest::newRow("negative factor") << -2.0 << 1e-7;
        QTest::newRow("tiny factor") << 1e-12 << 1e-7;
        QTest::newRow("not a number") << qQNaN() << 1e-7;
        QTest::newRow("infinite") << qInf() << 50.0;
    }

    void zoomKeepsTheAnchor()
    {
        QFETCH(double, factor);
        QFETCH(double, scale);
        MapItem item;
        item.setSize(QSizeF(800, 600));
        item.moveView(-123, 45); // camera still at scale 1, no nodes
        const QPointF before = mapPointAt(item, 130, 470);
        QSignalSpy changed(&item, &MapItem::dataChanged);
        item.zoomAt(factor, 130, 470);
        QCOMPARE(item.scale(), scale);
        const QPointF after = mapPointAt(item, 130, 470);
        QVERIFY(std::abs(after.x() - before.x()) < 1e-6 * std::max(1.0, std::abs(before.x())));
        QVERIFY(std::abs(after.y() - before.y()) < 1e-6 * std::max(1.0, std::abs(before.y())));
        QVERIFY(item.isNetworkImageDirty());
        QCOMPARE(changed.count(), 0);
    }

    void zoomFromTheFittedSingleNode_data()
    {
        QTest::addColumn<double>("factor");
        QTest::newRow("out") << 1 / 1.3;
        QTest::newRow("in") << 1.3;
        QTest::newRow("double click") << 2.0;
    }

    void zoomFromTheFittedSingleNode()
    {
        QFETCH(double, factor);
        MapItem item;
        item.setSize(QSizeF(800, 600));
        item.setSnapshotData(liveData({node(1, 0, 0, 0, 0)}));
        QCOMPARE(item.scale(), 510.0);
        item.zoomAt(factor, 200, 100);
        QCOMPARE(item.scale(), 50.0);
    }

    void moveViewFollowsThePointer()
    {
        MapItem item;
        item.setSize(QSizeF(800, 600));
        item.setSnapshotData(liveData({node(1, 0, 0, 0, 0), node(2, 0, 0, 750, 510)}));
        QCOMPARE(item.scale(), 1.0);
        const SdkTrackNode first = item.network().nodes()[0];
        const QPointF before = item.screenPoint(first);
        item.moveView(30, -20);
        QCOMPARE(item.screenPoint(first), before + QPointF(30, -20));
    }

    void nonFiniteMovesAreIgnored()
    {
        MapItem item;
        item.setSize(QSizeF(800, 600));
        item.moveView(10, 20);
        const QPointF centre = item.viewCentre();
        item.moveView(qQNaN(), 1);
        item.moveView(1, qInf());
        item.zoomAt(2, qQNaN(), 100);
        QCOMPARE(item.viewCentre(), centre);
        QCOMPARE(item.scale(), 1.0);
    }

    void focusTrain_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<bool>("moves");
        QTest::newRow("named node") << idText(2) << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("missing node") << idText(3) << false;
        QTest::newRow("not an id") << QStringLiteral("xyz") << false;
    }

    void focusTrain()
    {
        QFETCH(QString, selected);
        QFETCH(bool, moves);
        MapItem item;
        item.setSize(QSizeF(900, 600));
        QVariantMap data = liveData({node(1, 0, 0, 0, 0), node(2, 0, 0, 4000, 2500)});
        data.insert(QStringLiteral("selectedTrackId"), selected);
        item.setSnapshotData(data);
        const QPointF centre = item.viewCentre();
        const double scale = item.scale();
        QSignalSpy changed(&item, &MapItem::dataChanged);
        item.focusTrain();
        QCOMPARE(changed.count(), 0);
        if (moves) {
            QCOMPARE(item.viewCentre(), QPointF(4000, -2500));
            QCOMPARE(item.scale(), 0.2);
        } else {
            QCOMPARE(item.viewCentre(), centre);
            QCOMPARE(item.scale(), scale);
        }
    }

    void focusTrainScaleFloor()
    {
        MapItem item;
        item.setSize(QSizeF(100, 100));
        QVariantMap data = liveData({node(1, 0, 0, 3, 4)});
        data.insert(QStringLiteral("selectedTrackId"), idText(1));
        item.setSnapshotData(data);
        item.focusTrain();
        QCOMPARE(item.scale(), 0.05);
    }

    void trainsAtPicksWithinTenPixels_data()
    {
        QTest::addColumn<double>("dx");
        QTest::addColumn<double>("dy");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("exactly 10") << 6.0 << 8.0 << QStringList{"C", "A", "B"};
        QTest::newRow("10.01") << 10.01 << 0.0 << QStringList{"C"};
        QTest::newRow("on the first node") << 0.0 << 0.0 << QStringList{"A", "B"};
        QTest::newRow("far away") << 200.0 << 0.0 << QStringList{};
    }

    void trainsAtPicksWithinTenPixels()
    {
        QFETCH(double, dx);
        QFETCH(double, dy);
        QFETCH(QStringList, names);
        MapItem item;
        item.setSize(QSizeF(800, 600));
        // Scale 1 after fitting; node 2 lies 11 px right of node 1.
        QVariantMap data =
            liveData({node(1, 0, 0, 0, 0), node(2, 0, 0, 11, 0), node(3, 0, 0, 750, 510)});
        data.insert(
            QStringLiteral("trains"),
            QVariantList{train(10, "A", 1, 0.1), train(11, "hidden", 1, 0.1, false),
                         train(12, "B", 1, 0.9), train(13, "C", 2, 0.5), train(14, "lost", 42, 0.5),
                         QVariantMap{{"name", "bad"}, {"positioned", true}, {"track", "not hex"}}});
        item.setSnapshotData(data);
        QCOMPARE(item.scale(), 1.0);
        const QPointF p = item.screenPoint(item.network().nodes()[0]);
        const QVariantList picked = item.trainsAt(p.x() + dx, p.y() + dy);
        QStringList got;
        for (const QVariant &entry : picked)
            got.append(entry.toMap().value("name").toString());
        QCOMPARE(got, names);
        if (!picked.isEmpty())
            QCOMPARE(picked.first().toMap().size(), 5); // the whole train map
    }

    void signalSizeClamps()
    {
        MapItem item;
        QSignalSpy changed(&item, &MapItem::dataChanged);
        item.setSignalSize(64);
        QCOMPARE(changed.count(), 0);
        item.setSignalSize(10);
        QCOMPARE(item.signalSize(), 24.0);
        item.setSignalSize(200);
        QCOMPARE(item.signalSize(), 96.0);
        QCOMPARE(changed.count(), 2);
        item.setSignalSize(qQNaN());
        item.setSignalSize(qInf());
        item.setSignalSize(500);
        QCOMPARE(item.signalSize(), 96.0);
        QCOMPARE(changed.count(), 2);
        QVERIFY(item.setProperty("signalSize", 48.5));
        QCOMPARE(item.signalSize(), 48.5);
        QCOMPARE(changed.count(), 3);
    }

    void showCalculatedPathNotifiesChanges()
    {
        MapItem item;
        QSignalSpy changed(&item, &MapItem::dataChanged);
        item.setShowCalculatedPath(false);
        QCOMPARE(changed.count(), 0);
        QVERIFY(item.setProperty("showCalculatedPath", true));
        QCOMPARE(changed.count(), 1);
        QVERIFY(item.showCalculatedPath());
    }

    void dataSourceFeedsTheItem()
    {
        FakeBackend backend;
        backend.publish(liveData({node(1, 0, 0, 0, 0)}));
        MapItem item;
        item.setSize(QSizeF(800, 600));
        QSignalSpy changed(&item, &MapItem::dataChanged);
        QSignalSpy sourceChanged(&item, &MapItem::dataSourceChanged);
        QVERIFY(item.setProperty("dataSource", QVariant::fromValue<QObject *>(&backend)));
        QCOMPARE(sourceChanged.count(), 1);
        QCOMPARE(changed.count(), 1); // taken over at once
        QCOMPARE(item.network().nodes().size(), 1);
        QCOMPARE(item.scale(), 510.0);

        QVariantMap next = liveData({node(1, 0, 0, 0, 0), node(2, 1, 0, 5, 5)});
        next.insert(QStringLiteral("selectedTrackId"), idText(2));
        backend.publish(next);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(item.snapshotData(), next);
        QCOMPARE(item.network().nodes().size(), 2);

        item.setDataSource(nullptr);
        QCOMPARE(sourceChanged.count(), 2);
        backend.publish(liveData({}));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(item.network().nodes().size(), 2);
    }

    void dataSourceDestroyedFirst()
    {
        MapItem item;
        QSignalSpy sourceChanged(&item, &MapItem::dataSourceChanged);
        {
            FakeBackend backend;
            item.setDataSource(&backend);
        }
        QCOMPARE(item.dataSource(), nullptr);
        QCOMPARE(sourceChanged.count(), 2); // set, then gone
        item.setSnapshotData(liveData({node(1, 0, 0, 0, 0)}));
        QCOMPARE(item.network().nodes().size(), 1);
    }

    void mistypedValuesAreAbsorbed()
    {
        MapItem item;
        item.setSize(QSizeF(300, 200));
        QVariantMap data{{QStringLiteral("mapGeometry"), 42},
                         {QStringLiteral("trains"), QStringLiteral("not a list")},
                         {QStringLiteral("selectedTrackId"), 3.5},
                         {QStringLiteral("mapSignals"), QVariantList{1, "x", QVariantMap()}}};
        item.setSnapshotData(data);
        QVERIFY(item.trainsAt(150, 100).isEmpty());
        item.focusTrain();
        QImage target(300, 200, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&target);
        item.paint(&painter);
    }
};

QTEST_MAIN(TestMapModel)
#include "tst_mapmodel.moc"
