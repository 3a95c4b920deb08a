#include "IdGroups.h"
#include "IdIndex.h"

#include <QRandomGenerator>
#include <QtTest>

#include <unordered_map>

class TestIdIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsEveryIdAndNoOther_data();
    void findsEveryIdAndNoOther();
    void firstWinsOrLastWins();
    void resetForgetsTheLastCapture();
    void groupsKeepInsertionOrder();
};

void TestIdIndex::findsEveryIdAndNoOther_data()
{
    QTest::addColumn<int>("pattern");
    QTest::addColumn<bool>("withRange"); // ids close together are kept in a plain array
    QTest::newRow("sequential") << 0 << false;
    QTest::newRow("sequential, with their range") << 0 << true;
    QTest::newRow("high bits only") << 1 << false;
    QTest::newRow("high bits only, with their range") << 1 << true;
    QTest::newRow("random, with zero and all ones") << 2 << false;
    QTest::newRow("random, with their range") << 2 << true;
}

void TestIdIndex::findsEveryIdAndNoOther()
{
    QFETCH(int, pattern);
    QFETCH(bool, withRange);
    QRandomGenerator random(7);
    std::vector<quint64> ids;
    for (quint64 i = 0; i < 20000; ++i)
        ids.push_back(pattern == 0 ? i : pattern == 1 ? i << 40 : random.generate64());
    if (pattern == 2) {
        ids.push_back(0);
        ids.push_back(~quint64(0));
    }
    std::unordered_map<quint64, int> reference;
    IdIndex index;
    if (withRange)
        index.reset(qsizetype(ids.size()), *std::min_element(ids.begin(), ids.end()),
                    *std::max_element(ids.begin(), ids.end()));
    else
        index.reset(qsizetype(ids.size()));
    for (std::size_t i = 0; i < ids.size(); ++i) {
        index.insertFirst(ids[i], int(i));
        reference.emplace(ids[i], int(i));
    }
    for (const auto &[id, position] : reference)
        QCOMPARE(index.find(id), position);
    // Absent ids inside the range, below it and above it.
    for (quint64 i = 0; i < 1000; ++i) {
        const quint64 absent = pattern == 1   ? (i << 40) + 1
                               : pattern == 0 ? (i % 2 ? 20000 + i : ~quint64(0) - i)
                                              : random.generate64() | 1;
        if (!reference.count(absent))
            QCOMPARE(index.find(absent), -1);
    }
}

void TestIdIndex::firstWinsOrLastWins()
{
    IdIndex index;
    index.reset(4, 26, 100);
    QCOMPARE(index.insertFirst(100, 0), 0);
    QCOMPARE(index.insertFirst(100, 1), 0);
    QCOMPARE(index.find(100), 0);
    index.insertOrAssign(26, 2);
    index.insertOrAssign(26, 3);
    QCOMPARE(index.find(26), 3);
}

void TestIdIndex::resetForgetsTheLastCapture()
{
    IdIndex index;
    index.reset(1000);
    for (int i = 0; i < 1000; ++i)
        index.insertFirst(quint64(i), i);
    index.reset(1000, 0, 999);
    QCOMPARE(index.find(5), -1);
    index.reset(1000);
    QCOMPARE(index.find(5), -1);
    index.reset(0);
    QCOMPARE(index.find(5), -1);
}

void TestIdIndex::groupsKeepInsertionOrder()
{
    IdGroups groups;
    groups.reset(6, 0, 9);
    const quint64 trackOf[] = {7, 9, 7, 0, 7, 9};
    for (int element = 0; element < 6; ++element)
        groups.add(trackOf[element], element);
    const auto members = [&groups](quint64 id) {
        QList<int> list;
        groups.forEach(id, [&list](int element) { list << element; });
        return list;
    };
    QCOMPARE(members(7), (QList<int>{0, 2, 4}));
    QCOMPARE(members(9), (QList<int>{1, 5}));
    QCOMPARE(members(0), QList<int>{3});
    QCOMPARE(members(8), QList<int>());
    QVERIFY(groups.contains(0));
    QVERIFY(!groups.contains(8));
    QCOMPARE(groups.size(7), 3);

    groups.reset(2, 7, 7);
    QVERIFY(!groups.contains(7));
    QVERIFY(!groups.contains(6));
    groups.add(7, 1);
    QCOMPARE(members(7), QList<int>{1});
}

QTEST_GUILESS_MAIN(TestIdIndex)
#include "tst_idindex.moc"
