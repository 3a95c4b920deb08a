#include "MapStationLayer.h"

#include "MapStyle.h"
#include "RectGrid.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {
constexpr int maximumNames = 4096;
} // namespace

bool MapStationLayer::Placing::operator==(const Placing &other) const
{
    return stations.constData() == other.stations.constData() &&
           stations.size() == other.stations.size() && camera == other.camera &&
           size == other.size && keepClear == other.keepClear && font == other.font &&
           dpiX == other.dpiX && dpiY == other.dpiY;
}

void MapStationLayer::paint(QPainter *painter, const MapPaintScene &scene, MapPaintCounts &counts,
                            const QVector<QRectF> &keepClear)
{
    const QVector<MapOverlay::Station> &stations = scene.overlay->stations;
    if (!scene.stationNames || stations.isEmpty())
        return;
    const QFont font = MapStyle::stationFont();
    painter->setFont(font);
    const QPaintDevice *device = painter->device();
    Placing placing{stations,
                    scene.camera,
                    scene.size,
                    keepClear,
                    font,
                    device ? device->logicalDpiX() : 0,
                    device ? device->logicalDpiY() : 0};
    if (!m_placingValid || !(placing == m_placing)) {
        place(scene, QFontMetricsF(font, painter->device()), keepClear);
        m_placing = std::move(placing);
        m_placingValid = true;
    }
    // The boxes, then the names: placed apart, neither covers another's.
    painter->setPen(Qt::NoPen);
    painter->setBrush(MapStyle::stationBox);
    for (const Placed &placed : std::as_const(m_placed)) {
        painter->drawRoundedRect(placed.box, 3, 3);
        counts.stationNameBoxes.append(placed.box);
    }
    painter->setPen(MapStyle::stationName);
    for (const Placed &placed : std::as_const(m_placed))
        painter->drawStaticText(placed.box.topLeft() + QPointF(4, 2), placed.text);
    counts.stationNamesDrawn += int(m_placed.size());
}

void MapStationLayer::place(const MapPaintScene &scene, const QFontMetricsF &metrics,
                            const QVector<QRectF> &keepClear)
{
    m_placed.clear();
    if (m_names.size() > maximumNames)
        m_names.clear();
    const QRectF view = scene.view();
    RectGrid placed(scene.size, 128);
    for (const QRectF &box : keepClear)
        placed.add(box);
    // The larger stations come first, so they win where two names would overlap.
    for (const MapOverlay::Station &station : scene.overlay->stations) {
        const QPointF point = scene.camera.toScreen(station.x, station.y, scene.size);
        // QRectF::contains takes a point that is not a number: it is dropped first.
        if (!MapCamera::isDrawable(point) || !view.contains(point))
            continue;
        auto name = m_names.find(station.name);
        if (name == m_names.end()) {
            const QString shown = metrics.elidedText(station.name, Qt::ElideRight, nameWidth);
            QStaticText text(shown);
            text.setTextFormat(Qt::PlainText);
            name = m_names.insert(station.name, {text, metrics.horizontalAdvance(shown)});
        }
        const double width = name->advance + 8;
        const double height = metrics.height() + 4;
        const QRectF box(point.x() - width / 2, point.y() - height / 2, width, height);
        // Names keep some air between them, so that the map between them stays readable.
        const QRectF spaced = box.adjusted(-12, -6, 12, 6);
        if (placed.overlapsAny(spaced))
            continue;
        placed.add(spaced);
        m_placed.append({box, name->text});
    }
}
