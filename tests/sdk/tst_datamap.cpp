#include "DataMap.h"

#include <QtTest>

class TestDataMap : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void baseDataMapHasExactlyTheBaseKeys();
    void idText_data();
    void idText();
    void parseIdText_data();
    void parseIdText();
    void clearPathAndUsageWriteEveryKey_data();
    void clearPathAndUsageWriteEveryKey();
    void expireSignalStatesAgesEverySignal();
    void expireSignalStatesOnStatusOnlyMap();
};

void TestDataMap::baseDataMapHasExactlyTheBaseKeys()
{
    const QVariantMap map = DataMap::baseDataMap(QStringLiteral("Connexion…"));
    QStringList expected = {"status",
                            "live",
                            "tracks",
                            "trains",
                            "stations",
                            "trackCount",
                            "stationCount",
                            "signalCount",
                            "trainCount",
                            "baliseCount",
                            "updated",
                            "mapPath",
                            "pathAvailable",
                            "pathSize",
                            "pathStale",
                            "mapReservations",
                            "mapOccupations",
                            "reservationsAvailable",
                            "occupationsAvailable",
                            "usageStale",
                            "selectedTrainId",
                            "selectedTrackId",
                            "selectedTrain"};
    expected.sort();
    QCOMPARE(map.keys(), expected);
    QCOMPARE(map.value("status").toString(), QStringLiteral("Connexion…"));
    QCOMPARE(map.value("live").typeId(), QMetaType::Bool);
    QCOMPARE(map.value("live").toBool(), false);
    for (const QString &key : expected) {
        const QVariant value = map.value(key);
        switch (value.typeId()) {
        case QMetaType::QVariantList:
            QVERIFY2(value.toList().isEmpty(), qPrintable(key));
            break;
        case QMetaType::Int:
            QVERIFY2(value.toInt() == 0, qPrintable(key));
            break;
        case QMetaType::Bool:
            QVERIFY2(!value.toBool(), qPrintable(key));
            break;
        case QMetaType::QString:
            QVERIFY2(key == "status" || value.toString().isEmpty(), qPrintable(key));
            break;
        default:
            QFAIL(qPrintable(QStringLiteral("unexpected type for ") + key));
        }
    }
    QCOMPARE(map.value("pathSize").typeId(), QMetaType::Int);
    QCOMPARE(map.value("tracks").typeId(), QMetaType::QVariantList);
}

void TestDataMap::idText_data()
{
    QTest::addColumn<quint64>("id");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << quint64(0) << QStringLiteral("0000000000000000");
    QTest::newRow("255") << quint64(255) << QStringLiteral("00000000000000FF");
    QTest::newRow("26") << quint64(26) << QStringLiteral("000000000000001A");
    QTest::newRow("largest") << ~quint64(0) << QStringLiteral("FFFFFFFFFFFFFFFF");
    QTest::newRow("above 2^53") << quint64(0x8123456789ABCDEFull)
                                << QStringLiteral("8123456789ABCDEF");
}

void TestDataMap::idText()
{
    QFETCH(quint64, id);
    QFETCH(QString, text);
    QCOMPARE(DataMap::idText(id), text);
    QCOMPARE(DataMap::parseIdText(DataMap::idText(id)), id);
}

void TestDataMap::parseIdText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint64>("id");
    QTest::newRow("id text") << QStringLiteral("000000000000001A") << quint64(26);
    QTest::newRow("lower case") << QStringLiteral("00000000000000ff") << quint64(255);
    QTest::newRow("short") << QStringLiteral("1A") << quint64(26);
    QTest::newRow("empty") << QString() << quint64(0);
    QTest::newRow("not hexadecimal") << QStringLiteral("Gare") << quint64(0);
    QTest::newRow("trailing junk") << QStringLiteral("1AZ") << quint64(0);
    QTest::newRow("too large") << QStringLiteral("1FFFFFFFFFFFFFFFF") << quint64(0);
}

void TestDataMap::parseIdText()
{
    QFETCH(QString, text);
    QFETCH(quint64, id);
    QCOMPARE(DataMap::parseIdText(text), id);
}

void TestDataMap::clearPathAndUsageWriteEveryKey_data()
{
    QTest::addColumn<bool>("stale");
    QTest::newRow("stale") << true;
    QTest::newRow("fresh") << false;
}

