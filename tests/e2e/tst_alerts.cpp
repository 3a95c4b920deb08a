// The alerts of the reader thread against the simulated game running each scenario of
// sim/scenarios: the expected alerts appear, and nothing that should not (no deadlock behind a
// stalled train, no alert for a train that only runs). The stopped delay is shortened to 2 s so
// that the short hold of a scenario counts.

#include "DataMap.h"
#include "DataMapKeys.h"
#include "GameProcess.h"
#include "ReaderThread.h"
#include "SdkLoader.h"

#include <QtTest>

class TestAlerts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(loadSdk(&error), qPrintable(error));
    }

    void scenarios_data()
    {
        QTest::addColumn<QString>("scenario");
        // Alerts as "<start|end> <state> <train ids, decimal, comma-separated>".
        QTest::addColumn<QStringList>("expected");
        // Text that no alert may hold, once the expected ones are in and four captures more.
        QTest::addColumn<QString>("forbidden");

        QTest::newRow("held at a signal, then cleared")
            << "held-at-signal" << QStringList{"start held 7002", "end held 7002"} << "deadlock";
        QTest::newRow("stalled outside any station")
            << "stalled-outside-station" << QStringList{"start stalled 7001"} << "7900";
        QTest::newRow("deadlock on a single line")
            << "single-line-deadlock" << QStringList{"start deadlock 7101,7102"} << "7900";
        QTest::newRow("circular deadlock of three")
            << "circular-deadlock" << QStringList{"start deadlock 7201,7202,7203"} << "7900";
        QTest::newRow("queue behind a stalled train, no deadlock")
            << "queue-behind-stalled-train"
            << QStringList{"start stalled 7300", "start held 7301", "start held 7302",
                           "start held 7303",    "start held 7304", "start held 7305"}
            << "deadlock";
    }

    void scenarios()
    {
        QFETCH(QString, scenario);
        QFETCH(QStringList, expected);
        QFETCH(QString, forbidden);

        GameProcess game;
        QVERIFY2(
            game.start({"--scenario", QStringLiteral(ZORVY_SCENARIO_DIR "/%1.json").arg(scenario)}),
            qPrintable(game.errorString()));
        ReaderThread reader;
        reader.setStoppedDelay(2000);
        QStringList seen;
        int captures = 0;
        QObject context;
        connect(&reader, &ReaderThread::received, &context, [&](uint64_t, const QVariantMap &data) {
            reader.clearPending();
            if (data.value(DataMapKeys::liveKey).toBool())
                ++captures;
            for (const QVariant &value : data.value(DataMapKeys::attentionEventsKey).toList()) {
                const QVariantMap event = value.toMap();
                QStringList trains = event.value(DataMapKeys::cycleKey).toStringList();
                if (trains.isEmpty())
                    trains << event.value(DataMapKeys::idKey).toString();
                else
                    trains.removeLast(); // the first train again
                QStringList ids;
                for (const QString &train : trains)
                    ids << QString::number(DataMap::parseIdText(train));
                seen << QStringLiteral("%1 %2 %3")
                            .arg(event.value(DataMapKeys::startedKey).toBool() ? "start" : "end",
                                 event.value(DataMapKeys::stateKey).toString(), ids.join(','));
            }
        });
        reader.start();
        reader.exchangeRequest((quint64(1) << 32) | quint64(game.processId()));

        const auto allSeen = [&] {
            for (const QString &alert : expected) {
                if (!seen.contains(alert))
                    return false;
            }
            return true;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(allSeen(), qPrintable(seen.join(" | ")), 60000);
        const int after = captures + 4;
        QTRY_VERIFY_WITH_TIMEOUT(captures >= after, 10000);
        for (const QString &alert : std::as_const(seen))
            QVERIFY2(!alert.contains(forbidden), qPrintable(seen.join(" | ")));
        reader.stop();
        reader.wait();
    }
};

QTEST_GUILESS_MAIN(TestAlerts)
#include "tst_alerts.moc"
