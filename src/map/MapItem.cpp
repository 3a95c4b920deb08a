#include "MapItem.h"

#include "DataMapKeys.h"

#include "TexturePlacer.h"

#include <QFont>
#include <QFontMetricsF>
#include <QMetaMethod>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace {

const QColor backgroundColour(0x07, 0x0b, 0x0a);
const QColor edgeColour(0xa6, 0xb8, 0xad);
const QColor junctionColour(0xd3, 0xa8, 0x73);
const QColor trainLabelColour(0xf1, 0xee, 0xd6);

constexpr double junctionScale = 0.05;
constexpr double stateLabelScale = 0.08;
constexpr double trainLabelScale = 0.025;
constexpr double pickRadiusSquared = 100.0;
constexpr int maximumLabelParts = 8192;

QPen linePen(const QColor &colour, double width)
{
    return QPen(QBrush(colour), width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

} // namespace

MapItem::MapItem(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void MapItem::setSnapshotData(const QVariantMap &data)
{
    m_snapshotData = data;
    if (m_network.setGeometry(m_snapshotData.value(DataMapKeys::mapGeometryKey).toByteArray())) {
        m_networkImageDirty = true;
        if (!m_fitted && !m_network.isEmpty())
            fit();
    }
    m_overlayDirty = true;
    update();
    emit dataChanged();
}

void MapItem::setShowCalculatedPath(bool show)
{
    if (show == m_showCalculatedPath)
        return;
    m_showCalculatedPath = show;
    update();
    emit dataChanged();
}

void MapItem::setSignalSize(double size)
{
    if (!std::isfinite(size))
        return;
    const double clamped = std::clamp(size, 24.0, 96.0);
    if (clamped == m_signalSize)
        return;
    m_signalSize = clamped;
    update();
    emit dataChanged();
}

void MapItem::setDataSource(QObject *source)
{
    if (source == m_dataSource)
        return;
    if (m_dataSource)
        disconnect(m_dataSource, nullptr, this, nullptr);
    m_dataSource = source;
    if (source) {
        const QMetaObject *meta = source->metaObject();
        const int changedIndex = meta->indexOfSignal("changed()");
        const int slotIndex = metaObject()->indexOfSlot("takeDataFromSource()");
        if (changedIndex >= 0)
            connect(source, meta->method(changedIndex), this, metaObject()->method(slotIndex));
        // The pointer clears itself; bindings still need to hear of it.
        connect(source, &QObject::destroyed, this, &MapItem::dataSourceChanged);
    }
    emit dataSourceChanged();
    if (source)
        takeDataFromSource();
}

void MapItem::takeDataFromSource()
{
    if (!m_dataSource)
        return;
    // The map is shared, not copied: reading a QVariantMap property costs one reference count.
    setSnapshotData(m_dataSource->property("data").toMap());
}

void MapItem::invalidateImage()
{
    m_networkImageDirty = true;
    update();
}

void MapItem::geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    if (!m_fitted && !m_network.isEmpty())
        fit();
    invalidateImage();
}

void MapItem::fit()
{
    if (m_network.isEmpty())
        return;
    if (!m_camera.fit(m_network.mapBounds(), itemSize()))
        return;
    m_fitted = true;
    invalidateImage();
}

void MapItem::moveView(double x, double y)
{
    // A displacement that is not a number would lose the view for good.
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    m_camera.move(x, y);
    invalidateImage();
}

void MapItem::zoomAt(double factor, double x, double y)
{
    // An anchor that is not a number would lose the view for good; a factor that is not a number
    // ends at the lowest scale, like a factor of 0 (MapCamera::zoomAt).
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    m_camera.zoomAt(factor, x, y, itemSize());
    invalidateImage();
}

void MapItem::focusTrain()
{
    const int node =
        m_network.indexOfIdText(m_snapshotData.value(DataMapKeys::selectedTrackIdKey).toString());
    if (node < 0)
        return;
    const SdkTrackNode &record = m_network.nodes()[node];
    m_camera.focus(record.x, record.y, itemSize());
    invalidateImage();
}

QPointF MapItem::screenPoint(const SdkTrackNode &node) const
{
    return m_camera.toScreen(node.x, node.y, itemSize());
}

QVariantList MapItem::trainsAt(double x, double y) const
{
    QVector<std::pair<double, QVariant>> near;
    const QVariantList trains = m_snapshotData.value(DataMapKeys::trainsKey).toList();
    for (const QVariant &entry : trains) {
        const QVariantMap train = entry.toMap();
        if (!train.value(DataMapKeys::positionedKey).toBool())
            continue;
        const int node = m_network.indexOfIdText(train.value(DataMapKeys::trackKey).toString());
        if (node < 0)
            continue;
        const QPointF point = screenPoint(m_network.nodes()[node]);
        const double dx = point.x() - x;
        const double dy = point.y() - y;
        const double distanceSquared = dx * dx + dy * dy;
        if (distanceSquared <= pickRadiusSquared)
            near.append({distanceSquared, QVariant(train)});
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QVariantList result;
    result.reserve(near.size());
    for (const auto &pair : std::as_const(near))
        result.append(pair.second);
    return result;
}

void MapItem::redrawNetworkImage(const QSizeF &size)
{
    m_networkImage =
        QImage(int(size.width()), int(size.height()), QImage::Format_ARGB32_Premultiplied);
    m_networkImage.fill(backgroundColour);
    QPainter painter(&m_networkImage);
    painter.setRenderHint(QPainter::Antialiasing, true);

    const QVector<SdkTrackNode> &nodes = m_network.nodes();
    QVector<QPointF> points(nodes.size());
    for (int i = 0; i < nodes.size(); ++i)
        points[i] = m_camera.toScreen(nodes[i].x, nodes[i].y, size);

    const QRectF view(0, 0, size.width(), size.height());
    painter.setPen(linePen(edgeColour, 1.3));
    // Lines of one pen are handed over in batches: the same strokes, fewer calls.
    QVector<QLineF> batch;
    batch.reserve(1024);
    for (int a = 0; a < nodes.size(); ++a) {
        const SdkTrackNode &nodeA = nodes[a];
        for (const quint64 link : {nodeA.neighbour1, nodeA.neighbour2}) {
            const int b = m_network.indexOf(link);
            if (b < 0)
                continue;
            const SdkTrackNode &nodeB = nodes[b];
            // An edge named by both of its nodes is drawn once, from the node with the smaller id.
            if (nodeA.id > link && (nodeB.neighbour1 == nodeA.id || nodeB.neighbour2 == nodeA.id))
                continue;
            const QRectF span = QRectF(points[a], points[b]).normalized().adjusted(-2, -2, 2, 2);
            if (!span.intersects(view))
                continue;
            batch.append(QLineF(points[a], points[b]));
            if (batch.size() == 1024) {
                painter.drawLines(batch);
                batch.clear();
            }
        }
    }
    if (!batch.isEmpty())
        painter.drawLines(batch);

    if (m_camera.scale() > junctionScale) {
        // Thousands of identical dots: stamped (see SymbolStamp), the image has no scaling.
        if (!m_junctionStamp.isValid())
            m_junctionStamp = SymbolStamp(
                QRect(-5, -5, 11, 11),
                [](QPainter *dotPainter, const QPointF &point) {
                    dotPainter->setPen(linePen(junctionColour, 1.4));
                    dotPainter->setBrush(backgroundColour);
                    dotPainter->drawEllipse(point, 3.0, 3.0);
                },
                0);
        const QVector<quint32> &degrees = m_network.degrees();
        const SymbolStamp::Target target = SymbolStamp::targetOf(&painter);
        for (int i = 0; i < nodes.size(); ++i) {
            if (degrees[i] > 2 && view.contains(points[i]))
                m_junctionStamp.stamp(&painter, target, points[i]);
        }
    }
    painter.end();
    m_networkImageDirty = false;
}

void MapItem::paint(QPainter *painter)
{
    const QSizeF size = itemSize();
    if (!(size.width() >= 1) || !(size.height() >= 1))
        return;
    if (m_networkImageDirty ||
        m_networkImage.size() != QSize(int(size.width()), int(size.height())))
        redrawNetworkImage(size);

    painter->save(); // the pens, brushes and font set here are not the caller's business
    painter->drawImage(QPointF(0, 0), m_networkImage);

    if (m_overlayDirty) {
        m_overlay = MapOverlay::read(m_snapshotData, m_network);
        m_overlayDirty = false;
    }

    painter->setRenderHint(QPainter::Antialiasing, true);
    m_symbols.begin(painter);
    const QVector<SdkTrackNode> &nodes = m_network.nodes();
    const auto onScreen = [&](int node, QPointF *point) {
        *point = m_camera.toScreen(nodes[node].x, nodes[node].y, size);
        return MapCamera::isOnScreen(*point, size);
    };
    QPointF point;

    if (m_showCalculatedPath && m_overlay.pathShown) {
        for (const int node : std::as_const(m_overlay.pathNodes)) {
            if (onScreen(node, &point))
                m_symbols.pathPoint(painter, point);
        }
    }
    for (const int node : std::as_const(m_overlay.reservationNodes)) {
        if (onScreen(node, &point))
            m_symbols.reservation(painter, point);
    }
    for (const int node : std::as_const(m_overlay.occupationNodes)) {
        if (onScreen(node, &point))
            m_symbols.occupation(painter, point);
    }

    paintSignals(painter, size);

    const QFont trainFont(QStringLiteral("Segoe UI"), 9);
    painter->setFont(trainFont);
    const bool otherLabels = m_camera.scale() > trainLabelScale;
    const QPen labelPen(trainLabelColour);
    // Labels are laid out once and kept (QStaticText): laying out thousands of texts at every
    // paint costs more than the rest of the dynamic layers together. A label seen for the first
    // time is drawn as its name, then its tail where the name's advance ends (both kept, and
    // reused as the train moves on), which puts every glyph where drawing the whole text would;
    // a label seen again is kept whole, one drawing instead of two.
    if (trainFont != m_labelFont || m_labelParts.size() > maximumLabelParts ||
        m_labelsSeenOnce.size() > maximumLabelParts) {
        m_labelParts.clear();
        m_labelsSeenOnce.clear();
        m_labelFont = trainFont;
    }
    const QFontMetricsF metrics(painter->font(), painter->device());
    const double ascent = metrics.ascent();
    const auto laidOut = [&](const QString &text) {
        auto part = m_labelParts.find(text);
        if (part == m_labelParts.end()) {
            QStaticText staticText(text);
            staticText.setTextFormat(Qt::PlainText);
            part = m_labelParts.insert(text, {staticText, metrics.horizontalAdvance(text)});
        }
        return part.value();
    };
    for (const MapOverlay::Train &train : std::as_const(m_overlay.trains)) {
        if (!onScreen(train.node, &point))
            continue;
        m_symbols.trainDisc(painter, point, train.selected);
        if (otherLabels || train.selected) {
            painter->setPen(labelPen);
            // The label's baseline starts at P + (7, 14).
            const QPointF origin = point + QPointF(7, 14 - ascent);
            const auto whole = m_labelParts.constFind(train.label);
            if (whole != m_labelParts.constEnd()) {
                painter->drawStaticText(origin, whole.value().text);
                continue;
            }
            if (m_labelsSeenOnce.contains(train.label)) {
                painter->drawStaticText(origin, laidOut(train.label).text);
                continue;
            }
            m_labelsSeenOnce.insert(train.label);
            double tailOffset = 0;
            if (!train.name.isEmpty()) {
                const LabelPart name = laidOut(train.name);
                painter->drawStaticText(origin, name.text);
                tailOffset = name.advance;
            }
            painter->drawStaticText(origin + QPointF(tailOffset, 0), laidOut(train.tail).text);
        }
    }
    painter->restore();
}

void MapItem::paintSignals(QPainter *painter, const QSizeF &size)
{
    const int textureSide = int(m_signalSize);
    const bool stateLabels = m_camera.scale() > stateLabelScale;
    std::optional<TexturePlacer> placer; // made at the first texture: most paints have none
    const QVector<SdkTrackNode> &nodes = m_network.nodes();

    for (const MapOverlay::Signal &signal : std::as_const(m_overlay.signalMarks)) {
        const QPointF point = m_camera.toScreen(nodes[signal.node].x, nodes[signal.node].y, size);
        if (!MapCamera::isOnScreen(point, size))
            continue;

        if (!signal.texturePath.isEmpty() && signal.stateAvailable) {
            const QImage texture = m_textureCache.image(signal.texturePath);
            if (!texture.isNull()) {
                const QSizeF target(
                    texture.size().scaled(textureSide, textureSide, Qt::KeepAspectRatio));
                if (!placer)
                    placer.emplace(size, m_signalSize);
                const QRectF spot = placer->place(point, target);
                m_symbols.signalStem(painter, point, signal.marker);
                painter->setPen(MapSymbols::signalPen(signal.marker));
                painter->drawLine(point, QPointF(spot.center().x(), spot.bottom()));
                painter->drawImage(spot, texture);
                continue;
            }
        }

        MapSymbols::SignalShape shape = MapSymbols::SignalShape::Circle;
        if (signal.marker)
            shape = MapSymbols::SignalShape::Marker;
        else if (signal.balise)
            shape = MapSymbols::SignalShape::Balise;
        m_symbols.signalSymbol(painter, point, shape, signal.marker);
        if (stateLabels && signal.stateAvailable)
            m_symbols.stateLabel(painter, point, signal.marker, signal.textureState);
    }
}
