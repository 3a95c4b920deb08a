#include "SymbolStamp.h"

#include <QPainter>

#include <cmath>
#include <utility>

SymbolStamp::SymbolStamp(const QRect &bounds, Drawer drawer, int dotsPerMeter)
    : m_bounds(bounds), m_drawer(std::move(drawer)), m_dotsPerMeter(dotsPerMeter)
{
}

bool SymbolStamp::suits(const QPainter *painter)
{
    const QTransform &transform = painter->deviceTransform();
    if (transform.type() > QTransform::TxTranslate)
        return false;
    return transform.dx() == std::floor(transform.dx()) &&
           transform.dy() == std::floor(transform.dy()) && painter->opacity() == 1.0 &&
           painter->compositionMode() == QPainter::CompositionMode_SourceOver;
}

void SymbolStamp::stamp(QPainter *painter, const QPointF &anchor)
{
    double wholeX = std::floor(anchor.x());
    double wholeY = std::floor(anchor.y());
    int phaseX = int(std::lround((anchor.x() - wholeX) * phases));
    int phaseY = int(std::lround((anchor.y() - wholeY) * phases));
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
        image = QImage(m_bounds.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        if (m_dotsPerMeter > 0) {
            image.setDotsPerMeterX(m_dotsPerMeter);
            image.setDotsPerMeterY(m_dotsPerMeter);
        }
        QPainter imagePainter(&image);
        imagePainter.setRenderHint(QPainter::Antialiasing, true);
        m_drawer(&imagePainter, QPointF(-m_bounds.left() + double(phaseX) / phases,
                                        -m_bounds.top() + double(phaseY) / phases));
    }
    painter->drawImage(QPoint(int(wholeX) + m_bounds.left(), int(wholeY) + m_bounds.top()), image);
}
