// The map's and the window's choices survive a restart; values that make no sense, set or found
// in the settings, give the defaults; without persistence nothing is read or written.
#include "MapPreferences.h"
#include "WindowPreferences.h"

#include <QGuiApplication>
#include <QMetaProperty>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

namespace {

// The object that holds this choice, made as the program makes it at start.
std::unique_ptr<QObject> holderOf(const QByteArray &name)
{
    if (MapPreferences::staticMetaObject.indexOfProperty(name) >= 0)
        return std::make_unique<MapPreferences>();
    return std::make_unique<WindowPreferences>();
}

// Makes a choice as the window does: through the property, or the setter of the window's place
// and of its station.
void choose(QObject *preferences, const QByteArray &name, const QVariant &value)
{
    auto *window = qobject_cast<WindowPreferences *>(preferences);
    if (name == "geometry") {
        const QRect r = value.toRect();
        window->setGeometry(r.x(), r.y(), r.width(), r.height());
    } else if (name == "station") {
        window->setStation(value.toString(), QStringLiteral("Gare B"));
    } else {
        preferences->setProperty(name, value);
    }
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("ZorvyToolsTest"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_preferences"));
    }

    void init()
    {
        QSettings().clear();
        MapPreferences::setPersistent(true);
    }

    // A refused value leaves the default, and so does the next start.
    void choiceSurvivesARestart_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("kept");
        const auto row = [](const char *tag, const char *name, const QVariant &value, bool kept) {
            QTest::newRow(tag) << QByteArray(name) << value << kept;
        };
        const QVariantMap camera{
            {"railway", "4789-00FF"}, {"x", 12.5}, {"y", -3.0}, {"scale", 0.02}, {"framed", false}};
        const auto cameraWith = [&](const QString &key, const QVariant &value) {
            QVariantMap changed = camera;
            changed.insert(key, value);
            return changed;
        };
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        row("signal layer", "signalLayer", QVariant::fromValue(SignalLayer::Hidden), true);
        row("not a layer", "signalLayer", 7, false);
        row("station names", "stationNames", false, true);
        row("camera", "camera", camera, true);
        row("framed camera", "camera", cameraWith("framed", true), true);
        row("camera without railway", "camera", cameraWith("railway", QString()), false);
        row("camera, negative scale", "camera", cameraWith("scale", -1.0), false);
        row("camera, a word for a number", "camera", cameraWith("x", "ouest"), false);
        row("geometry", "geometry", QRect(screen.topLeft() + QPoint(10, 10), QSize(1100, 700)),
            true);
        row("list mode", "panelMode", false, true);
        row("signal size", "signalSize", 40.0, true);
        row("size beyond the slider", "signalSize", 500.0, false);
        row("scope", "scope", QVariant::fromValue(ListScope::AllTracks), true);
        row("not a scope", "scope", 9, false);
        row("station", "station", "000000000000001B", true);
        row("station id not hexadecimal", "station", "000000000000001G", false);
        row("alert delay", "alertDelay", 30, true);
        row("alert delay of 0 s", "alertDelay", 0, false);
        row("alert kinds", "alertKinds", int(WindowPreferences::DeadlockAlerts), true);
        row("alert kinds beyond the known ones", "alertKinds", 8, false);
        row("the alerts' tab", "sideTab", 1, true);
        row("a tab that is not there", "sideTab", 2, false);
    }

    void choiceSurvivesARestart()
    {
        QFETCH(QByteArray, name);
        QFETCH(QVariant, value);
        QFETCH(bool, kept);
        QVariant expected;
        {
            const auto preferences = holderOf(name);
            expected = kept ? value : preferences->property(name);
            QSignalSpy changed(preferences.get(), SIGNAL(changed()));
            choose(preferences.get(), name, value);
            choose(preferences.get(), name, value); // no change, no signal
            QCOMPARE(changed.count(), int(kept));
            QCOMPARE(preferences->property(name), expected);
        }
        const auto again = holderOf(name);
        QCOMPARE(again->property(name), expected);
        if (name == "station")
            QCOMPARE(again->property("stationName").toString(), kept ? "Gare B" : QString());
    }

