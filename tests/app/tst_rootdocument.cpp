// The window's document as the program loads it: from the module's resources, with the map item
// registered, and only with both of its required objects.

#include "MapItem.h"

#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QtTest>

void qml_register_types_ZorvyTco();

// Stands in for the Backend and the Updater: the window only reads properties and calls methods.
class StandIn : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariantMap data READ data NOTIFY changed)
    Q_PROPERTY(QString status READ status NOTIFY changed)
    Q_PROPERTY(bool ready READ ready NOTIFY changed)

public:
    QVariantMap data() const { return {}; }
    QString status() const { return {}; }
    bool ready() const { return false; }

    // The window's calls, recorded.
    Q_INVOKABLE void setView(int, const QString &, const QString &, int) { ++calls; }
    Q_INVOKABLE void selectTrain(const QString &) { ++calls; }
    int calls = 0;

signals:
    void changed();
};

class TestRootDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void loads_data();
    void loads();
};

void TestRootDocument::initTestCase()
{
    volatile auto registration = &qml_register_types_ZorvyTco;
    Q_UNUSED(registration)
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    qmlRegisterType<MapItem>("Zorvy.Map", 1, 0, "RailMap");
}

void TestRootDocument::loads_data()
{
    QTest::addColumn<bool>("withBackend");
    QTest::addColumn<bool>("withUpdater");
    QTest::addColumn<bool>("created");
    QTest::newRow("both") << true << true << true;
    QTest::newRow("no updater") << true << false << false;
    QTest::newRow("no backend") << false << true << false;
}

void TestRootDocument::loads()
{
    QFETCH(bool, withBackend);
    QFETCH(bool, withUpdater);
    QFETCH(bool, created);

    StandIn backend, updater;
    QVariantMap properties;
    if (withBackend)
        properties.insert(QStringLiteral("backend"), QVariant::fromValue<QObject *>(&backend));
    if (withUpdater)
        properties.insert(QStringLiteral("updater"), QVariant::fromValue<QObject *>(&updater));
    QQmlApplicationEngine engine;
    engine.setInitialProperties(properties);
    QSignalSpy failed(&engine, &QQmlApplicationEngine::objectCreationFailed);
    if (!created)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Required property")));
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/ZorvyTco/Main.qml")));

    QCOMPARE(failed.count(), created ? 0 : 1);
    QCOMPARE(engine.rootObjects().size(), created ? 1 : 0);
    if (created) {
        auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
        QVERIFY(window);
        QCOMPARE(window->title(), QStringLiteral("Zorvy TCO — observation du réseau"));
        QCOMPARE(window->size(), QSize(1440, 900));
        QCOMPARE(window->minimumSize(), QSize(1060, 650));
        // Building the window asks nothing of the Backend.
        QCOMPARE(backend.calls, 0);
    }
}

QTEST_MAIN(TestRootDocument)
#include "tst_rootdocument.moc"
