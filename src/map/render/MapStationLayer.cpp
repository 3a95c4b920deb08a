#include "MapStationLayer.h"

#include "MapStyle.h"
#include "RectGrid.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace {
constexpr int maximumNames = 4096;
} // namespace

bool MapStationLayer::Placing::operator==(const Placing &other) const
{
    return stations.constData() == other.stations.constData() &&
           stations.size() == other.stations.size() && camera == other.camera &&
           size == other.size && font == other.font && dpiX == other.dpiX && dpiY == other.dpiY;
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
                    font,
                    device ? device->logicalDpiX() : 0,
                    device ? device->logicalDpiY() : 0};
    const QVector<Placed> &names =
        placed(scene, std::move(placing), QFontMetricsF(font, painter->device()), keepClear);
    // The boxes, then the names: placed apart, neither covers another's.
    painter->setPen(Qt::NoPen);
    painter->setBrush(MapStyle::stationBox);
    for (const Placed &placed : names) {
        painter->drawRoundedRect(placed.box, 3, 3);
        counts.stationNameBoxes.append(placed.box);
    }
    painter->setPen(MapStyle::stationName);
    for (const Placed &placed : names)
        painter->drawStaticText(placed.box.topLeft() + QPointF(4, 2), placed.text);
    counts.stationNamesDrawn += int(names.size());
}

const QVector<MapStationLayer::Placed> &MapStationLayer::placed(const MapPaintScene &scene,
                                                                Placing placing,
                                                                const QFontMetricsF &metrics,
                                                                const QVector<QRectF> &keepClear)
{
    if (!m_placingValid || !(placing == m_placing)) {
        m_candidates = candidates(scene, metrics);
        m_free = place(scene.size, {});
        m_placing = std::move(placing);
        m_placingValid = true;
        m_keptClear.clear();
        m_placed = m_free;
    }
    // Placed in turn, each name clear of those before it: where the boxes to keep clear of cover
    // none of the names placed without them, the same names are placed with them.
    const auto covers = [&](const QRectF &box) {
        return std::any_of(m_free.cbegin(), m_free.cend(),
                           [&](const Placed &name) { return box.intersects(name.spaced); });
    };
    if (std::none_of(keepClear.cbegin(), keepClear.cend(), covers))
        return m_free;
    if (keepClear != m_keptClear) {
        m_placed = place(scene.size, keepClear);
        m_keptClear = keepClear;
    }
    return m_placed;
}

QVector<MapStationLayer::Placed> MapStationLayer::candidates(const MapPaintScene &scene,
                                                             const QFontMetricsF &metrics)
{
    QVector<Placed> names;
    if (m_names.size() > maximumNames)
        m_names.clear();
    const QRectF view = scene.view();
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
        names.append({box, box.adjusted(-12, -6, 12, 6), name->text});
    }
    return names;
}

QVector<MapStationLayer::Placed> MapStationLayer::place(const QSizeF &size,
                                                        const QVector<QRectF> &keepClear) const
{
    QVector<Placed> names;
    RectGrid placed(size, 128);
    for (const QRectF &box : keepClear)
        placed.add(box);
    // The larger stations come first, so they win where two names would overlap.
    for (const Placed &name : m_candidates) {
        if (placed.overlapsAny(name.spaced))
            continue;
        placed.add(name.spaced);
        names.append(name);
    }
    return names;
}
