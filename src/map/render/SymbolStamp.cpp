#include "SymbolStamp.h"

#include <QPaintDevice>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <utility>

SymbolStamp::SymbolStamp(const QRect &bounds, Drawer drawer, int dotsPerMeter, double scaleX,
                         double scaleY)
    : m_drawer(std::move(drawer)), m_dotsPerMeter(dotsPerMeter), m_scaleX(scaleX), m_scaleY(scaleY)
{
    if (scaleX == 1 && scaleY == 1) {
        m_deviceBounds = bounds;
    } else {
        // One pixel more on every side for the rounding of the scaled outline.
        m_deviceBounds = QRect(QPoint(int(std::floor(bounds.left() * scaleX)) - 1,
                                      int(std::floor(bounds.top() * scaleY)) - 1),
                               QPoint(int(std::ceil((bounds.right() + 1) * scaleX)) + 1,
                                      int(std::ceil((bounds.bottom() + 1) * scaleY)) + 1));
    }
}

bool SymbolStamp::suits(const QPainter *painter)
{
    const QTransform &transform = painter->deviceTransform();
    return transform.type() <= QTransform::TxScale && transform.m11() > 0 && transform.m22() > 0 &&
           painter->worldTransform() == transform && painter->opacity() == 1.0 &&
           painter->compositionMode() == QPainter::CompositionMode_SourceOver;
}

SymbolStamp::Target SymbolStamp::targetOf(const QPainter *painter)
{
    Target target;
    target.transform = painter->worldTransform();
    const QTransform &transform = target.transform;
    target.wholeTranslation = transform.type() <= QTransform::TxTranslate &&
                              transform.dx() == std::floor(transform.dx()) &&
                              transform.dy() == std::floor(transform.dy());
    if (target.wholeTranslation)
        target.translation = QPoint(int(transform.dx()), int(transform.dy()));

    QPaintDevice *device = painter->device();
    if (!target.wholeTranslation || !device || device->devType() != QInternal::Image)
        return target;
    auto *image = static_cast<QImage *>(device);
    if (image->format() != QImage::Format_ARGB32_Premultiplied &&
        image->format() != QImage::Format_RGBA8888_Premultiplied)
        return target;
    QRect clip = image->rect();
    if (painter->hasClipping()) {
        const QRegion region = painter->clipRegion();
        if (region.rectCount() > 1)
            return target;
        clip &= region.boundingRect().translated(target.translation);
    }
    target.image = image;
    target.clip = clip;
    return target;
}

namespace {

// The raster engine's own rounding of a premultiplied pixel times an alpha.
inline uint byteMul(uint x, uint a)
{
    uint t = (x & 0xff00ff) * a;
    t = (t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8;
    t &= 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080);
    x &= 0xff00ff00;
    return x | t;
}

// Source-over of premultiplied pixels, as the raster engine blends an image.
void blend(QImage *destination, const QRect &clip, const QImage &source,
           const QVector<QPair<int, int>> &rowSpans, const QPoint &topLeft)
{
    const QRect area = clip & QRect(topLeft, source.size());
    if (area.isEmpty())
        return;
    // The painter draws into this buffer too; reading it without detaching keeps it the same one.
    uchar *bits = const_cast<uchar *>(destination->constBits());
    const qsizetype stride = destination->bytesPerLine();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const int row = y - topLeft.y();
        const int first = std::max(rowSpans[row].first, area.left() - topLeft.x());
        const int end = std::min(rowSpans[row].second, area.right() + 1 - topLeft.x());
        auto *to = reinterpret_cast<uint *>(bits + y * stride) + topLeft.x();
        const auto *from = reinterpret_cast<const uint *>(source.constScanLine(row));
        for (int x = first; x < end; ++x) {
            const uint s = from[x];
            const uint d = to[x];
            // Opaque over anything, or anything over nothing, is the source itself.
            if (s >= 0xff000000u || d == 0)
                to[x] = s;
            else if (s != 0)
                to[x] = s + byteMul(d, 255 - (s >> 24));
        }
    }
}

} // namespace

