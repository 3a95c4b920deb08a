#include "TexturePlacer.h"

#include <QRandomGenerator>
#include <QtTest>

#include <optional>

class TestTexturePlacer : public QObject
{
    Q_OBJECT

private slots:
    void sameAsThePlainRule_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 24; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }

    void sameAsThePlainRule()
    {
        QFETCH(quint32, seed);
        // Every digit: QRectF's own comparison is fuzzy, placement must agree exactly.
        const auto exact = [](const QRectF &r) {
            return QString::asprintf("(%.17g, %.17g, %.17g x %.17g)", r.x(), r.y(), r.width(),
                                     r.height());
        };
        QRandomGenerator random(seed);
        const auto uniform = [&](double low, double high) {
            return low + random.bounded(high - low);
        };
        // Every third seed crowds a small item, so that most textures find no free spot.
        const bool crowded = seed % 3 == 0;
        const QSizeF item = crowded ? QSizeF(uniform(100, 500), uniform(80, 400))
                                    : QSizeF(uniform(20, 1400), uniform(20, 1000));
        // Whole and fractional sizes, including the clamp ends.
        const double sizes[] = {24, 64, 96, uniform(24, 96)};
        const double signalSize = sizes[random.bounded(4)];
        const int count = crowded ? random.bounded(300, 900) : random.bounded(0, 700);
        // Clustered points make many textures compete for the same spots; some points repeat.
        const auto anywhere = [&] {
            return QPointF(uniform(-20, item.width() + 20), uniform(-20, item.height() + 20));
        };
        const int clusters = 1 + random.bounded(8);
        QVector<QPointF> centres;
        for (int c = 0; c < clusters; ++c)
            centres.append(anywhere());

        // The placement rule read plainly: every candidate in order, each compared with every
        // rectangle placed before it; no spot when none is free.
        QVector<QRectF> placed;
        const auto plain = [&](const QPointF &p, const QSizeF &size) -> std::optional<QRectF> {
            const QRectF base(p + QPointF(-size.width() / 2, -size.height() - 3), size);
            const double step = signalSize + 6;
            for (int i = 0; i < 256; ++i) {
                // Columns 0, 1, -1, 2, -2 … of nine; rows 0, -1, 1, -2, 2 …
                const int a = i % 9, b = i / 9;
                const int column = a % 2 == 1 ? (a + 1) / 2 : -(a / 2);
                const int row = b == 0 ? 0 : (b % 2 == 1 ? -((b + 1) / 2) : (b + 1) / 2);
                const QRectF candidate = base.translated(column * step, row * step);
                if (candidate.left() >= 0 && candidate.right() <= item.width() &&
                    candidate.top() >= 0 && candidate.bottom() <= item.height() &&
                    std::none_of(placed.cbegin(), placed.cend(), [&](const QRectF &r) {
                        return candidate.intersects(r.adjusted(-3, -3, 3, 3));
                    })) {
                    placed.append(candidate);
                    return candidate;
                }
            }
            return std::nullopt;
        };
        TexturePlacer fast(item, signalSize);
        int withoutSpot = 0;
        QPointF p;
        for (int i = 0; i < count; ++i) {
            const int kind = random.bounded(10);
            if (kind != 0 || i == 0) // else the previous point again
                p = kind < 4 ? anywhere()
                             : centres[random.bounded(clusters)] +
                                   QPointF(uniform(-60, 60), uniform(-60, 60));
            const int side = int(signalSize);
            QSizeF size(random.bounded(side + 1), random.bounded(side + 1));
            if (random.bounded(4) == 0)
                size = QSizeF(side, side);
            const std::optional<QRectF> expected = plain(p, size);
            const std::optional<QRectF> got = fast.place(p, size);
            QCOMPARE(got.has_value(), expected.has_value());
            if (expected)
                QCOMPARE(exact(*got), exact(*expected));
            else
                ++withoutSpot;
        }
        QCOMPARE(fast.placedRectangles().size(), placed.size());
        // The crowded items do run out of spots, so the no-spot path is exercised.
        if (crowded)
            QVERIFY(withoutSpot > 0);
    }
};

QTEST_APPLESS_MAIN(TestTexturePlacer)
#include "tst_textureplacer.moc"
