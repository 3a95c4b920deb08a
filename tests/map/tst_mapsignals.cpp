// The map reads the whole-network signals the same whether they travel as the capture's table or
// as the equivalent list of map signal entries, fresh or aged.

#include "DataMap.h"
#include "MapNetwork.h"
#include "MapOverlay.h"
#include "MapSignalTable.h"
#include "RecordWorld.h"
#include "SnapshotConverter.h"
#include "Worlds.h"

#include <QtTest>

namespace {

// What the map draws for each signal, as text that QCOMPARE can show.
QStringList marksOf(const QVariantMap &data, const MapNetwork &network)
{
    QStringList marks;
    const MapOverlay overlay = MapOverlay::read(data, network);
    for (const MapOverlay::Signal &s : overlay.signalMarks)
        marks << QStringLiteral("node %1 marker %2 balise %3 state %4/%5 texture '%6'")
                     .arg(s.node)
                     .arg(s.marker)
                     .arg(s.balise)
                     .arg(s.stateAvailable)
                     .arg(s.textureState)
                     .arg(s.texture >= 0 ? overlay.texturePaths[s.texture] : QString());
    return marks;
}

} // namespace

class TestMapSignals : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void tableAndListReadTheSame_data()
    {
        QTest::addColumn<bool>("aged");
        QTest::addColumn<int>("textures"); // signals drawn with a texture
        QTest::newRow("fresh") << false << 2;
        QTest::newRow("aged") << true << 0;
    }

    void tableAndListReadTheSame()
    {
        QFETCH(bool, aged);
        SnapshotRecords records;
        RecordWorld::toRecords(RecordWorld::fromJson(Worlds::edges()), 0, records);
        QVariantMap tableData = convertRecords(records, 1, ViewParameters());
        const QVariant table = tableData.value("mapSignals");
        QCOMPARE(table.metaType(), QMetaType::fromType<MapSignalTable>());
        QVariantMap listData = tableData;
        listData.insert("mapSignals", MapSignalTable::fromVariant(table).toList());
        if (aged) {
            DataMap::expireSignalStates(tableData);
            DataMap::expireSignalStates(listData);
        }
        MapNetwork network;
        network.setGeometry(tableData.value("mapGeometry").toByteArray());

        const QStringList marks = marksOf(tableData, network);
        QCOMPARE(marks, marksOf(listData, network));
        // Every signal but the one on a track without a node.
        QCOMPARE(marks.size(), 4);
        QFETCH(int, textures);
        QCOMPARE(marks.filter(QRegularExpression("texture '.+'")).size(), textures);
    }
};

QTEST_MAIN(TestMapSignals)
#include "tst_mapsignals.moc"
