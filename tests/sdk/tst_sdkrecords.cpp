#include "SdkText.h"

#include <QtTest>

// The fixed-size texts of the records. Their layout is checked at compile time (SdkRecords.h);
// a whole array without NUL and invalid bytes are covered by the conversion tests.
class TestSdkRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fixedText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("stops at NUL") << QByteArray("Gare\0xyz", 8) << QStringLiteral("Gare");
        QTest::newRow("cut multi-byte sequence at the end")
            << QByteArray("Vo\xc3", 3) << QStringLiteral("Vo\uFFFD");
    }
    void fixedText()
    {
        QFETCH(QByteArray, bytes);
        QTEST(sdkText(bytes.constData(), std::size_t(bytes.size())), "expected");
    }
};

QTEST_APPLESS_MAIN(TestSdkRecords)
#include "tst_sdkrecords.moc"
