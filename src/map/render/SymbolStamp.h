#pragma once

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QTransform>
#include <QVector>

#include <array>
#include <functional>

class QPainter;

// One small map symbol drawn many times over. Stroking tens of thousands of antialiased shapes
// costs far more than copying small images, so the symbol is drawn once for each quarter-pixel
// position of its anchor on the device into a transparent image, at the painter's scale, and each
// use copies that image to whole device pixels. Drawing over a transparent image and copying with
// source-over gives the colours that drawing directly gives; the anchor moves by at most an eighth
// of a device pixel.
class SymbolStamp
{
public:
    using Drawer = std::function<void(QPainter *painter, const QPointF &anchor)>;

    SymbolStamp() = default;
    // bounds: the pixels the symbol may touch around its anchor at scale 1, antialiasing
    // included; scaleX, scaleY: the painter's scale from item to device pixels.
    SymbolStamp(const QRect &bounds, Drawer drawer, int dotsPerMeter, double scaleX = 1,
                double scaleY = 1);

    // How a painter maps item points to device pixels, worked out once per paint.
    struct Target
    {
        QTransform transform;
        bool wholeTranslation = true; // no scale, translation by whole pixels
        QPoint translation;
        // When the painter draws into a premultiplied 32-bit image through at most one clip
        // rectangle, stamps are blended straight into its pixels, as the painter itself would
        // blend them, without the painter's per-call work.
        QImage *image = nullptr;
        QRect clip; // device pixels that may be written
    };
    static Target targetOf(const QPainter *painter);

    bool isValid() const { return bool(m_drawer); }
    // The painter must suit stamping (suits) at this stamp's scale; target is its targetOf.
    void stamp(QPainter *painter, const Target &target, const QPointF &anchor);

    // Asks the processor to fetch the target pixels that a stamp within bounds (scale 1) at
    // anchor would blend, so that a stamp drawn meanwhile does not wait for them.
    static void prefetch(const Target &target, const QPointF &anchor, const QRect &bounds);

    // Whether stamping gives the same drawing as drawing directly into this painter: no rotation
    // or shear, full opacity, source-over.
    static bool suits(const QPainter *painter);

private:
    static constexpr int phases = 4;
    static constexpr double deviceLimit = 1 << 24; // device pixels; anchors beyond are dropped
    QRect m_deviceBounds;
    Drawer m_drawer;
    int m_dotsPerMeter = 0;
    double m_scaleX = 1;
    double m_scaleY = 1;
    std::array<QImage, phases * phases> m_images;
    // Per image and row: the first and one past the last pixel that is not transparent, so that
    // blending by hand skips the empty margins.
    std::array<QVector<QPair<int, int>>, phases * phases> m_rowSpans;
    QImage::Format m_format = QImage::Format_ARGB32_Premultiplied;
};
