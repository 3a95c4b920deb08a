// The list's signal images come through the texture loader: any file name reaches it intact, and
// a file it refuses leaves the drawn symbol, without the window ever reading the file.
#include "HostileFiles.h"
#include "SignalImageProvider.h"
#include "TextureLoader.h"

#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

void qml_register_types_ZorvyTco();

class TestSignalImages : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        volatile auto registration = &qml_register_types_ZorvyTco;
        Q_UNUSED(registration)
        QQuickStyle::setStyle(QStringLiteral("Basic"));
        QVERIFY(m_dir.isValid());
    }

    void markerImage_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("shown");
        QTest::newRow("plain name") << "signal.png"
                                    << "picture" << true;
        QTest::newRow("name a URL would cut") << "a b%41#?é&+.png"
                                              << "picture" << true;
        QTest::newRow("fifo") << "fifo.png"
                              << "fifo" << false;
        QTest::newRow("bomb") << "bomb.png"
                              << "bomb" << false;
        QTest::newRow("missing") << "missing.png"
                                 << "missing" << false;
    }

    void markerImage()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(bool, shown);
        const QString path = m_dir.filePath(name);
        if (kind == "picture") {
            QImage picture(300, 150, QImage::Format_ARGB32);
            picture.fill(Qt::green);
            QVERIFY(picture.save(path, "PNG"));
        } else if (kind == "fifo") {
            QVERIFY(HostileFiles::makeFifo(path));
        } else if (kind == "bomb") {
            QVERIFY(HostileFiles::writeBombPng(path, 60000, 60000));
        }

        QQmlEngine engine;
        engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
        engine.addImageProvider(QLatin1String(SignalImageProvider::providerId),
                                new SignalImageProvider(TextureLoader::shared()));
        QQmlComponent component(&engine);
        component.setData("import ZorvyTco\nSignalMarker {}", QUrl());
        std::unique_ptr<QObject> marker(component.createWithInitialProperties(
            {{"signalData", QVariantMap{{"id", "0x1"},
                                        {"texturePath", path},
                                        {"textureUrl", QUrl::fromLocalFile(path).toString()}}}}));
        QVERIFY2(marker, qPrintable(component.errorString()));
        // Image.status: 1 ready, 3 error.
        auto *image = marker->findChild<QQuickItem *>("signalImage");
        auto *symbol = marker->findChild<QQuickItem *>("drawnSymbol");
        QVERIFY(image && symbol);
        const auto status = [image] { return image->property("status").toInt(); };
        QTRY_VERIFY_WITH_TIMEOUT(status() == 1 || status() == 3, 10000);
        QCOMPARE(status() == 1, shown);
        QCOMPARE(symbol->isVisible(), !shown);
        if (shown) // decoded by the loader at 192 pixels a side at most
            QCOMPARE(image->property("implicitWidth").toReal(), 192.0);
    }
};

QTEST_MAIN(TestSignalImages)
#include "tst_signalimages.moc"
