#include "SymbolStamp.h"

#include <QPainter>

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
    return target;
}

void SymbolStamp::stamp(QPainter *painter, const Target &target, const QPointF &anchor)
{
    const QPointF device = target.wholeTranslation ? anchor + QPointF(target.translation)
                                                   : target.transform.map(anchor);
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
    QImage &image = m_images[phaseY * phases + phaseX];
    if (image.isNull()) {
        image = QImage(m_deviceBounds.size(), QImage::Format_ARGB32_Premultiplied);
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
    const QPoint topLeft(int(wholeX) + m_deviceBounds.left(), int(wholeY) + m_deviceBounds.top());
    if (target.wholeTranslation) {
        painter->drawImage(topLeft - target.translation, image);
    } else {
        // Copied in device pixels, past the painter's scale.
        painter->setWorldTransform(QTransform());
        painter->drawImage(topLeft, image);
        painter->setWorldTransform(target.transform);
    }
}