void TestDataMap::clearPathAndUsageWriteEveryKey()
{
    QFETCH(bool, stale);
    const QVariantList entries = {QVariantMap{{"train", "0000000000000005"}}};
    QVariantMap map{{"mapPath", QVariantList{"0000000000000001"}},
                    {"pathAvailable", true},
                    {"pathSize", QVariant::fromValue<quint32>(1)},
                    {"mapReservations", entries},
                    {"reservationsAvailable", true},
                    {"trainCount", 3}};
    DataMap::clearPath(map, stale);
    DataMap::clearUsage(map, stale);

    QCOMPARE(map.value("mapPath").toList(), QVariantList());
    QCOMPARE(map.value("pathAvailable"), QVariant(false));
    QCOMPARE(map.value("pathSize"), QVariant(0)); // an int again, as in the base map
    QCOMPARE(map.value("pathStale"), QVariant(stale));
    QCOMPARE(map.value("mapReservations").toList(), QVariantList());
    QCOMPARE(map.value("mapOccupations").toList(), QVariantList());
    QCOMPARE(map.value("mapOccupations").typeId(), QMetaType::QVariantList);
    QCOMPARE(map.value("reservationsAvailable"), QVariant(false));
    QCOMPARE(map.value("occupationsAvailable"), QVariant(false));
    QCOMPARE(map.value("usageStale"), QVariant(stale));
    QCOMPARE(map.value("trainCount"), QVariant(3));
    QCOMPARE(map.size(), 10); // nine keys written, one kept
}

void TestDataMap::expireSignalStatesAgesEverySignal()
{
    const QVariantMap signal{{"id", "0000000000000064"},        {"kind", "Balise"},
                             {"aspect", "État natif 3"},        {"specificState", "VL:Voie libre"},
                             {"stateAvailable", true},          {"texturePath", "/t/a.png"},
                             {"textureUrl", "file:///t/a.png"}, {"fraction", 0.5}};
    QVariantMap second = signal;
    second.insert("id", "0000000000000065");
    const QVariantMap track1{{"id", "0000000000000001"},
                             {"signals", QVariantList{signal, second}},
                             {"trains", QVariantList{QVariantMap{{"name", "IC 12"}}}}};
    const QVariantMap track2{{"id", "0000000000000002"}, {"signals", QVariantList()}};
    const QVariantMap entry{{"track", "0000000000000001"}, {"aspect", "État natif 3"},
                            {"stateAvailable", true},      {"texturePath", "/t/a.png"},
                            {"textureState", 3},           {"balise", true}};
    QVariantMap map = DataMap::baseDataMap("Connecté · PID 1");
    map.insert("tracks", QVariantList{track1, track2});
    map.insert("mapSignals", QVariantList{entry});
    map.insert("signalStateCount", 2);
    map.insert("signalTextureCount", 2);

    DataMap::expireSignalStates(map);

    const QVariantList tracks = map.value("tracks").toList();
    QCOMPARE(tracks.size(), 2);
    QCOMPARE(tracks.at(1).toMap(), track2);
    const QVariantMap agedTrack = tracks.at(0).toMap();
    QCOMPARE(agedTrack.value("trains"), track1.value("trains"));
    const QVariantList agedSignals = agedTrack.value("signals").toList();
    QCOMPARE(agedSignals.size(), 2);
    QCOMPARE(agedSignals.at(1).toMap().value("id").toString(), QStringLiteral("0000000000000065"));
    for (const QVariant &aged : agedSignals) {
        const QVariantMap s = aged.toMap();
        QCOMPARE(s.value("aspect").toString(), QStringLiteral("Périmé"));
        QCOMPARE(s.value("specificState").toString(), QString());
        QCOMPARE(s.value("stateAvailable"), QVariant(false));
        QCOMPARE(s.value("texturePath").toString(), QString());
        QCOMPARE(s.value("textureUrl").toString(), QString());
        QCOMPARE(s.value("kind").toString(), QStringLiteral("Balise"));
        QCOMPARE(s.value("fraction").toDouble(), 0.5);
        QCOMPARE(s.size(), signal.size());
    }

    const QVariantMap agedEntry = map.value("mapSignals").toList().at(0).toMap();
    QCOMPARE(agedEntry.value("aspect").toString(), QStringLiteral("État natif 3"));
    QCOMPARE(agedEntry.value("stateAvailable"), QVariant(false));
    QCOMPARE(agedEntry.value("texturePath").toString(), QString());
    QCOMPARE(agedEntry.value("textureState"), QVariant(3));
    QCOMPARE(agedEntry.value("balise"), QVariant(true));
    QCOMPARE(map.value("signalStateCount"), QVariant(0));
    QCOMPARE(map.value("signalTextureCount"), QVariant(0));
}

void TestDataMap::expireSignalStatesOnStatusOnlyMap()
{
    QVariantMap map = DataMap::baseDataMap("Déconnecté");
    DataMap::expireSignalStates(map);
    for (const char *key : {"page", "pages", "filteredCount", "captureMs", "mapGeometry"})
        QVERIFY2(!map.contains(key), key);
    QCOMPARE(map.value("mapSignals").typeId(), QMetaType::QVariantList);
    QVERIFY(map.value("mapSignals").toList().isEmpty());
    QCOMPARE(map.value("signalStateCount"), QVariant(0));
    QCOMPARE(map.value("signalTextureCount"), QVariant(0));
    QCOMPARE(map.value("tracks").toList(), QVariantList());
    QCOMPARE(map.size(), 26);
}

QTEST_GUILESS_MAIN(TestDataMap)
#include "tst_datamap.moc"
