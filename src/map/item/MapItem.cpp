#include "MapItem.h"

#include "DataMapKeys.h"
#include "MapHitTest.h"
#include "MapStyle.h"
#include "TrackStretch.h"

#include <QMetaMethod>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {
// The item hands its layer to the renderer by value.
static_assert(int(MapRenderer::SignalLayer::Images) == SignalLayer::Images &&
              int(MapRenderer::SignalLayer::Symbols) == SignalLayer::Symbols &&
              int(MapRenderer::SignalLayer::Hidden) == SignalLayer::Hidden &&
              int(MapRenderer::SignalLayer::Auto) == SignalLayer::Auto);
} // namespace

namespace {
bool detailByDensityDefault = true;
} // namespace

MapItem::MapItem(QQuickItem *parent)
    : QQuickPaintedItem(parent), m_detailByDensity(detailByDensityDefault)
{
    setAntialiasing(true);
    // Every paint covers the whole item with the map's background: nothing to clear or blend.
    setOpaquePainting(true);
    setFillColor(MapStyle::background);
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setInterval(settleMs);
    connect(&m_settleTimer, &QTimer::timeout, this, &MapItem::settle);
    // Signal images arrive from the loader one file at a time: one paint shows what arrived
    // within a tenth of a second, while the last paint still waited for some.
    m_textureTimer.setSingleShot(true);
    m_textureTimer.setInterval(textureArrivalMs);
    connect(&m_textureTimer, &QTimer::timeout, this, &MapItem::requestRepaint);
    connect(m_renderer.textureLoader(), &TextureLoader::loaded, this, [this] {
        if (m_renderer.texturesPending() && !m_textureTimer.isActive())
            m_textureTimer.start();
    });
}

void MapItem::setSnapshotData(const QVariantMap &data)
{
    m_snapshotData = data;
    const QByteArray geometry = m_snapshotData.value(DataMapKeys::mapGeometryKey).toByteArray();
    if (m_network.setGeometry(geometry)) {
        m_renderer.invalidateGeometry();
        // The first network is framed. A later one keeps the camera when it is the railway shown
        // before (a reconnection) or when some of it lies in the view; one that shows nowhere
        // (another railway far from the camera) is framed, since a live map that shows nothing
        // is of no use.
        if (!m_network.isEmpty()) {
            const bool sameRailway = geometry == m_lastGeometry;
            if (!m_fitted || (!sameRailway && !anyOfNetworkInView()))
                fit();
            m_lastGeometry = geometry;
        }
        const QString railway = m_network.isEmpty() ? QString() : fingerprint(geometry);
        if (railway != m_railway) {
            m_railway = railway;
            emit railwayChanged();
        }
    }
    m_overlayDirty = true;
    requestRepaint();
    emit dataChanged();
}

void MapItem::setShowCalculatedPath(bool show)
{
    if (show == m_showCalculatedPath)
        return;
    m_showCalculatedPath = show;
    requestRepaint();
    emit showCalculatedPathChanged();
}

void MapItem::setSignalSize(double size)
{
    if (!std::isfinite(size))
        return;
    const double clamped = std::clamp(size, 24.0, 96.0);
    if (clamped == m_signalSize)
        return;
    m_signalSize = clamped;
    requestRepaint();
    emit signalSizeChanged();
}

void MapItem::setSignalLayer(int layer)
{
    if (!SignalLayer::isLayer(layer) || layer == int(m_signalLayer))
        return;
    m_signalLayer = MapRenderer::SignalLayer(layer);
    requestRepaint();
    emit signalLayerChanged();
}

void MapItem::setShowStationNames(bool show)
{
    if (show == m_showStationNames)
        return;
    m_showStationNames = show;
    requestRepaint();
    emit showStationNamesChanged();
}

void MapItem::setDetailByDensity(bool on)
{
    if (on == m_detailByDensity)
        return;
    m_detailByDensity = on;
    requestRepaint();
    emit detailByDensityChanged();
}

void MapItem::setFitMargins(const QSizeF &margins)
{
    if (margins == m_fitMargins)
        return;
    m_fitMargins = margins;
    if (m_framed)
        fit();
    emit fitMarginsChanged();
}

void MapItem::setDetailByDensityDefault(bool on)
{
    detailByDensityDefault = on;
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
    // A hidden map takes nothing: the latest map is taken when it shows again.
    if (!isVisible()) {
        m_sourceChangedWhileHidden = true;
        return;
    }
    m_sourceChangedWhileHidden = false;
    // The map is shared, not copied: reading a QVariantMap property costs one reference count.
    setSnapshotData(m_dataSource->property("data").toMap());
}

