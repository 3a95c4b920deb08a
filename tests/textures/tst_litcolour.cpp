#include "LitColour.h"

#include <QPainter>
#include <QtTest>

// A signal head as games draw them: a dark body with a light rim and lamps, some lit.
static QImage head(const QList<QColor> &lamps, bool rim = true)
{
    QImage image(32, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(rim ? QPen(QColor(200, 200, 200), 1.5) : Qt::NoPen);
    painter.setBrush(QColor(20, 20, 24));
    painter.drawRoundedRect(QRectF(3, 2, 26, 60), 6, 6);
    painter.setPen(Qt::NoPen);
    for (int lamp = 0; lamp < lamps.size(); ++lamp) {
        painter.setBrush(lamps[lamp]);
        painter.drawEllipse(QPointF(16, 13 + lamp * 19), 7, 7);
    }
    return image;
}

class TestLitColour : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsTheLitLamp_data()
    {
        const QColor off(40, 40, 40), red(230, 40, 40), green(40, 200, 80), yellow(250, 200, 30),
            pink(240, 20, 90);
        QTest::addColumn<QImage>("image");
        QTest::addColumn<bool>("clear"); // a lit colour was found
        QTest::addColumn<bool>("danger");
        QTest::addColumn<int>("hue"); // the expected hue, ±20°, when clear
        QTest::newRow("red on top") << head({red, off, off}) << true << true << 0;
        QTest::newRow("two reds") << head({red, off, red}) << true << true << 0;
        QTest::newRow("a red just past 0° (hue 340)")
            << head({off, pink, off}) << true << true << 340;
        QTest::newRow("green") << head({off, off, green}) << true << false << 136;
        QTest::newRow("yellow") << head({off, yellow, off}) << true << false << 47;
        QTest::newRow("yellow beats a smaller red")
            << head({yellow, yellow, red}) << true << false << 47;
        QTest::newRow("all lamps off") << head({off, off, off}) << false << false << 0;
        QTest::newRow("white lamps") << head({Qt::white, Qt::white}) << false << false << 0;
        QTest::newRow("transparent") << head({}, false) << false << false << 0;
        QTest::newRow("no image") << QImage() << false << false << 0;
    }
    void readsTheLitLamp()
    {
        QFETCH(QImage, image);
        QFETCH(bool, clear);
        QFETCH(bool, danger);
        QFETCH(int, hue);
        const QColor lit = LitColour::of(image);
        QCOMPARE(lit.isValid(), clear);
        QCOMPARE(LitColour::isDanger(lit), danger);
        if (clear) {
            const int distance = qAbs(lit.hsvHue() - hue);
            QVERIFY2(qMin(distance, 360 - distance) <= 20, qPrintable(lit.name()));
        }
    }
};

QTEST_GUILESS_MAIN(TestLitColour)
#include "tst_litcolour.moc"
