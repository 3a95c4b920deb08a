// The window's alert list fed with the events of successive maps.

#include "AlertLog.h"
#include "DataMapKeys.h"

#include <QtTest>

namespace {

// "+held 1" starts the alert of train 1, "-held 1" ends it, "+deadlock 1,2" a cycle; "|" is a new
// connection, "<" a replay that starts its events again.
void feed(AlertLog &log, const QString &script)
{
    int minute = 0;
    for (const QString &word : script.split(' ', Qt::SkipEmptyParts)) {
        if (word == "|") {
            log.markPrevious();
            continue;
        }
        if (word == "<") {
            log.dropCurrent();
            continue;
        }
        const QString state = word.mid(1).section(':', 0, 0);
        const QStringList ids = word.section(':', 1).split(',');
        QVariantMap event{{DataMapKeys::startedKey, word.startsWith('+')},
                          {DataMapKeys::stateKey, state},
                          {DataMapKeys::idKey, ids.first()},
                          {DataMapKeys::timeKey, QStringLiteral("12:%1").arg(++minute)}};
        if (ids.size() > 1)
            event.insert(DataMapKeys::cycleKey, ids);
        log.take({event});
    }
}

} // namespace

class TestAlertLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void entries_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected"); // newest first: state:id, ended time, previous
        QTest::newRow("started and ended") << "+held:1 +stalled:2 -held:1"
                                           << "stalled:2 open, held:1 12:3";
        QTest::newRow("an end matches the same state and train only")
            << "+held:1 -stalled:1 -held:2"
            << "held:1 open";
        QTest::newRow("a cycle ends by its trains") << "+deadlock:1,2 -deadlock:1,3 -deadlock:1,2"
                                                    << "deadlock:1 12:3";
        QTest::newRow("the same train again: the open one ends")
            << "+held:1 -held:1 +held:1 -held:1"
            << "held:1 12:4, held:1 12:2";
        QTest::newRow("previous connection kept, marked, not ended by the new one")
            << "+held:1 | -held:1 +stalled:1"
            << "stalled:1 open, held:1 open previous";
        QTest::newRow("a replay going back drops its own entries, not earlier ones")
            << "+held:1 | +stalled:2 +held:3 < +stalled:2"
            << "stalled:2 open, held:1 open previous";
    }
    void entries()
    {
        QFETCH(QString, script);
        AlertLog log;
        feed(log, script);
        QStringList entries;
        for (const QVariant &value : log.entries()) {
            const QVariantMap entry = value.toMap();
            const QString ended = entry.value("ended").toString();
            entries << entry.value(DataMapKeys::stateKey).toString() + ':' +
                           entry.value(DataMapKeys::idKey).toString() + ' ' +
                           (ended.isEmpty() ? QStringLiteral("open") : ended) +
                           (entry.value("previous").toBool() ? " previous" : "");
        }
        QTEST(entries.join(", "), "expected");
    }
    void boundedList()
    {
        AlertLog log;
        for (int i = 0; i < AlertLog::maxEntries + 10; ++i)
            feed(log, QStringLiteral("+held:%1").arg(i));
        const QVariantList entries = log.entries();
        QCOMPARE(entries.size(), AlertLog::maxEntries);
        QCOMPARE(entries.first().toMap().value(DataMapKeys::idKey).toString(),
                 QString::number(AlertLog::maxEntries + 9));
    }
};

QTEST_GUILESS_MAIN(TestAlertLog)
#include "tst_alertlog.moc"
