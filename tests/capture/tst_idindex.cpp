// The id index against ids a library could craft: ids that all share one home slot under a plain
// Fibonacci hash still build in linear time and are all found.

#include "IdIndex.h"

#include <QtTest>

#include <vector>

namespace {

constexpr quint64 fibonacci = 0x9E3779B97F4A7C15ull;

// The multiplicative inverse of an odd number modulo 2^64 (Newton's iteration).
quint64 inverse(quint64 odd)
{
    quint64 x = odd;
    for (int i = 0; i < 6; ++i)
        x *= 2 - odd * x;
    return x;
}

// count ids whose product with the Fibonacci constant is 1, 2, 3…: their top bits are all zero,
// so an unseeded Fibonacci hash sends every one of them to the first slot.
std::vector<quint64> collidingIds(int count)
{
    const quint64 undo = inverse(fibonacci);
    std::vector<quint64> ids;
    for (int j = 1; j <= count; ++j)
        ids.push_back(quint64(j) * undo);
    return ids;
}

} // namespace

class TestIdIndex : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void craftedIds_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("1000") << 1000;
        QTest::newRow("30000") << 30000;
    }

    // Built with insertFirst and insertOrAssign, found again, and unknown ids are not found; the
    // insertions look at a few slots per id, not at all earlier ids.
    void craftedIds()
    {
        QFETCH(int, count);
        // All in the first slot under the plain hash; the last 50 are never inserted.
        const std::vector<quint64> ids = collidingIds(count + 50);
        for (const quint64 id : ids)
            QCOMPARE((id * fibonacci) >> 40, quint64(0));
        IdIndex index;
        index.reset(count);
        for (int i = 0; i < count; ++i)
            QCOMPARE(index.insertFirst(ids[std::size_t(i)], i), i);
        QCOMPARE(index.insertFirst(ids[0], 99), 0); // the first one wins
        index.insertOrAssign(ids[1], 77);
        QVERIFY2(index.insertProbes() <= quint64(8) * quint64(count),
                 qPrintable(QString::number(index.insertProbes())));
        for (int i = 2; i < count; ++i)
            QCOMPARE(index.find(ids[std::size_t(i)]), i);
        QCOMPARE(index.find(ids[0]), 0);
        QCOMPARE(index.find(ids[1]), 77);
        for (std::size_t i = std::size_t(count); i < ids.size(); ++i)
            QCOMPARE(index.find(ids[i]), -1);
        QCOMPARE(index.find(0), -1);
    }
};

QTEST_APPLESS_MAIN(TestIdIndex)
#include "tst_idindex.moc"
