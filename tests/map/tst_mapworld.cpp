#include "GameProcess.h"
#include "MapItem.h"
#include "SdkApi.h"
#include "SdkLoader.h"
#include "SnapshotConverter.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QColor background(0x07, 0x0b, 0x0a);

// A library session on one game, closed when the object dies.
class Session
{
public:
    ~Session()
    {
        if (m_session != 0)
            ZorvySdk_CloseSession(m_session);
    }
    bool open(qint64 processId)
    {
        m_processId = quint32(processId);
        return ZorvySdk_OpenProcess(1, m_processId, &m_session) == 0;
    }
    QVariantMap capture() const
    {
        return convertSnapshot(m_session, m_processId, ViewParameters());
    }

private:
    SdkSession m_session = 0;
    quint32 m_processId = 0;
};

QImage render(MapItem &item)
{
    QImage image(int(item.width()), int(item.height()), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    item.paint(&painter);
    return image;
}

int drawnPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) != background;
    }
    return count;
}

} // namespace

class TestMapWorld : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(loadSdk(&error), qPrintable(error));
    }

    void paintsAGeneratedMediumWorld()
    {
        QTemporaryDir textures;
        GameProcess game;
        QVERIFY2(game.start({QStringLiteral("--size"), QStringLiteral("medium"),
                             QStringLiteral("--texture-dir"), textures.path()}),
                 qPrintable(game.errorString()));
        Session session;
        QVERIFY(session.open(game.processId()));

        const QVariantMap first = session.capture();
        QVERIFY(first.value("live").toBool());
        QVERIFY(first.value("mapGeometry").toByteArray().size() >= 40 * 1000);

        MapItem item;
        item.setSize(QSizeF(1000, 700));
        item.setSnapshotData(first);
        QVERIFY(item.network().nodes().size() >= 1000);
        const QImage image = render(item);
        // Tracks, signals and trains cover a good part of the framed network.
        QVERIFY2(drawnPixels(image) > image.width() * image.height() / 50,
                 QByteArray::number(drawnPixels(image)));
        QVERIFY(drawnPixels(item.networkImage()) > 0);
        const qint64 networkImageKey = item.networkImage().cacheKey();
        const SdkTrackNode *nodeTable = item.network().nodes().constData();

        // The next capture: the trains moved, the network did not.
        QTest::qWait(100);
        const QVariantMap second = session.capture();
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