    // Each value, found under its key, leaves both objects exactly as a first start.
    void nonsenseGivesDefaults_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariantList>("values");
        const auto row = [](const char *key, const QVariantList &values) {
            QTest::newRow(key) << QString(key) << values;
        };
        row("map/signalLayer", {-1, 4, "images", "2.5x"});
        row("map/stationNames", {42, "yes", QString(), "TRUE"});
        row("window/geometry", {QRect(0, 0, -1200, -800), QRect(-50000, -50000, 1200, 800),
                                QRect(0, 0, 300, 200), "wide"});
        row("window/panelMode", {"map", 2, QString(), "yes"});
        row("window/signalSize", {-64, 1e9, "large", "nan"});
        row("window/scope", {-1, 4, "Sélection", "2.5x"});
        row("window/station", {"Gare B", "1b", "000000000000001G", QVariantList{1, 2}});
        row("alerts/delay", {-10, 0, 1e6, "long"});
        row("alerts/kinds", {-1, 8, "held", "2.5x"});
        row("window/sideTab", {-1, 2, "alertes"});
    }

    void nonsenseGivesDefaults()
    {
        QFETCH(QString, key);
        QFETCH(QVariantList, values);
        const MapPreferences mapDefaults;
        const WindowPreferences windowDefaults;
        for (int v = 0; v < values.size(); ++v) {
            {
                QSettings settings;
                settings.setValue(key, values[v]);
                settings.setValue(QStringLiteral("window/stationName"), QStringLiteral("Gare B"));
            }
            const MapPreferences map;
            const WindowPreferences window;
            const std::pair<const QObject *, const QObject *> pairs[] = {
                {&map, &mapDefaults}, {&window, &windowDefaults}};
            for (const auto &[read, defaults] : pairs) {
                const QMetaObject *meta = read->metaObject();
                for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
                    QVERIFY2(meta->property(i).read(read) == meta->property(i).read(defaults),
                             "value " + QByteArray::number(v) + " gives another " +
                                 meta->property(i).name());
            }
        }
    }

    // The numbers that earlier versions wrote, as the settings file holds them, are read.
    void storedNumbersAreRead()
    {
        QSettings().setValue(QStringLiteral("map/signalLayer"), QStringLiteral("1"));
        QSettings().setValue(QStringLiteral("window/scope"), QStringLiteral("3"));
        QCOMPARE(MapPreferences().signalLayer(), SignalLayer::Symbols);
        QCOMPARE(WindowPreferences().scope(), ListScope::Selection);
    }

    // A first window fits the screen's free area, centred, never below the minimum size.
    void firstWindowFitsTheScreen_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QRect>("placed");
        QTest::newRow("large screen") << QRect(0, 0, 1920, 1040) << QRect(240, 70, 1440, 900);
        QTest::newRow("small laptop") << QRect(0, 0, 1366, 728) << QRect(0, 0, 1366, 728);
        QTest::newRow("second screen, task bar on top")
            << QRect(1920, 40, 1280, 680) << QRect(1920, 40, 1280, 680);
        QTest::newRow("smaller than the minimum")
            << QRect(0, 0, 800, 600) << QRect(0, 0, WindowPreferences::minimumWidth, 650);
    }

    void firstWindowFitsTheScreen()
    {
        QFETCH(QRect, area);
        QTEST(WindowPreferences::fitInto(QSize(1440, 900), area), "placed");
    }

    // Verification and smoke runs: the stored choices are neither read nor overwritten.
    void withoutPersistence()
    {
        MapPreferences().setSignalLayer(1);
        WindowPreferences().setScope(2);
        MapPreferences::setPersistent(false);
        {
            MapPreferences map;
            WindowPreferences window;
            QCOMPARE(map.signalLayer(), MapPreferences::defaultSignalLayer);
            QCOMPARE(window.scope(), WindowPreferences::defaultScope);
            map.setStationNames(false);
            window.setScope(1);
            QCOMPARE(window.scope(), 1); // kept for the run
        }
        MapPreferences::setPersistent(true);
        QCOMPARE(MapPreferences().signalLayer(), 1);
        QCOMPARE(MapPreferences().stationNames(), MapPreferences::defaultStationNames);
        QCOMPARE(WindowPreferences().scope(), 2);
    }
};

QTEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
