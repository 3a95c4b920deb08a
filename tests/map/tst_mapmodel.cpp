// The map item without painting: the node table and its links, framing and zooming, picking
// trains, the data source and the hidden map, and the camera taken back on the same railway.
#include "MapItem.h"
#include "MapScene.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>

using namespace MapScene;

// Stands in for the backend: a QVariantMap property "data" with a change signal.
class FakeBackend : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariantMap data MEMBER m_data NOTIFY changed)

public:
    QVariantMap m_data;

signals:
    void changed();
};

class TestMapModel : public QObject
{
    Q_OBJECT

private slots:
    void degreeCounts_data()
    {
        QTest::addColumn<QByteArray>("geometry");
        QTest::addColumn<QVector<quint32>>("degrees");
        QByteArray three = blob({node(1, 2, 0, 0, 0), node(2, 1, 0, 10, 0), node(3, 0, 0, 5, 5)});
        QTest::newRow("partial record only") << three.left(39) << QVector<quint32>{};
        QTest::newRow("85 bytes") << three.left(85) << QVector<quint32>{1, 1};
        // Node 4 links to 9 and reaches the first record, which does not link back: one each.
        // The second 9 links to 4, which names 9 and has the smaller id: counted from 4's side.
        QTest::newRow("duplicate ids") << blob({node(9, 0, 0, 1, 1), node(4, 9, 0, 2, 2),
                                                node(9, 4, 0, 3, 3), node(9, 0, 0, 4, 4)})
                                       << QVector<quint32>{1, 1, 0, 0};
        // 1 and 2 name each other: one link. 3 links to 1 one-way. 4 links to 1 and to 5, and 5
        // names 4 twice (counted from 4 only). 6 links to a missing node and to itself (1 twice).
        QTest::newRow("links") << blob({node(1, 2, 0, 0, 0), node(2, 1, 0, 1, 0),
                                        node(3, 1, 99, 2, 0), node(4, 1, 5, 3, 0),
                                        node(5, 4, 4, 4, 0), node(6, 77, 6, 5, 0)})
                               << QVector<quint32>{3, 1, 1, 2, 1, 2};
    }

    void degreeCounts()
    {
        QFETCH(QByteArray, geometry);
        QFETCH(QVector<quint32>, degrees);
        MapItem item;
        item.setSnapshotData(QVariantMap{{"mapGeometry", geometry}});
        QCOMPARE(item.network().degrees(), degrees);
        const QVector<SdkTrackNode> &nodes = item.network().nodes();
        QCOMPARE(nodes.size(), degrees.size());
        // A repeated id finds its first record.
        for (int i = 0; i < std::min(2, int(nodes.size())); ++i)
            QCOMPARE(item.network().indexOf(nodes[i].id), i);
    }

