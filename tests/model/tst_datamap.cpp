// The operations every producer and reader of a data map shares: the id text, the
// ageing of a live map (path, usage and signals), and the JSON text of the golden files.

#include "DataMap.h"
#include "DataMapJson.h"
#include "MapSignalTable.h"

#include <limits>

#include <QtTest>

class TestDataMap : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void idText_data();
    void idText();
    void ageingRewritesPathUsageAndSignals_data();
    void ageingRewritesPathUsageAndSignals();
    void jsonShowsEveryValueAndType_data();
    void jsonShowsEveryValueAndType();
};

// The id text, and what reads back from a text: zero for anything but 1 to 16 hex digits.
void TestDataMap::idText_data()
{
    QTest::addColumn<quint64>("id");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("canonical"); // idText(id) gives text
    QTest::newRow("26") << quint64(26) << "000000000000001A" << true;
    QTest::newRow("largest") << ~quint64(0) << "FFFFFFFFFFFFFFFF" << true;
    QTest::newRow("lower case, short") << quint64(255) << "ff" << false;
    QTest::newRow("empty") << quint64(0) << "" << false;
    QTest::newRow("trailing junk") << quint64(0) << "1AZ" << false;
    QTest::newRow("too large") << quint64(0) << "1FFFFFFFFFFFFFFFF" << false;
}

void TestDataMap::idText()
{
    QFETCH(quint64, id);
    QFETCH(QString, text);
    QFETCH(bool, canonical);
    if (canonical)
        QCOMPARE(DataMap::idText(id), text);
    QCOMPARE(DataMap::parseIdText(text), id);
}

// What the ageing of a live map writes: path and usage cleared and stale, every signal's state
// and texture forgotten (the whole-network entries keep the rest), whether the whole-network
// signals travel as the capture's table or as a list of map signal entries.
void TestDataMap::ageingRewritesPathUsageAndSignals_data()
{
    QTest::addColumn<bool>("table");
    QTest::newRow("signal table") << true;
    QTest::newRow("list of entries") << false;
}

void TestDataMap::ageingRewritesPathUsageAndSignals()
{
    QFETCH(bool, table);
    const QVariantMap signal{{"kind", "Balise"},          {"aspect", "État natif 3"},
                             {"specificState", "VL:"},    {"stateAvailable", true},
                             {"texturePath", "/t/a.png"}, {"textureUrl", "file:///t/a.png"}};
    MapSignalTable::Builder builder;
    builder.append({26, 3, builder.addTexturePath("/t/a.png"), false, true, true});
    builder.append({27, 9, -1, true, false, true});
    const MapSignalTable signalTable = builder.take();
    // What the map reads from the list is checked against the table by tst_mapsignals.
    const QVariantList entries = signalTable.toList();

    QVariantMap map{{"pathAvailable", true}, {"pathSize", 1u}, {"reservationsAvailable", true}};
    map.insert("tracks", QVariantList{QVariantMap{{"signals", QVariantList{signal, signal}}}});
    map.insert("mapSignals", table ? QVariant::fromValue(signalTable) : QVariant(entries));
    const QVariantMap before = map;
    DataMap::clearPath(map, true);
    DataMap::clearUsage(map, true);
    DataMap::expireSignalStates(map);

    QVariantMap aged = signal;
    aged.insert({{"aspect", "Périmé"}, {"specificState", ""}, {"textureUrl", ""}});
    aged.insert({{"stateAvailable", false}, {"texturePath", ""}});
    QCOMPARE(map.take("tracks"),
             QVariant(QVariantList{QVariantMap{{"signals", QVariantList{aged, aged}}}}));
    const QVariant mapSignals = map.take("mapSignals");
    QCOMPARE(mapSignals.metaType() == QMetaType::fromType<MapSignalTable>(), table);
    QVariantList agedEntries = entries;
    for (QVariant &entry : agedEntries) {
        QVariantMap agedEntry = entry.toMap();
        agedEntry.insert({{"stateAvailable", false}, {"texturePath", ""}});
        entry = agedEntry;
    }
    const MapSignalTable agedTable = MapSignalTable::fromVariant(mapSignals);
    QCOMPARE(agedTable.toList(), agedEntries);
    if (table) {
        // A flag on a copy: the entries are the same storage, and the map before keeps its own.
        QCOMPARE(&agedTable.entry(0), &signalTable.entry(0));
        QCOMPARE(MapSignalTable::fromVariant(before.value("mapSignals")), signalTable);
        QVERIFY(agedTable != signalTable);
    }
    const QVariantList none;
    const QVariantMap expected{{"mapPath", none},         {"pathAvailable", false},
                               {"pathSize", 0},           {"pathStale", true},
                               {"mapReservations", none}, {"mapOccupations", none},
                               {"usageStale", true},      {"reservationsAvailable", false},
                               {"signalStateCount", 0},   {"occupationsAvailable", false},
                               {"signalTextureCount", 0}};
    QCOMPARE(map, expected);
    QCOMPARE(map.value("pathSize").typeId(), QMetaType::Int); // an int, as in the base map
}

// The text of the golden files: exact numbers, visible types, stable order.
void TestDataMap::jsonShowsEveryValueAndType_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("json");
    QTest::newRow("int, double") << QVariant(QVariantList{3, 3.0, 0.457, -1e300})
                                 << "[3, 3.0, 0.457, -1e+300]";
    QTest::newRow("not finite") << QVariant(std::numeric_limits<double>::quiet_NaN())
                                << R"({"double": "nan"})";
    QTest::newRow("uint64, exactly")
        << QVariant::fromValue(~quint64(0)) << R"({"uint64": 18446744073709551615})";
    QTest::newRow("uint, int64") << QVariant(QVariantList{QVariant(3u), QVariant(qint64(-3))})
                                 << R"([{"uint": 3}, {"int64": -3}])";
    QTest::newRow("text") << QVariant(QStringLiteral("é\"\\\n\x01")) << R"("é\"\\\n\u0001")";
    QTest::newRow("bytes") << QVariant(QByteArray("\x00\xff", 2)) << R"({"bytes": "00ff"})";
    QTest::newRow("long bytes, by lines")
        << QVariant(QByteArray(41, '\x11'))
        << QString("{\"bytes\": [\n  \"%1\",\n  \"11\"\n]}").arg(QString(80, '1'));
    QTest::newRow("keys in order, nested on lines")
        << QVariant(QVariantMap{{"b", QVariantList{}}, {"a", QVariantMap{{"x", true}}}})
        << "{\n  \"a\": {\"x\": true},\n  \"b\": []\n}";
    QTest::newRow("null") << QVariant() << "null";
}

void TestDataMap::jsonShowsEveryValueAndType()
{
    QFETCH(QVariant, value);
    QFETCH(QString, json);
    QCOMPARE(QString::fromUtf8(DataMapJson::toJson(value)), json + '\n');
}

QTEST_GUILESS_MAIN(TestDataMap)
#include "tst_datamap.moc"
