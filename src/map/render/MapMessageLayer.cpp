#include "MapMessageLayer.h"

#include "MapStyle.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

QString MapMessageLayer::waitingText(const MapOverlay &overlay)
{
    return overlay.live ? QString() : overlay.status;
}

void MapMessageLayer::paint(QPainter *painter, const MapOverlay &overlay, const QSizeF &size)
{
    const QString text = waitingText(overlay);
    if (text.isEmpty())
        return;
    const QFont font = MapStyle::messageFont();
    painter->setFont(font);
    const QFontMetricsF metrics(font, painter->device());
    const double maxWidth = std::max(40.0, std::min(560.0, size.width() - 40));
    const QRectF textRect = metrics.boundingRect(QRectF(0, 0, maxWidth, 1e6),
                                                 Qt::AlignHCenter | Qt::TextWordWrap, text);
    QRectF box(0, 0, textRect.width() + 32, textRect.height() + 20);
    box.moveCenter(QPointF(size.width() / 2, size.height() / 2));
    painter->setPen(QPen(MapStyle::messageBorder, 1));
    painter->setBrush(MapStyle::messageBox);
    painter->drawRoundedRect(box, 6, 6);
    painter->setPen(MapStyle::message);
    painter->drawText(box.adjusted(16, 10, -16, -10), Qt::AlignCenter | Qt::TextWordWrap, text);
}
