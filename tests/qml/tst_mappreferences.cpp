// The map's layer choices survive a restart, and nonsense in the settings gives the defaults.
#include "MapPreferences.h"

#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

class TestMapPreferences : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("ZorvyToolsTest"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_mappreferences"));
    }

    void init()
    {
        QSettings().clear();
        MapPreferences::setPersistent(true);
    }

    void choicesAreRemembered()
    {
        {
            MapPreferences preferences;
            QCOMPARE(preferences.signalLayer(), MapPreferences::defaultSignalLayer);
            QCOMPARE(preferences.stationNames(), MapPreferences::defaultStationNames);
            QSignalSpy changed(&preferences, &MapPreferences::changed);
            preferences.setSignalLayer(2);
            preferences.setStationNames(false);
            preferences.setSignalLayer(2); // no change, no signal
            preferences.setSignalLayer(7); // not a layer
            QCOMPARE(changed.count(), 2);
        }
        MapPreferences again;
        QCOMPARE(again.signalLayer(), 2);
        QCOMPARE(again.stationNames(), false);
    }

    void cameraIsRemembered_data()
    {
        QTest::addColumn<QVariantMap>("camera");
        QTest::addColumn<bool>("kept");
        const QVariantMap good{{"railway", "4789-00FF"}, {"x", 12.5}, {"y", -3.0}, {"scale", 0.02}};
        QTest::newRow("a camera") << good << true;
        QVariantMap noRailway = good;
        noRailway.remove("railway");
        QTest::newRow("no railway") << noRailway << false;
        QVariantMap badScale = good;
        badScale.insert("scale", -1.0);
        QTest::newRow("negative scale") << badScale << false;
        QVariantMap text = good;
        text.insert("x", "ouest");
        QTest::newRow("a word for a number") << text << false;
    }

    void cameraIsRemembered()
    {
        QFETCH(QVariantMap, camera);
        QFETCH(bool, kept);
        {
            MapPreferences preferences;
            preferences.setCamera(camera);
            QCOMPARE(preferences.camera(), kept ? camera : QVariantMap());
        }
        MapPreferences again;
        QCOMPARE(again.camera(), kept ? camera : QVariantMap());
    }

    void nonsenseGivesDefaults_data()
    {
        QTest::addColumn<QVariant>("layer");
        QTest::addColumn<QVariant>("names");
        QTest::newRow("out of range") << QVariant(-1) << QVariant(42);
        QTest::newRow("above the last") << QVariant(3) << QVariant(QStringLiteral("yes"));
        QTest::newRow("text") << QVariant(QStringLiteral("images")) << QVariant(QString());
    }

    void nonsenseGivesDefaults()
    {
        QFETCH(QVariant, layer);
        QFETCH(QVariant, names);
        {
            QSettings settings;
            settings.setValue(QStringLiteral("map/signalLayer"), layer);
            settings.setValue(QStringLiteral("map/stationNames"), names);
        }
        MapPreferences preferences;
        QCOMPARE(preferences.signalLayer(), MapPreferences::defaultSignalLayer);
        QCOMPARE(preferences.stationNames(), MapPreferences::defaultStationNames);
    }

    void verificationRunsUseTheDefaults()
    {
        {
            MapPreferences stored;
            stored.setSignalLayer(1);
        }
        MapPreferences::setPersistent(false);
        MapPreferences preferences;
        QCOMPARE(preferences.signalLayer(), MapPreferences::defaultSignalLayer);
        preferences.setStationNames(false);
        MapPreferences::setPersistent(true);
        MapPreferences later;
        QCOMPARE(later.signalLayer(), 1);     // what the user chose stays
        QCOMPARE(later.stationNames(), true); // the run's choice was not written
    }
};

QTEST_GUILESS_MAIN(TestMapPreferences)
#include "tst_mappreferences.moc"
