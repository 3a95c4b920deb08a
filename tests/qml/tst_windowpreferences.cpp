// The window's choices survive a restart; nonsense in the settings gives the defaults; without
// persistence nothing is read or written.
#include "MapPreferences.h"
#include "WindowPreferences.h"

#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

class TestWindowPreferences : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("ZorvyToolsTest"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_windowpreferences"));
    }

    void init()
    {
        QSettings().clear();
        MapPreferences::setPersistent(true);
    }

    void choicesAreRemembered()
    {
        const QRect onScreen = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect geometry(onScreen.x() + 10, onScreen.y() + 10, 1100, 700);
        {
            WindowPreferences preferences;
            QCOMPARE(preferences.geometry(), QRect());
            QCOMPARE(preferences.panelMode(), true);
            QCOMPARE(preferences.signalSize(), 64.0);
            QCOMPARE(preferences.scope(), 0);
            QCOMPARE(preferences.station(), QString());
            preferences.setGeometry(geometry.x(), geometry.y(), geometry.width(),
                                    geometry.height());
            preferences.setPanelMode(false);
            preferences.setSignalSize(40);
            preferences.setScope(2);
            preferences.setStation(QStringLiteral("000000000000001B"), QStringLiteral("Gare B"));
            preferences.setScope(9);        // not a scope
            preferences.setSignalSize(500); // beyond the slider
        }
        WindowPreferences again;
        QCOMPARE(again.geometry(), geometry);
        QCOMPARE(again.panelMode(), false);
        QCOMPARE(again.signalSize(), 40.0);
        QCOMPARE(again.scope(), 2);
        QCOMPARE(again.station(), QStringLiteral("000000000000001B"));
        QCOMPARE(again.stationName(), QStringLiteral("Gare B"));
    }

    void nonsenseGivesDefaults_data()
    {
        QTest::addColumn<QVariant>("geometry");
        QTest::addColumn<QVariant>("panelMode");
        QTest::addColumn<QVariant>("signalSize");
        QTest::addColumn<QVariant>("scope");
        QTest::addColumn<QVariant>("station");
        QTest::newRow("negative sizes")
            << QVariant(QRect(0, 0, -1200, -800)) << QVariant(QStringLiteral("map"))
            << QVariant(-64) << QVariant(-1) << QVariant(QStringLiteral("Gare B"));
        QTest::newRow("off every screen")
            << QVariant(QRect(-50000, -50000, 1200, 800)) << QVariant(2) << QVariant(1e9)
            << QVariant(4) << QVariant(QStringLiteral("1b"));
        QTest::newRow("below the minimum size")
            << QVariant(QRect(0, 0, 300, 200)) << QVariant(QString())
            << QVariant(QStringLiteral("large")) << QVariant(QStringLiteral("Sélection"))
            << QVariant(QStringLiteral("000000000000001G"));
        QTest::newRow("not numbers at all")
            << QVariant(QStringLiteral("wide")) << QVariant(QStringLiteral("yes"))
            << QVariant(QStringLiteral("nan")) << QVariant(QStringLiteral("2.5x"))
            << QVariant(QVariantList{1, 2});
    }

    void nonsenseGivesDefaults()
    {
        QFETCH(QVariant, geometry);
        QFETCH(QVariant, panelMode);
        QFETCH(QVariant, signalSize);
        QFETCH(QVariant, scope);
        QFETCH(QVariant, station);
        {
            QSettings settings;
            settings.setValue(QStringLiteral("window/geometry"), geometry);
            settings.setValue(QStringLiteral("window/panelMode"), panelMode);
            settings.setValue(QStringLiteral("window/signalSize"), signalSize);
            settings.setValue(QStringLiteral("window/scope"), scope);
            settings.setValue(QStringLiteral("window/station"), station);
            settings.setValue(QStringLiteral("window/stationName"), QStringLiteral("Gare B"));
        }
        WindowPreferences preferences;
        QCOMPARE(preferences.geometry(), QRect());
        QCOMPARE(preferences.panelMode(), true);
        QCOMPARE(preferences.signalSize(), 64.0);
        QCOMPARE(preferences.scope(), 0);
        QCOMPARE(preferences.station(), QString());
        QCOMPARE(preferences.stationName(), QString());
    }

    // Verification and smoke runs: the stored choices are neither read nor overwritten.
    void withoutPersistence()
    {
        QSettings().setValue(QStringLiteral("window/scope"), 2);
        MapPreferences::setPersistent(false);
        {
            WindowPreferences preferences;
            QCOMPARE(preferences.scope(), 0);
            preferences.setScope(1);
            QCOMPARE(preferences.scope(), 1);
        }
        QCOMPARE(QSettings().value(QStringLiteral("window/scope")).toInt(), 2);
    }
};

QTEST_MAIN(TestWindowPreferences)
#include "tst_windowpreferences.moc"