void SymbolStamp::prefetch(const Target &target, const QPointF &anchor, const QRect &bounds)
{
    if (!target.image)
        return;
    const QPointF device = anchor + QPointF(target.translation);
    if (!(std::abs(device.x()) < deviceLimit && std::abs(device.y()) < deviceLimit))
        return;
    const QRect area =
        target.clip & bounds.translated(int(std::floor(device.x())), int(std::floor(device.y())));
    if (area.isEmpty())
        return;
    const uchar *bits = target.image->constBits();
    const qsizetype stride = target.image->bytesPerLine();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar *row = bits + y * stride;
        __builtin_prefetch(row + area.left() * 4, 1);
        __builtin_prefetch(row + area.right() * 4, 1);
    }
}

void SymbolStamp::stamp(QPainter *painter, const Target &target, const QPointF &anchor)
{
    const QPointF device = target.wholeTranslation ? anchor + QPointF(target.translation)
                                                   : target.transform.map(anchor);
    // A point that is not a number, or lies beyond any image, has no pixel to go to: it must not
    // reach the conversion to whole pixels below.
    if (!(std::abs(device.x()) < deviceLimit && std::abs(device.y()) < deviceLimit))
        return;
    double wholeX = std::floor(device.x());
    double wholeY = std::floor(device.y());
    int phaseX = int(std::lround((device.x() - wholeX) * phases));
    int phaseY = int(std::lround((device.y() - wholeY) * phases));
    if (phaseX == phases) {
        phaseX = 0;
        wholeX += 1;
    }
    if (phaseY == phases) {
        phaseY = 0;
        wholeY += 1;
    }
    // Blended by hand, the stamp must have the pixel layout of the image it goes into.
    const QImage::Format format =
        target.image ? target.image->format() : QImage::Format_ARGB32_Premultiplied;
    if (format != m_format) {
        m_format = format;
        for (QImage &kept : m_images)
            kept = QImage();
        for (QVector<QPair<int, int>> &spans : m_rowSpans)
            spans.clear();
    }
    QImage &image = m_images[phaseY * phases + phaseX];
    if (image.isNull()) {
        image = QImage(m_deviceBounds.size(), format);
        image.fill(Qt::transparent);
        if (m_dotsPerMeter > 0) {
            image.setDotsPerMeterX(m_dotsPerMeter);
            image.setDotsPerMeterY(m_dotsPerMeter);
        }
        QPainter imagePainter(&image);
        imagePainter.setRenderHint(QPainter::Antialiasing, true);
        const QPointF origin(-m_deviceBounds.left() + double(phaseX) / phases,
                             -m_deviceBounds.top() + double(phaseY) / phases);
        if (m_scaleX == 1 && m_scaleY == 1) {
            m_drawer(&imagePainter, origin);
        } else {
            imagePainter.translate(origin);
            imagePainter.scale(m_scaleX, m_scaleY);
            m_drawer(&imagePainter, QPointF(0, 0));
        }
    }
    QVector<QPair<int, int>> &rowSpans = m_rowSpans[phaseY * phases + phaseX];
    if (rowSpans.isEmpty()) {
        for (int row = 0; row < image.height(); ++row) {
            const auto *pixels = reinterpret_cast<const uint *>(image.constScanLine(row));
            int first = 0;
            int end = image.width();
            while (first < end && pixels[first] == 0)
                ++first;
            while (end > first && pixels[end - 1] == 0)
                --end;
            rowSpans.append({first, end});
        }
    }
    const QPoint topLeft(int(wholeX) + m_deviceBounds.left(), int(wholeY) + m_deviceBounds.top());
    if (target.image) {
        blend(target.image, target.clip, image, rowSpans, topLeft);
    } else if (target.wholeTranslation) {
        painter->drawImage(topLeft - target.translation, image);
    } else {
        // Copied in device pixels, past the painter's scale.
        painter->setWorldTransform(QTransform());
        painter->drawImage(topLeft, image);
        painter->setWorldTransform(target.transform);
    }
}
