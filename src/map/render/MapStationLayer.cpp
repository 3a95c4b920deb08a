#include "MapStationLayer.h"

#include "MapStyle.h"
#include "RectGrid.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {
constexpr int maximumNames = 4096;
} // namespace

void MapStationLayer::paint(QPainter *painter, const MapPaintScene &scene, MapPaintCounts &counts,
                            const QVector<QRectF> &keepClear)
{
    const QVector<MapOverlay::Station> &stations = scene.overlay->stations;
    if (!scene.stationNames || stations.isEmpty())
        return;
    const QFont font = MapStyle::stationFont();
    painter->setFont(font);
    const QFontMetricsF metrics(font, painter->device());
    if (m_names.size() > maximumNames)
        m_names.clear();
    const QRectF view = scene.view();
    RectGrid placed(scene.size, 128);
    for (const QRectF &box : keepClear)
        placed.add(box);
    // The larger stations come first, so they win where two names would overlap.
    for (const MapOverlay::Station &station : stations) {
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
        counts.stationNameBoxes.append(box);
        painter->setPen(Qt::NoPen);
        painter->setBrush(MapStyle::stationBox);
        painter->drawRoundedRect(box, 3, 3);
        painter->setPen(MapStyle::stationName);
        painter->drawStaticText(box.topLeft() + QPointF(4, 2), name->text);
        ++counts.stationNamesDrawn;
    }
}
