#include "MapStyle.h"

namespace {
const QString fontFamily = QStringLiteral("Segoe UI");
} // namespace

namespace MapStyle {

const QColor background(0x07, 0x0b, 0x0a);
const QColor edge(0xa6, 0xb8, 0xad);
const QColor junction(0xd3, 0xa8, 0x73);
const QColor path(0xe4, 0xbf, 0x50);
const QColor reservation(0x65, 0xdb, 0x87);
const QColor occupation(0xff, 0x6b, 0x6b);
const QColor marker(0xe6, 0xc7, 0x89);
const QColor plainSignal(0x80, 0xbd, 0xd8);
const QColor selectedTrain(0xff, 0xdf, 0x75);
const QColor train(0x86, 0xd8, 0xc9);
const QColor trainMarker(0xf6, 0xf8, 0xff);
const QColor trainRim(0x00, 0x00, 0x00);
const QColor trainLabel(0xf1, 0xee, 0xd6);
const QColor heldRing(0xef, 0xbe, 0x72);
const QColor stalledRing(0xf0, 0x8a, 0x4b);
const QColor deadlockLoop(0xf0, 0x52, 0x4b);
const QColor stationName(0xed, 0xf1, 0xdf);
const QColor stationBox(0x07, 0x0b, 0x0a, 0xb4);
const QColor message(0xa8, 0xb9, 0xa8);
const QColor messageBox(0x10, 0x1b, 0x16, 0xe6);
const QColor messageBorder(0x38, 0x49, 0x3f);

QPen linePen(const QColor &colour, double width)
{
    return QPen(QBrush(colour), width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

QPen signalPen(bool marker)
{
    return linePen(marker ? MapStyle::marker : MapStyle::plainSignal, 1.5);
}

QFont trainFont()
{
    return QFont(fontFamily, 9);
}

QFont stationFont()
{
    QFont font(fontFamily, 9);
    font.setWeight(QFont::DemiBold);
    return font;
}

QFont messageFont()
{
    return QFont(fontFamily, 12);
}

} // namespace MapStyle
