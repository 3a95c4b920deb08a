#include "SdkCopy.h"
#include "SdkRecords.h"
#include "SdkText.h"

#include <QtTest>

#include <cstring>
#include <stdexcept>

class TestSdkRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fixedText_data();
    void fixedText();
    void trainNameFillsWholeArray();
    void trainMatchesTheLibraryBytes();
    void statusText_data();
    void statusText();
    void longStatusTextIsCutWhenThrown();
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

// A train laid out the way the library writes it, field by field at the documented offsets, reads
// back through the structure (the other records' offsets are checked when compiling).
void TestSdkRecords::trainMatchesTheLibraryBytes()
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
}

void TestSdkRecords::statusText_data()
{
    QTest::addColumn<QByteArray>("text"); // NUL-terminated by QByteArray
    QTest::addColumn<QString>("expected");
    const QByteArray bound(int(maxSdkTextBytes), 'x');
    QTest::newRow("short") << QByteArray("Jeu introuvable") << QStringLiteral("Jeu introuvable");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("exactly the bound") << bound << QString::fromLatin1(bound);
    QTest::newRow("one byte more") << bound + 'y' << QString::fromLatin1(bound) + QChar(0x2026);
    QTest::newRow("64 MiB") << QByteArray(64 << 20, 'z')
                            << QString(int(maxSdkTextBytes), QLatin1Char('z')) + QChar(0x2026);
    // "é" is two bytes: the one across the bound is left out whole.
    QTest::newRow("cut inside a character")
        << QByteArray(int(maxSdkTextBytes) - 1, 'a') + QByteArray("\xc3\xa9 et la suite")
        << QString(int(maxSdkTextBytes) - 1, QLatin1Char('a')) + QChar(0x2026);
}

// A library's status text is read up to the bound, then cut with "…".
void TestSdkRecords::statusText()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QCOMPARE(sdkStatusText(text.constData()), expected);
}

const char *hugeStatusText(SdkStatus)
{
    static const QByteArray text(16 << 20, 'E');
    return text.constData();
}

// The error of a failed call carries the cut text, not the library's whole one.
void TestSdkRecords::longStatusTextIsCutWhenThrown()
{
    QString thrown;
    try {
        SdkCopy::throwStatus(3, &hugeStatusText);
    } catch (const std::runtime_error &error) {
        thrown = QString::fromUtf8(error.what());
    }
    QCOMPARE(thrown, QString(int(maxSdkTextBytes), QLatin1Char('E')) + QChar(0x2026));
}

QTEST_APPLESS_MAIN(TestSdkRecords)
#include "tst_sdkrecords.moc"
