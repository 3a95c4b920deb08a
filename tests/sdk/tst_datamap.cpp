#include "DataMap.h"

#include <QtTest>

class TestDataMap : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void baseDataMapHasExactlyTheBaseKeys();
    void idText_data();
    void idText();
    void ageingRewritesPathUsageAndSignals();
};

void TestDataMap::baseDataMapHasExactlyTheBaseKeys()
{
    const QVariantMap map = DataMap::baseDataMap(QStringLiteral("Connexion…"));
    QStringList expected =
        QString("status live tracks trains stations trackCount stationCount signalCount trainCount "
                "baliseCount updated mapPath pathAvailable pathSize pathStale mapReservations "
                "mapOccupations reservationsAvailable occupationsAvailable usageStale "
                "selectedTrainId selectedTrackId selectedTrain")
            .split(' ');
    expected.sort();
    QCOMPARE(map.keys(), expected);
}

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
// and texture forgotten (the whole-network map keeps the aspect and the texture state).
void TestDataMap::ageingRewritesPathUsageAndSignals()
{
    const QVariantMap signal{{"kind", "Balise"},          {"aspect", "État natif 3"},
                             {"specificState", "VL:"},    {"stateAvailable", true},
                             {"texturePath", "/t/a.png"}, {"textureUrl", "file:///t/a.png"}};
    const QVariantMap entry{{"aspect", "Vert"}, {"stateAvailable", true}, {"textureState", 3}};
    QVariantMap map{{"pathAvailable", true}, {"pathSize", 1u}, {"reservationsAvailable", true}};
    map.insert("tracks", QVariantList{QVariantMap{{"signals", QVariantList{signal, signal}}}});
    map.insert("mapSignals", QVariantList{entry});
    DataMap::clearPath(map, true);
    DataMap::clearUsage(map, true);
    DataMap::expireSignalStates(map);

    QVariantMap aged = signal, agedEntry = entry;
    aged.insert({{"aspect", "Périmé"}, {"specificState", ""}, {"textureUrl", ""}});
    aged.insert({{"stateAvailable", false}, {"texturePath", ""}});
    agedEntry.insert({{"stateAvailable", false}, {"texturePath", ""}});
    QCOMPARE(map.take("tracks"),
             QVariant(QVariantList{QVariantMap{{"signals", QVariantList{aged, aged}}}}));
    QCOMPARE(map.take("mapSignals"), QVariant(QVariantList{agedEntry}));
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

QTEST_GUILESS_MAIN(TestDataMap)
#include "tst_datamap.moc"