void MapItem::itemChange(ItemChange change, const ItemChangeData &value)
{
    QQuickPaintedItem::itemChange(change, value);
    if (change != ItemVisibleHasChanged || !value.boolValue)
        return;
    if (m_sourceChangedWhileHidden)
        takeDataFromSource();
    else if (m_repaintWhenShown)
        requestRepaint();
}

void MapItem::requestRepaint()
{
    if (!isVisible()) {
        m_repaintWhenShown = true;
        return;
    }
    m_repaintWhenShown = false;
    ++m_repaintRequests;
    update();
}

void MapItem::invalidateImage()
{
    m_renderer.invalidateNetwork();
    requestRepaint();
}

void MapItem::cameraMoved()
{
    emit cameraChanged();
    // The cached network follows the movement; it is drawn exactly once the view rests.
    m_settleTimer.start();
    requestRepaint();
}

void MapItem::settle()
{
    m_settleTimer.stop();
    requestRepaint();
}

bool MapItem::isNetworkImageDirty() const
{
    return m_renderer.needsNetworkRedraw(m_camera, itemSize(), &m_network);
}

bool MapItem::anyOfNetworkInView() const
{
    // QRectF takes points that are not numbers as inside: they are left out first.
    const auto isFinite = [](const QPointF &p) {
        return std::isfinite(p.x()) && std::isfinite(p.y());
    };
    const QRectF view(0, 0, width(), height());
    const QVector<SdkTrackNode> &nodes = m_network.nodes();
    for (const SdkTrackNode &node : nodes) {
        const QPointF p = m_camera.toScreen(node.x, node.y, itemSize());
        if (isFinite(p) && view.contains(p))
            return true;
    }
    // No node, but maybe an edge that crosses the view.
    for (const SdkTrackNode &node : nodes) {
        const QPointF a = m_camera.toScreen(node.x, node.y, itemSize());
        for (const quint64 link : {node.neighbour1, node.neighbour2}) {
            const int other = m_network.indexOf(link);
            if (other < 0)
                continue;
            const QPointF b = m_camera.toScreen(nodes[other].x, nodes[other].y, itemSize());
            if (isFinite(a) && isFinite(b) && QRectF(a, b).normalized().intersects(view))
                return true;
        }
    }
    return false;
}

void MapItem::geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    // A framed view stays framed until the user moves it.
    if ((!m_fitted || (m_framed && newGeometry.size() != oldGeometry.size())) &&
        !m_network.isEmpty())
        fit();
    invalidateImage();
}

void MapItem::fit()
{
    if (m_network.isEmpty())
        return;
    if (!m_camera.fit(m_network.mapBounds(), itemSize(), m_fitMargins))
        return;
    m_fitted = true;
    m_framed = true;
    m_settleTimer.stop();
    invalidateImage();
    emit cameraChanged();
}

QString MapItem::fingerprint(const QByteArray &geometry)
{
    // FNV-1a over the node records: cheap, and stable from one run to the next (Qt's own hash is
    // seeded per process).
    quint64 hash = 0xcbf29ce484222325ull;
    for (const char byte : geometry) {
        hash ^= quint8(byte);
        hash *= 0x100000001b3ull;
    }
    return QStringLiteral("%1-%2")
        .arg(geometry.size() / 40)
        .arg(hash, 16, 16, QLatin1Char('0'))
        .toUpper();
}

QVariantMap MapItem::camera() const
{
    return {{QStringLiteral("railway"), m_railway},
            {QStringLiteral("x"), m_camera.centre().x()},
            {QStringLiteral("y"), m_camera.centre().y()},
            {QStringLiteral("scale"), m_camera.scale()},
            {QStringLiteral("framed"), m_framed}};
}

bool MapItem::restoreCamera(const QVariantMap &camera)
{
    if (m_railway.isEmpty() || camera.value(QStringLiteral("railway")).toString() != m_railway)
        return false;
    bool okX = false, okY = false, okScale = false;
    const double x = camera.value(QStringLiteral("x")).toDouble(&okX);
    const double y = camera.value(QStringLiteral("y")).toDouble(&okY);
    const double scale = camera.value(QStringLiteral("scale")).toDouble(&okScale);
    if (!okX || !okY || !okScale || !std::isfinite(x) || !std::isfinite(y) ||
        !(scale >= MapCamera::minimumScale) || !(scale <= MapCamera::maximumZoomScale))
        return false;
    if (camera.value(QStringLiteral("framed")).toBool()) {
        fit();
        return true;
    }
    m_camera = MapCamera(QPointF(x, y), scale);
    m_fitted = true;
    m_framed = false;
    m_settleTimer.stop();
    invalidateImage();
    emit cameraChanged();
    return true;
}

