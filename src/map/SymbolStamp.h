#pragma once

#include <QImage>
#include <QPointF>
#include <QRect>

#include <array>
#include <functional>

class QPainter;

// One small map symbol drawn many times over. Stroking tens of thousands of antialiased shapes
// costs far more than copying small images, so the symbol is drawn once for each quarter-pixel
// position of its anchor into a transparent image, and each use copies that image to whole pixels.
// Drawing over a transparent image and copying with source-over gives the colours that drawing
// directly gives; the anchor moves by at most an eighth of a pixel.
class SymbolStamp
{
public:
    using Drawer = std::function<void(QPainter *painter, const QPointF &anchor)>;

    SymbolStamp() = default;
    // bounds: the pixels the symbol may touch, relative to its anchor, antialiasing included.
    SymbolStamp(const QRect &bounds, Drawer drawer, int dotsPerMeter);

    bool isValid() const { return bool(m_drawer); }
    // The painter must map to whole device pixels (no scaling, whole-pixel translation).
    void stamp(QPainter *painter, const QPointF &anchor);

    // Whether stamping gives the same drawing as drawing directly into this painter.
    static bool suits(const QPainter *painter);

private:
    static constexpr int phases = 4;
    QRect m_bounds;
    Drawer m_drawer;
    int m_dotsPerMeter = 0;
    std::array<QImage, phases * phases> m_images;
};