    void fitThenZoomKeepingTheAnchor_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QVector<SdkTrackNode>>("nodes");
        QTest::addColumn<QPointF>("centre");
        QTest::addColumn<double>("fitted");
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("zoomed");
        const QVector<SdkTrackNode> one{node(1, 0, 0, 7, 3)},
            two{node(1, 0, 0, 0, 0), node(2, 0, 0, 750, 510)};
        const QSizeF size(800, 600);
        QTest::newRow("one node") << size << one << QPointF(7, -3) << 510.0 << 1.0 << 50.0;
        // A narrow or short map keeps two thirds of its side for the network.
        QTest::newRow("40 px wide")
            << QSizeF(40, 600) << one << QPointF(7, -3) << 80.0 / 3 << 1.0 << 80.0 / 3;
        QTest::newRow("120 px high")
            << QSizeF(800, 120) << one << QPointF(7, -3) << 80.0 << 1.0 << 50.0;
        const QPointF middle(375, -255);
        QTest::newRow("zoom in") << size << two << middle << 1.0 << 1.3 << 1.3;
        QTest::newRow("clamped at 50") << size << two << middle << 1.0 << 1000.0 << 50.0;
        QTest::newRow("factor 0") << size << two << middle << 1.0 << 0.0 << 1e-7;
        QTest::newRow("not a number") << size << two << middle << 1.0 << qQNaN() << 1e-7;
    }

    void fitThenZoomKeepingTheAnchor()
    {
        QFETCH(QSizeF, size);
        QFETCH(QVector<SdkTrackNode>, nodes);
        QFETCH(QPointF, centre);
        QFETCH(double, fitted);
        QFETCH(double, factor);
        QFETCH(double, zoomed);
        MapItem item;
        item.setSize(size);
        item.setSnapshotData(liveData(nodes)); // auto-fit
        QCOMPARE(item.viewCentre(), centre);
        QCOMPARE(item.scale(), fitted);
        // A framed view is framed again at a new size, until the user moves it.
        item.setSize(size * 2);
        QVERIFY(item.scale() > fitted);
        item.setSize(size);
        QCOMPARE(item.scale(), fitted);
        // The map point under the anchor (130, 470), by the inverse of the screen transform.
        const QPointF offset = QPointF(130, 470) - QPointF(size.width(), size.height()) / 2;
        const auto anchor = [&] { return item.viewCentre() + offset / item.scale(); };
        const QPointF before = anchor();
        QSignalSpy changed(&item, &MapItem::dataChanged);
        item.zoomAt(factor, 130, 470);
        QCOMPARE(item.scale(), zoomed);
        const QPointF after = anchor();
        QVERIFY(std::abs(after.x() - before.x()) < 1e-6 * std::max(1.0, std::abs(before.x())) &&
                std::abs(after.y() - before.y()) < 1e-6 * std::max(1.0, std::abs(before.y())));
        QVERIFY(item.isNetworkImageDirty());
        QCOMPARE(changed.count(), 0);
        item.setSize(size * 2);
        QCOMPARE(item.scale(), zoomed);
    }

    // Each writable property announces its own change, once. Only a new data map is
    // dataChanged(), on which the panel centres a followed train: a new layer must not move it.
    void eachPropertyAnnouncesItself_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("signal layer") << QByteArray("signalLayer") << QVariant(1);
        QTest::newRow("station names") << QByteArray("showStationNames") << QVariant(false);
        QTest::newRow("calculated path") << QByteArray("showCalculatedPath") << QVariant(true);
        QTest::newRow("signal size") << QByteArray("signalSize") << QVariant(40.0);
    }

    void eachPropertyAnnouncesItself()
    {
        QFETCH(QByteArray, name);
        QFETCH(QVariant, value);
        MapItem item;
        const QMetaObject *meta = item.metaObject();
        const QMetaProperty property = meta->property(meta->indexOfProperty(name));
        QSignalSpy own(&item, property.notifySignal());
        QSignalSpy data(&item, &MapItem::dataChanged);
        QVERIFY(property.write(&item, value));
        QCOMPARE(property.read(&item).toInt(), value.toInt());
        QCOMPARE(own.count(), 1);
        QCOMPARE(data.count(), 0);
    }

    void trainsAtPicksWithinTenPixels()
    {
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
        const auto names = [&](double dx, double dy) {
            QStringList got;
            for (const QVariant &entry : item.trainsAt(p.x() + dx, p.y() + dy))
                got.append(entry.toMap().value("name").toString());
            return got;
        };
        // Nearest first, equal distances in list order; hidden, lost and malformed trains never.
        QCOMPARE(names(6, 8), (QStringList{"C", "A", "B"})); // exactly 10 px from node 1
        QCOMPARE(names(10.01, 0), QStringList{"C"});
        QCOMPARE(item.trainsAt(p.x(), p.y()).first().toMap().size(), 5); // the whole train map
        // The tooltip names the nearest train, else the signal under the pointer.
        QCOMPARE(item.describeAt(p.x() + 11, p.y()), "C\nVoie " + idText(2));
        data.insert("mapSignals", QVariantList{signalEntry(3, false, false, true, 2)});
        item.setSnapshotData(data);
        const QPointF s = item.screenPoint(item.network().nodes()[2]);
        QCOMPARE(item.describeAt(s.x() + 3, s.y()), "Signal\nÉtat E2\nVoie " + idText(3));
        QCOMPARE(item.describeAt(s.x() + 30, s.y()), QString());
    }

    // The source's map is taken at once and at every change, but not while the map is hidden,
    // which asks for no paint either: shown again, it takes the latest map and asks for one. A
    // source that dies first is let go.
    void dataSourceFeedsTheShownItem()
    {
        auto *backend = new FakeBackend;
        backend->m_data = liveData({node(1, 0, 0, 0, 0)});
        MapItem item;
        item.setSize(QSizeF(800, 600));
        QSignalSpy changed(&item, &MapItem::dataChanged);
        QSignalSpy sourceChanged(&item, &MapItem::dataSourceChanged);
        QVERIFY(item.setProperty("dataSource", QVariant::fromValue<QObject *>(backend)));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(item.scale(), 510.0); // framed
        const QVariantMap shown = liveData({node(1, 0, 0, 0, 0), node(2, 1, 0, 5, 5)});
        backend->setProperty("data", shown);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(item.network().nodes().size(), 2);

        item.setVisible(false);
        const int requests = item.repaintRequests();
        QVariantMap latest;
        for (int i = 3; i <= 5; ++i) {
            latest = liveData({node(1, 0, 0, 0, 0), node(quint64(i), 1, 0, i, i)});
            backend->setProperty("data", latest);
        }
        item.moveView(5, 5);
        item.setSignalLayer(1);
        QCOMPARE(item.repaintRequests(), requests);
        QCOMPARE(item.snapshotData(), shown);
        item.setVisible(true);
        QCOMPARE(item.repaintRequests(), requests + 1);
        QCOMPARE(item.snapshotData(), latest);
        QCOMPARE(item.network().nodes()[1].id, 5u);

        delete backend;
        QCOMPARE(item.dataSource(), nullptr);
        QCOMPARE(sourceChanged.count(), 2);
        QCOMPARE(item.snapshotData(), latest);
    }

    // A new network that shows nowhere in the view is framed; one still in view (the same
    // railway after a reconnection, or one that overlaps) keeps the camera.
    void newNetworkOutOfViewIsFramed_data()
    {
        QTest::addColumn<QVector<SdkTrackNode>>("next");
        QTest::addColumn<bool>("framed");
        const QVector<SdkTrackNode> first{node(1, 2, 0, 0, 0), node(2, 1, 0, 750, 510)};
        QTest::newRow("the same railway") << first << false;
        QTest::newRow("another railway in view")
            << QVector<SdkTrackNode>{node(7, 0, 0, 300, 200), node(8, 0, 0, 90000, 0)} << false;
        QTest::newRow("another railway far away")
            << QVector<SdkTrackNode>{node(7, 8, 0, 50000, 50000), node(8, 7, 0, 50100, 50300)}
            << true;
        QTest::newRow("another railway far away, one node not a number")
            << QVector<SdkTrackNode>{node(7, 8, 0, 50000, 50000), node(8, 7, 9, 50100, 50300),
                                     node(9, 8, 0, qQNaN(), qQNaN())}
            << true;
    }

    void newNetworkOutOfViewIsFramed()
    {
        QFETCH(QVector<SdkTrackNode>, next);
        QFETCH(bool, framed);
        MapItem item;
        item.setSize(QSizeF(800, 600));
        item.setSnapshotData(liveData({node(1, 2, 0, 0, 0), node(2, 1, 0, 750, 510)}));
        item.zoomAt(2, 400, 300);
        const QPointF centre = item.viewCentre();
        const double scale = item.scale();
        // Disconnected for a moment: a status map without nodes.
        item.setSnapshotData(QVariantMap{{"live", false}, {"status", "Connexion…"}});
        QCOMPARE(item.scale(), scale);
        item.setSnapshotData(liveData(next));

        MapItem fresh; // how the next network is framed on its own
        fresh.setSize(QSizeF(800, 600));
        fresh.setSnapshotData(liveData(next));
        QCOMPARE(item.viewCentre(), framed ? fresh.viewCentre() : centre);
        QCOMPARE(item.scale(), framed ? fresh.scale() : scale);
    }

    // The camera of a railway can be taken back on the same railway only, and only when it makes
    // sense; the railway's name is the same for the same bytes and differs for others.
    void cameraTakenBackOnTheSameRailway_data()
    {
        QTest::addColumn<QVariantMap>("change"); // over the remembered camera
        QTest::addColumn<bool>("taken");
        QTest::addColumn<bool>("framedAfter"); // the view frames the network, whatever the size
        QTest::newRow("as remembered") << QVariantMap{} << true << false;
        // Remembered while framed in a window of another size: framed at this one.
        QTest::newRow("framed") << QVariantMap{{"framed", true}} << true << true;
        QTest::newRow("another railway")
            << QVariantMap{{"railway", "278-0123456789ABCDEF"}} << false << true;
        QTest::newRow("no railway") << QVariantMap{{"railway", QString()}} << false << true;
        QTest::newRow("scale 0") << QVariantMap{{"scale", 0.0}} << false << true;
        QTest::newRow("scale above the zoom limit")
            << QVariantMap{{"scale", 51.0}} << false << true;
        QTest::newRow("centre not a number") << QVariantMap{{"x", qQNaN()}} << false << true;
        QTest::newRow("centre not given") << QVariantMap{{"y", QVariant()}} << false << true;
    }

    void cameraTakenBackOnTheSameRailway()
    {
        QFETCH(QVariantMap, change);
        QFETCH(bool, taken);
        QFETCH(bool, framedAfter);
        const QVector<SdkTrackNode> nodes{node(1, 2, 0, 0, 0), node(2, 1, 0, 750, 510)};
        MapItem first;
        first.setSize(QSizeF(800, 600));
        QSignalSpy railway(&first, &MapItem::railwayChanged);
        first.setSnapshotData(liveData(nodes));
        QCOMPARE(railway.count(), 1);
        first.zoomAt(3, 100, 100);
        QVariantMap remembered = first.camera();
        for (auto it = change.cbegin(); it != change.cend(); ++it)
            remembered.insert(it.key(), it.value());

        MapItem next; // the next run, on the same railway
        next.setSize(QSizeF(800, 600));
        next.setSnapshotData(liveData(nodes));
        QCOMPARE(next.railway(), first.railway());
        const QPointF framed = next.viewCentre();
        QSignalSpy cameraChanged(&next, &MapItem::cameraChanged);
        QCOMPARE(next.restoreCamera(remembered), taken);
        QCOMPARE(next.viewCentre(), framedAfter ? framed : first.viewCentre());
        QCOMPARE(next.scale(), framedAfter ? 1.0 : first.scale());
        QCOMPARE(cameraChanged.count(), taken ? 1 : 0);
        next.setSize(QSizeF(400, 300));
        QCOMPARE(next.scale() != first.scale(), framedAfter);

        MapItem other;
        other.setSnapshotData(liveData({node(1, 2, 0, 0, 0), node(2, 1, 0, 750, 511)}));
        QVERIFY(other.railway() != first.railway());
        other.setSnapshotData(QVariantMap{{"live", false}});
        QCOMPARE(other.railway(), QString());
    }
};

QTEST_MAIN(TestMapModel)
#include "tst_mapmodel.moc"
