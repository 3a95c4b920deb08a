#include "TexturePlacer.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// The placement rule read plainly: every candidate in order, each compared with every rectangle
// placed before it.
class PlainPlacer
{
public:
    PlainPlacer(const QSizeF &item, double signalSize) : m_item(item), m_signalSize(signalSize) {}

    QRectF place(const QPointF &p, const QSizeF &size)
    {
        const double w = size.width();
        const double h = size.height();
        const QRectF base(p + QPointF(-w / 2, -h - 3), QSizeF(w, h));
        const double step = m_signalSize + 6;
        QRectF candidate;
        for (int i = 0; i < 256; ++i) {
            const int a = i % 9;
            const int b = i / 9;
            int column = 0;
            if (a % 2 == 1)
                column = (a + 1) / 2;
            else if (a > 0)
                column = -(a / 2);
            int row = 0;
            if (b > 0)
                row = (b % 2 == 1) ? -((b + 1) / 2) : (b + 1) / 2;
            candidate = base.translated(column * step, row * step);
            const bool inside = candidate.left() >= 0 && candidate.right() <= m_item.width() &&
                                candidate.top() >= 0 && candidate.bottom() <= m_item.height();
            if (!inside)
                continue;
            bool free = true;
            for (const QRectF &placed : std::as_const(m_placed)) {
                if (candidate.intersects(placed.adjusted(-3, -3, 3, 3))) {
                    free = false;
                    break;
                }
            }
            if (free)
                break;
        }
        m_placed.append(candidate);
        return candidate;
    }

private:
    QSizeF m_item;
    double m_signalSize;
    QVector<QRectF> m_placed;
};

double uniform(QRandomGenerator &random, double low, double high)
{
    return low + random.bounded(high - low);
}

bool sameRectangle(const QRectF &a, const QRectF &b)
{
    // QRectF's own comparison is fuzzy; placement must agree to the last bit.
    return a.x() == b.x() && a.y() == b.y() && a.width() == b.width() && a.height() == b.height();
}

QString describe(const QRectF &r)
{
    return QStringLiteral("(%1, %2, %3 x %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

class TestTexturePlacer : public QObject
{
    Q_OBJECT

private slots:
    void candidateOffsets()
    {
        const int columns[9] = {0, 1, -1, 2, -2, 3, -3, 4, -4};
        for (int a = 0; a < 9; ++a)
            QCOMPARE(TexturePlacer::columnOffset(a), columns[a]);
        const int rows[6] = {0, -1, 1, -2, 2, -3};
        for (int b = 0; b < 6; ++b)
            QCOMPARE(TexturePlacer::rowOffset(b * 9), rows[b]);
        QCOMPARE(TexturePlacer::columnOffset(255), 2);
        QCOMPARE(TexturePlacer::rowOffset(255), 14);
    }

    void spotsAroundOneTrackPoint()
    {
        // 64 x 32 textures at one track point in a large item: base spot, then 70 px to the
        // right, to the left, 140 to the right … and after nine, one row of 70 px up.
        TexturePlacer placer(QSizeF(2000, 2000), 64);
        const QPointF p(1000, 1000);
        const QRectF base(p + QPointF(-32, -35), QSizeF(64, 32));
        QCOMPARE(base.bottom(), p.y() - 3);
        const QPointF expected[10] = {{0, 0},   {70, 0},   {-70, 0}, {140, 0},  {-140, 0},
                                      {210, 0}, {-210, 0}, {280, 0}, {-280, 0}, {0, -70}};
        for (const QPointF &offset : expected) {
            const QRectF got = placer.place(p, QSizeF(64, 32));
            QVERIFY2(sameRectangle(got, base.translated(offset)), qPrintable(describe(got)));
        }
    }

    void secondSquareTextureGoesRight()
    {
        TexturePlacer placer(QSizeF(400, 300), 64);
        const QPointF p(200, 200);
        QCOMPARE(placer.place(p, QSizeF(64, 64)), QRectF(168, 133, 64, 64));
        QCOMPARE(placer.place(p, QSizeF(64, 64)), QRectF(238, 133, 64, 64));
    }

    void itemSmallerThanTextureUsesTheLastCandidate()
    {
        TexturePlacer placer(QSizeF(40, 40), 64);
        const QPointF p(20, 20);
        const QRectF got = placer.place(p, QSizeF(64, 64));
        const QRectF base(p + QPointF(-32, -67), QSizeF(64, 64));
        QVERIFY(sameRectangle(got, base.translated(2 * 70, 14 * 70)));
        QCOMPARE(placer.placedRectangles().size(), 1);
    }

    void sameAsThePlainRule_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 60; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }

    void sameAsThePlainRule()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        // Every third seed crowds a small item, so that most textures find no free spot.
        const bool crowded = seed % 3 == 0;
        const QSizeF item =
            crowded ? QSizeF(uniform(random, 100.0, 500.0), uniform(random, 80.0, 400.0))
                    : QSizeF(uniform(random, 20.0, 1400.0), uniform(random, 20.0, 1000.0));
        // Whole and fractional sizes, including the clamp ends.
        const double sizes[] = {24, 64, 96, uniform(random, 24.0, 96.0)};
        const double signalSize = sizes[random.bounded(4)];
        const int count = crowded ? random.bounded(300, 900) : random.bounded(0, 700);
        // Clustered points make many textures compete for the same spots; some points repeat.
        const int clusters = 1 + random.bounded(8);
        QVector<QPointF> centres;
        for (int c = 0; c < clusters; ++c)
            centres.append(QPointF(uniform(random, -20.0, item.width() + 20),
                                   uniform(random, -20.0, item.height() + 20)));

        TexturePlacer fast(item, signalSize);
        PlainPlacer plain(item, signalSize);
        QPointF previous;
        for (int i = 0; i < count; ++i) {
            QPointF p;
            const int kind = random.bounded(10);
            if (kind == 0 && i > 0)
                p = previous;
            else if (kind < 4)
                p = QPointF(uniform(random, -20.0, item.width() + 20),
                            uniform(random, -20.0, item.height() + 20));
            else
                p = centres[random.bounded(clusters)] +
                    QPointF(uniform(random, -60.0, 60.0), uniform(random, -60.0, 60.0));
            previous = p;
            const int side = int(signalSize);
            QSizeF size(random.bounded(side + 1), random.bounded(side + 1));
            if (random.bounded(4) == 0)
                size = QSizeF(side, side);
            const QRectF expected = plain.place(p, size);
            const QRectF got = fast.place(p, size);
            QVERIFY2(sameRectangle(got, expected),
                     qPrintable(QStringLiteral("texture %1: got %2, rule gives %3")
                                    .arg(i)
                                    .arg(describe(got), describe(expected))));
        }
        QCOMPARE(fast.placedRectangles().size(), count);
    }
};

QTEST_APPLESS_MAIN(TestTexturePlacer)
#include "tst_textureplacer.moc"
