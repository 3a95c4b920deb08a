#include "MapOverviewItem.h"

#include <QCursor>
#include <QMouseEvent>

#include <cmath>

MapOverviewItem::MapOverviewItem(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
    setAcceptedMouseButtons(Qt::LeftButton);
    setCursor(Qt::PointingHandCursor);
    m_style.track = QColor(0x8f, 0xa2, 0xb3);
    m_style.occupation = QColor(0xff, 0x6b, 0x6b);
    m_style.view = QColor(0xff, 0xdf, 0x75);
}

void MapOverviewItem::setMap(MapItem *map)
{
    if (map == m_map)
        return;
    if (m_map)
        disconnect(m_map, nullptr, this, nullptr);
    m_map = map;
    if (map) {
        connect(map, &MapItem::railwayChanged, this, &MapOverviewItem::networkChanged);
        connect(map, &MapItem::cameraChanged, this, &MapOverviewItem::viewChanged);
        connect(map, &QQuickItem::widthChanged, this, &MapOverviewItem::viewChanged);
        connect(map, &QQuickItem::heightChanged, this, &MapOverviewItem::viewChanged);
        // New occupations come with every new data map.
        connect(map, &MapItem::dataChanged, this, &MapOverviewItem::repaint);
        connect(map, &QObject::destroyed, this, &MapOverviewItem::networkChanged);
    }
    networkChanged();
    emit mapChanged();
}

void MapOverviewItem::setLongSide(double side)
{
    if (!std::isfinite(side) || side == m_longSide)
        return;
    m_longSide = side;
    networkChanged();
    emit longSideChanged();
}

void MapOverviewItem::setShortSide(double side)
{
    if (!std::isfinite(side) || side == m_shortSide)
        return;
    m_shortSide = side;
    networkChanged();
    emit shortSideChanged();
}

void MapOverviewItem::setTrackColor(const QColor &colour)
{
    if (colour == m_style.track)
        return;
    m_style.track = colour;
    repaint();
    emit styleChanged();
}

void MapOverviewItem::setOccupationColor(const QColor &colour)
{
    if (colour == m_style.occupation)
        return;
    m_style.occupation = colour;
    repaint();
    emit styleChanged();
}

void MapOverviewItem::setViewColor(const QColor &colour)
{
    if (colour == m_style.view)
        return;
    m_style.view = colour;
    repaint();
    emit styleChanged();
}

void MapOverviewItem::networkChanged()
{
    // The railway changes with every new geometry: its bounds are read once per network.
    m_bounds = m_map ? m_map->network().mapBounds() : MapNetwork::Bounds();
    const QSizeF implicit = OverviewFrame::insetSize(m_bounds, m_longSide, m_shortSide);
    setImplicitSize(implicit.width(), implicit.height());
    m_painter.invalidate();
    updateFrame();
    viewChanged();
}

void MapOverviewItem::updateFrame()
{
    m_frame = OverviewFrame(m_bounds, size());
}

void MapOverviewItem::viewChanged()
{
    // It stays while the pointer holds it, even when a drag shows the whole network for a moment.
    const bool needed =
        m_map && !m_map->network().isEmpty() &&
        (m_held || !OverviewFrame::showsWhole(
                       m_bounds, MapCamera(m_map->viewCentre(), m_map->scale()), m_map->size()));
    if (needed != m_needed) {
        m_needed = needed;
        emit neededChanged();
    }
    repaint();
}

void MapOverviewItem::repaint()
{
    if (isVisible())
        update();
}

void MapOverviewItem::geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size()) {
        updateFrame();
        repaint();
    }
}

bool MapOverviewItem::centreAt(double x, double y)
{
    if (!m_map || m_map->network().isEmpty())
        return false;
    const std::optional<QPointF> target = m_frame.toMap(QPointF(x, y));
    if (!target)
        return false;
    // The map's own pan, so that the view settles as after a drag on the map.
    const QPointF shift = (m_map->viewCentre() - *target) * m_map->scale();
    m_map->moveView(shift.x(), shift.y());
    emit viewMoved();
    return true;
}

void MapOverviewItem::mousePressEvent(QMouseEvent *event)
{
    m_held = centreAt(event->position().x(), event->position().y());
    event->setAccepted(m_held);
}

void MapOverviewItem::mouseMoveEvent(QMouseEvent *event)
{
    centreAt(event->position().x(), event->position().y());
}

void MapOverviewItem::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    mouseUngrabEvent();
}

void MapOverviewItem::mouseUngrabEvent()
{
    m_held = false;
    viewChanged();
}

void MapOverviewItem::paint(QPainter *painter)
{
    if (!m_map)
        return;
    MapOverviewPainter::Scene scene;
    scene.network = &m_map->network();
    scene.occupied = &m_map->overlay().occupationNodes;
    scene.frame = m_frame;
    scene.view = MapCamera(m_map->viewCentre(), m_map->scale());
    scene.viewSize = m_map->size();
    m_painter.paint(painter, scene, m_style);
}
