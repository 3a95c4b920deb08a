#include "GameProcess.h"
#include "MapItem.h"
#include "SdkApi.h"
#include "SdkLoader.h"
#include "SnapshotConverter.h"

#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QImage render(MapItem &item)
{
    QImage image(1000, 700, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    item.paint(&painter);
    return image;
}

int drawnPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) != QColor(0x07, 0x0b, 0x0a); // not the background
    return count;
}

} // namespace

class TestMapWorld : public QObject
{
    Q_OBJECT

private slots:
    void paintsAGeneratedMediumWorld()
    {
        QString error;
        QVERIFY2(loadSdk(&error), qPrintable(error));
        QTemporaryDir textures;
        GameProcess game;
        QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("medium"),
                             QStringLiteral("--texture-dir"), textures.path()}),
                 qPrintable(game.errorString()));
        SdkSession session = 0;
        const quint32 processId = quint32(game.processId());
        QVERIFY(ZorvySdk_OpenProcess(1, processId, &session) == 0);
        const auto closeSession = qScopeGuard([&] { ZorvySdk_CloseSession(session); });
        const auto capture = [&] { return convertSnapshot(session, processId, ViewParameters()); };

        const QVariantMap first = capture();
        QVERIFY(first.value("live").toBool());
        QVERIFY(first.value("mapGeometry").toByteArray().size() >= 40 * 1000);

        MapItem item;
        item.setSize(QSizeF(1000, 700));
        item.setSnapshotData(first);
        QVERIFY(item.network().nodes().size() >= 1000);
        const QImage image = render(item);
        // Tracks, signals and trains cover a good part of the framed network.
        QVERIFY(drawnPixels(image) > image.width() * image.height() / 50);
        const qint64 networkImageKey = item.networkImage().cacheKey();
        const SdkTrackNode *nodeTable = item.network().nodes().constData();

        // The next capture: the trains moved, the network did not.
        QTest::qWait(100);
        const QVariantMap second = capture();
        QCOMPARE(second.value("mapGeometry").toByteArray(),
                 first.value("mapGeometry").toByteArray());
        QVERIFY(second.value("trains") != first.value("trains"));
        item.setSnapshotData(second);
        QVERIFY(!item.isNetworkImageDirty());
        const QImage next = render(item);
        QCOMPARE(item.networkImage().cacheKey(), networkImageKey);
        QCOMPARE(item.network().nodes().constData(), nodeTable);
        QVERIFY(next != image); // the dynamic layers follow the new data
    }
};

QTEST_MAIN(TestMapWorld)
#include "tst_mapworld.moc"