void MapItem::moveView(double x, double y)
{
    // A displacement that is not a number would lose the view for good.
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    m_camera.move(x, y);
    m_framed = false;
    cameraMoved();
}

void MapItem::zoomAt(double factor, double x, double y)
{
    // An anchor that is not a number would lose the view for good; a factor that is not a number
    // ends at the lowest scale, like a factor of 0 (MapCamera::zoomAt).
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    m_camera.zoomAt(factor, x, y, itemSize());
    m_framed = false;
    cameraMoved();
}

void MapItem::focusTrain()
{
    const int node =
        m_network.indexOfIdText(m_snapshotData.value(DataMapKeys::selectedTrackIdKey).toString());
    if (node < 0)
        return;
    const SdkTrackNode &record = m_network.nodes()[node];
    if (!m_camera.focus(record.x, record.y, itemSize()))
        return;
    m_framed = false;
    m_settleTimer.stop();
    invalidateImage();
    emit cameraChanged();
}

QPointF MapItem::screenPoint(const SdkTrackNode &node) const
{
    return m_camera.toScreen(node.x, node.y, itemSize());
}

QVariantList MapItem::trainsAt(double x, double y) const
{
    if (!m_detailByDensity)
        return MapHitTest::trainsAt(m_snapshotData, m_network, m_camera, itemSize(), x, y);
    // Trains are drawn along their track's stretch: picked where they are drawn.
    MapPaintScene scene;
    scene.network = &m_network;
    scene.camera = m_camera;
    scene.size = itemSize();
    scene.byDensity = true;
    return MapHitTest::trainsAt(
        m_snapshotData, m_network, m_camera, itemSize(), x, y, [&scene](int node, double fraction) {
            return TrackStretch::of(scene, node).at(std::isfinite(fraction) ? fraction : 0);
        });
}

QString MapItem::describeAt(double x, double y) const
{
    const QVariantList trains = trainsAt(x, y);
    if (!trains.isEmpty()) {
        const QVariantMap train = trains.first().toMap();
        QStringList lines{train.value(DataMapKeys::nameKey).toString()};
        if (train.value(DataMapKeys::presentKey).toBool())
            lines.append(QString::number(train.value(DataMapKeys::speedKey).toDouble(), 'f', 1) +
                         QStringLiteral(" km/h"));
        lines.append(QStringLiteral("Voie ") + train.value(DataMapKeys::trackKey).toString());
        if (trains.size() > 1)
            lines.append(trains.size() == 2
                             ? QStringLiteral("+ 1 autre train ici")
                             : QStringLiteral("+ %1 autres trains ici").arg(trains.size() - 1));
        return lines.join(QLatin1Char('\n'));
    }
    const QVariantMap signal =
        MapHitTest::signalAt(m_snapshotData, m_network, m_camera, itemSize(), x, y);
    if (signal.isEmpty())
        return QString();
    const bool marker = signal.value(DataMapKeys::markerKey).toBool();
    const bool balise = signal.value(DataMapKeys::baliseKey).toBool();
    QStringList lines{marker   ? QStringLiteral("Repère")
                      : balise ? QStringLiteral("Balise")
                               : QStringLiteral("Signal")};
    const QString aspect = signal.value(DataMapKeys::aspectKey).toString();
    if (!aspect.isEmpty())
        lines.append(aspect);
    lines.append(
        signal.value(DataMapKeys::stateAvailableKey).toBool()
            ? QStringLiteral("État E%1").arg(signal.value(DataMapKeys::textureStateKey).toInt())
            : QStringLiteral("État indisponible"));
    lines.append(QStringLiteral("Voie ") + signal.value(DataMapKeys::trackKey).toString());
    return lines.join(QLatin1Char('\n'));
}

void MapItem::paint(QPainter *painter)
{
    if (m_overlayDirty) {
        m_overlay = MapOverlay::read(m_snapshotData, m_network, &m_overlay);
        m_overlayDirty = false;
        ++m_overlayGeneration;
    }
    MapRenderer::Scene scene;
    scene.network = &m_network;
    scene.overlay = &m_overlay;
    scene.camera = m_camera;
    scene.size = itemSize();
    scene.showCalculatedPath = m_showCalculatedPath;
    scene.signalSize = m_signalSize;
    scene.signalLayer = m_signalLayer;
    scene.stationNames = m_showStationNames;
    scene.moving = m_settleTimer.isActive();
    scene.overlayGeneration = m_overlayGeneration;
    scene.byDensity = m_detailByDensity;
    m_renderer.paint(painter, scene);
}
