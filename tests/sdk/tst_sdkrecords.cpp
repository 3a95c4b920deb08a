#include "GeometryBlob.h"
#include "SdkRecords.h"
#include "SdkText.h"

#include <QtTest>

#include <cstring>

class TestSdkRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fixedText_data();
    void fixedText();
    void trainNameFillsWholeArray();
    void recordsMatchTheLibraryBytes();
    void geometryBlob_data();
    void geometryBlob();
};

void TestSdkRecords::fixedText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << QByteArray("Gare du Nord\0xyz", 16) << QStringLiteral("Gare du Nord");
    QTest::newRow("first byte NUL") << QByteArray("\0Gare", 5) << QString();
    QTest::newRow("accents") << QByteArray("Arrêt quai\0", 12) << QStringLiteral("Arrêt quai");
    QTest::newRow("no NUL at all") << QByteArray("ABCD") << QStringLiteral("ABCD");
    QTest::newRow("invalid UTF-8 never fails") << QByteArray("A\xff\xfe"
                                                             "B\0",
                                                             5)
                                               << QStringLiteral("A\uFFFD\uFFFDB");
    QTest::newRow("cut multi-byte sequence at the end")
        << QByteArray("Vo\xc3", 3) << QStringLiteral("Vo\uFFFD");
}

void TestSdkRecords::fixedText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(sdkText(bytes.constData(), static_cast<std::size_t>(bytes.size())), expected);
}

void TestSdkRecords::trainNameFillsWholeArray()
{
    SdkTrain train{};
    std::memset(train.name, 'x', sizeof(train.name));
    std::memset(train.filler, 'y', sizeof(train.filler)); // must never leak into the name
    const QString name = sdkText(train.name);
    QCOMPARE(name.size(), 257);
    QCOMPARE(name, QString(257, QLatin1Char('x')));

    train.name[0] = '\0';
    QVERIFY(sdkText(train.name).isEmpty());
}

// Lay out records the way the library writes them, field by field at the documented offsets, and
// read them back through the structures.
void TestSdkRecords::recordsMatchTheLibraryBytes()
{
    QByteArray bytes(304, '\0');
    const auto put = [&bytes](int offset, const auto &value) {
        std::memcpy(bytes.data() + offset, &value, sizeof(value));
    };
    put(0, quint64(0x1122334455667788ull));
    put(8, quint64(42));
    put(16, 12.5);
    put(24, 0.25);
    put(32, qint32(-1));
    put(36, quint32(SdkTrainPresent | SdkTrainPositioned | 0x80u));
    std::memcpy(bytes.data() + 40, "IC 12", 6);
    SdkTrain train;
    std::memcpy(&train, bytes.constData(), sizeof(train));
    QCOMPARE(train.id, 0x1122334455667788ull);
    QCOMPARE(train.trackId, 42ull);
    QCOMPARE(train.speed, 12.5);
    QCOMPARE(train.fraction, 0.25);
    QCOMPARE(train.sense, -1);
    QCOMPARE(train.flags & SdkTrainPositioned, uint32_t(SdkTrainPositioned));
    QCOMPARE(sdkText(train.name), QStringLiteral("IC 12"));

    QByteArray stateBytes(120, '\0');
    std::memcpy(stateBytes.data() + 16, "\xff\xff\xff\xff", 4);
    std::memcpy(stateBytes.data() + 24, "Voie libre", 10);
    std::memcpy(stateBytes.data() + 56, "VL", 2);
    SdkSignalState state;
    std::memcpy(&state, stateBytes.constData(), sizeof(state));
    QCOMPARE(state.nativeState, -1);
    QCOMPARE(sdkText(state.label1), QStringLiteral("Voie libre"));
    QCOMPARE(sdkText(state.label2), QStringLiteral("VL"));

    QByteArray textureBytes(1960, '\0');
    const quint32 pathValid = SdkTexturePathValid;
    std::memcpy(textureBytes.data() + 24, &pathValid, 4);
    std::memcpy(textureBytes.data() + 936, "/tmp/t.png", 10);
    SdkSignalTexture texture;
    std::memcpy(&texture, textureBytes.constData(), sizeof(texture));
    QCOMPARE(texture.flags, uint32_t(SdkTexturePathValid));
    QCOMPARE(sdkText(texture.path), QStringLiteral("/tmp/t.png"));
}

void TestSdkRecords::geometryBlob_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("records");
    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("one short of a record") << 39 << 0;
    QTest::newRow("two records and trailing bytes") << 85 << 2;
    QTest::newRow("exact") << 120 << 3;
}

void TestSdkRecords::geometryBlob()
{
    QFETCH(int, bytes);
    QFETCH(int, records);
    QByteArray blob(bytes, '\0');
    for (int i = 0; i + 40 <= bytes; i += 40) {
        const SdkTrackNode node{quint64(i / 40 + 1), 7, 7, double(i), -double(i)};
        std::memcpy(blob.data() + i, &node, sizeof(node));
    }
    const QVector<SdkTrackNode> nodes = GeometryBlob::toNodes(blob);
    QCOMPARE(nodes.size(), records);
    for (int i = 0; i < records; ++i) {
        QCOMPARE(nodes.at(i).id, quint64(i + 1));
        QCOMPARE(nodes.at(i).y, -double(40 * i));
    }
    if (records > 0) {
        const QByteArray again = GeometryBlob::fromNodes(nodes.constData(), nodes.size());
        QCOMPARE(again, blob.left(records * 40));
    }
    QVERIFY(GeometryBlob::fromNodes(nullptr, 0).isEmpty());
}

QTEST_APPLESS_MAIN(TestSdkRecords)
#include "tst_sdkrecords.moc"
