// The library's texts as the program reads them: fixed char arrays up to their NUL or their end,
// status texts bounded and cut at a character boundary, also when a failed call throws one. The
// record layouts themselves are checked when compiling (SdkRecords.h).

#include "SdkCopy.h"
#include "SdkRecords.h"
#include "SdkText.h"

#include <QtTest>

#include <cstring>
#include <stdexcept>

namespace {

QByteArray statusTextBytes; // what the fake status text export answers
const char *fakeStatusText(SdkStatus)
{
    return statusTextBytes.constData();
}

} // namespace

class TestSdkRecords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fixedText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QByteArray("Gare du Nord\0xyz", 16)
                               << QStringLiteral("Gare du Nord");
        QTest::newRow("first byte NUL") << QByteArray("\0Gare", 5) << QString();
        QTest::newRow("accents") << QByteArray("Arrêt quai\0", 12) << QStringLiteral("Arrêt quai");
        QTest::newRow("no NUL at all") << QByteArray("ABCD") << QStringLiteral("ABCD");
        QTest::newRow("invalid UTF-8 never fails")
            << QByteArray("A\xff\xfe\x42\0", 5) << QStringLiteral("A\uFFFD\uFFFDB");
        QTest::newRow("cut multi-byte sequence at the end")
            << QByteArray("Vo\xc3", 3) << QStringLiteral("Vo\uFFFD");
        // Embedding, override and isolate controls would turn the text around them; other marks
        // stay.
        QTest::newRow("bidirectional controls left out")
            << QByteArray("IC\xe2\x80\xae 12\xe2\x80\xaa\xe2\x81\xa6\xe2\x81\xa9\xe2\x80\x8f\0")
            << QStringLiteral("IC 12\u200F");
    }

    void fixedText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QCOMPARE(sdkText(bytes.constData(), static_cast<std::size_t>(bytes.size())), expected);
    }

    // A name without NUL is read to the end of its array, never into the bytes that follow it.
    void nameFillingItsArrayEndsThere()
    {
        SdkTrain train{};
        std::memset(train.name, 'x', sizeof(train.name));
        std::memset(train.filler, 'y', sizeof(train.filler));
        QCOMPARE(sdkText(train.name), QString(257, QLatin1Char('x')));
    }

    void statusText_data()
    {
        QTest::addColumn<QByteArray>("text"); // NUL-terminated by QByteArray
        QTest::addColumn<QString>("expected");
        const QByteArray bound(int(maxSdkTextBytes), 'x');
        QTest::newRow("short") << QByteArray("Jeu introuvable")
                               << QStringLiteral("Jeu introuvable");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("right-to-left override")
            << QByteArray("\xe2\x80\xaeJeu introuvable") << QStringLiteral("Jeu introuvable");
        QTest::newRow("exactly the bound") << bound << QString::fromLatin1(bound);
        QTest::newRow("one byte more") << bound + 'y' << QString::fromLatin1(bound) + QChar(0x2026);
        QTest::newRow("64 MiB") << QByteArray(64 << 20, 'z')
                                << QString(int(maxSdkTextBytes), QLatin1Char('z')) + QChar(0x2026);
        // "é" is two bytes: the one across the bound is left out whole.
        QTest::newRow("cut inside a character")
            << QByteArray(int(maxSdkTextBytes) - 1, 'a') + QByteArray("\xc3\xa9 et la suite")
            << QString(int(maxSdkTextBytes) - 1, QLatin1Char('a')) + QChar(0x2026);
    }

    // A library's status text is read up to the bound, then cut with "…"; the error of a failed
    // call carries that text, not the library's whole one.
    void statusText()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        QCOMPARE(sdkStatusText(text.constData()), expected);
        statusTextBytes = text;
        QString thrown;
        try {
            SdkCopy::throwStatus(3, &fakeStatusText);
        } catch (const std::runtime_error &error) {
            thrown = QString::fromUtf8(error.what());
        }
        QCOMPARE(thrown, expected);
    }
};

QTEST_APPLESS_MAIN(TestSdkRecords)
#include "tst_sdkrecords.moc"
