#include "MapStationLayer.h"

#include "MapStyle.h"
#include "RectGrid.h"

#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

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
    for (const Placed &placed : names)
        counts.stationNameBoxes.append(placed.box);
    counts.stationNamesDrawn += int(names.size());
    if (drawKept(painter, names))
        return;
    // The boxes, then the names: placed apart, neither covers another's.
    painter->setPen(Qt::NoPen);
    painter->setBrush(MapStyle::stationBox);
    for (const Placed &placed : names)
        painter->drawRoundedRect(placed.box, 3, 3);
    painter->setPen(MapStyle::stationName);
    for (const Placed &placed : names)
        painter->drawStaticText(placed.box.topLeft() + QPointF(4, 2), placed.text);
}

void MapStationLayer::drawName(QPainter *painter, const Placed &name)
{
    painter->setPen(Qt::NoPen);
    painter->setBrush(MapStyle::stationBox);
    painter->drawRoundedRect(name.box, 3, 3);
    painter->setPen(MapStyle::stationName);
    painter->drawStaticText(name.box.topLeft() + QPointF(4, 2), name.text);
}

bool MapStationLayer::drawKept(QPainter *painter, const QVector<Placed> &names)
{
    QPaintDevice *device = painter->device();
    if (!device || device->devType() != QInternal::Image || !painter->paintEngine() ||
        painter->paintEngine()->type() != QPaintEngine::Raster ||
        !painter->deviceTransform().isIdentity() || painter->hasClipping() ||
        painter->opacity() != 1.0 ||
        painter->compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    auto *image = static_cast<QImage *>(device);
    if (image->depth() != 32)
        return false;
    if (image->format() != m_keptFormat || painter->renderHints() != m_keptHints) {
        m_kept.clear();
        m_keptFormat = image->format();
        m_keptHints = painter->renderHints();
    }
    // The painter draws into this buffer too; reading it without detaching keeps it the same one.
    uchar *bits = const_cast<uchar *>(image->constBits());
    const qsizetype stride = image->bytesPerLine();
    const auto rowOf = [&](const QRect &pixels, int y) {
        return bits + y * stride + pixels.left() * 4;
    };
    const auto copy = [&](QImage &to, const QRect &pixels) {
        if (to.size() != pixels.size())
            to = QImage(pixels.size(), image->format());
        for (int y = pixels.top(); y <= pixels.bottom(); ++y)
            std::memcpy(to.scanLine(y - pixels.top()), rowOf(pixels, y),
                        size_t(pixels.width()) * 4);
    };
    const auto same = [&](const QImage &kept, const QRect &pixels) {
        for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
            if (std::memcmp(kept.constScanLine(y - pixels.top()), rowOf(pixels, y),
                            size_t(pixels.width()) * 4) != 0)
                return false;
        }
        return true;
    };
    m_kept.resize(names.size());
    for (int i = 0; i < names.size(); ++i) {
        const Placed &name = names[i];
        Kept &kept = m_kept[i];
        // The box's pixels, its antialiasing and a margin for the text.
        const QRect pixels =
            QRect(QPoint(int(std::floor(name.box.left())) - 2, int(std::floor(name.box.top())) - 2),
                  QPoint(int(std::ceil(name.box.right())) + 2,
                         int(std::ceil(name.box.bottom())) + 2)) &
            image->rect();
        const QString text = name.text.text();
        if (kept.box == name.box && kept.text == text && kept.pixels == pixels &&
            !pixels.isEmpty() && same(kept.under, pixels)) {
            for (int y = pixels.top(); y <= pixels.bottom(); ++y)
                std::memcpy(rowOf(pixels, y), kept.over.constScanLine(y - pixels.top()),
                            size_t(pixels.width()) * 4);
            continue;
        }
        // (The kept images are drawn into again where their size allows.)
        kept.box = name.box;
        kept.text = text;
        kept.pixels = pixels;
        if (!pixels.isEmpty())
            copy(kept.under, pixels);
        drawName(painter, name);
        if (!pixels.isEmpty())
            copy(kept.over, pixels);
    }
    return true;
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
        // Another font or camera: no name's kept pixels are its pixels any more.
        m_kept.clear();
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
