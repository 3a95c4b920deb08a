#include "MapFiller.h"

#include <QtTest>

class TestMapFiller : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fillsInKeyOrder();
    void anyOrderGivesTheSameMap();
    void prototypeStaysUntouched();
};

namespace {
const QString beginKey = QStringLiteral("begin");
const QString endKey = QStringLiteral("end");
const QString trackKey = QStringLiteral("track");
const QVariantMap expected{{"begin", 0.25}, {"end", 0.5}, {"track", "000000000000001A"}};
} // namespace

void TestMapFiller::fillsInKeyOrder()
{
    const QVariantMap prototype = mapPrototype({&beginKey, &endKey, &trackKey});
    QCOMPARE(MapFiller(prototype)
                 .set(beginKey, 0.25)
                 .set(endKey, 0.5)
                 .set(trackKey, QStringLiteral("000000000000001A"))
                 .take(),
             expected);
}

void TestMapFiller::anyOrderGivesTheSameMap()
{
    const QVariantMap prototype = mapPrototype({&beginKey, &endKey, &trackKey});
    // Out of order, and a key equal in text but another object: both take the slow way.
    const QString otherTrackKey = QString::fromLatin1("track");
    QCOMPARE(MapFiller(prototype)
                 .set(endKey, 0.5)
                 .set(beginKey, 0.25)
                 .set(otherTrackKey, QStringLiteral("000000000000001A"))
                 .take(),
             expected);
    const QVariantMap extra = MapFiller(prototype)
                                  .set(beginKey, 0.25)
                                  .set(QStringLiteral("aaa"), 1)
                                  .set(endKey, 0.5)
                                  .set(trackKey, QStringLiteral("000000000000001A"))
                                  .take();
    QCOMPARE(extra.size(), 4);
    QCOMPARE(extra.value("aaa"), QVariant(1));
    QCOMPARE(extra.value("end"), QVariant(0.5));
}

void TestMapFiller::prototypeStaysUntouched()
{
    const QVariantMap prototype = mapPrototype({&beginKey, &endKey, &trackKey});
    const QVariantMap first = MapFiller(prototype).set(beginKey, 1.0).take();
    QCOMPARE(first.value("begin"), QVariant(1.0));
    for (const QVariant &value : prototype)
        QVERIFY(!value.isValid());
}

QTEST_GUILESS_MAIN(TestMapFiller)
#include "tst_mapfiller.moc"
