#pragma once

#include "MapCamera.h"
#include "MapNetwork.h"
#include "MapOverlay.h"
#include "MapRenderer.h"
#include "ViewChoices.h"

#include <QImage>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

// The map's signal layers as QML reads them: SignalLayer.Images, SignalLayer.Symbols, ...
namespace ZorvyMapSignalLayer {
Q_NAMESPACE
QML_FOREIGN_NAMESPACE(SignalLayer)
QML_NAMED_ELEMENT(SignalLayer)
} // namespace ZorvyMapSignalLayer

// The whole-network map (QML element RailMap): the track network from the data map's geometry,
// drawn once per camera change into a cached image, with the calculated path, reservations,
// occupations, signals, station names and trains drawn over it at every paint (MapRenderer). The
// item holds the properties, the camera and the input operations, and schedules paints: none
// while it is hidden, and while the view moves the cached network is shifted or scaled, then
// drawn exactly once the movement stops. It only reads the data map.
class MapItem : public QQuickPaintedItem
{
    Q_OBJECT
    QML_NAMED_ELEMENT(RailMap)
    // Each writable property announces its own changes: only a new data map is dataChanged(),
    // which whoever follows the data (the panel that keeps a train centred) listens to.
    Q_PROPERTY(QVariantMap snapshotData READ snapshotData WRITE setSnapshotData NOTIFY dataChanged)
    Q_PROPERTY(bool showCalculatedPath READ showCalculatedPath WRITE setShowCalculatedPath NOTIFY
                   showCalculatedPathChanged)
    Q_PROPERTY(double signalSize READ signalSize WRITE setSignalSize NOTIFY signalSizeChanged)
    // How signals are shown; a value outside SignalLayer is ignored.
    Q_PROPERTY(SignalLayer::Layer signalLayer READ signalLayer WRITE setSignalLayer NOTIFY
                   signalLayerChanged)
    Q_PROPERTY(bool showStationNames READ showStationNames WRITE setShowStationNames NOTIFY
                   showStationNamesChanged)
    // An object with a QVariantMap property "data" and a signal changed() (the backend): its data
    // is taken over in C++ at every change, as if written to snapshotData, which spares the GUI
    // thread a round trip of the whole map through JavaScript.
    Q_PROPERTY(QObject *dataSource READ dataSource WRITE setDataSource NOTIFY dataSourceChanged)
    // Which railway the map shows: a fingerprint of its geometry, the same from one run to the
    // next for the same network; empty without nodes.
    Q_PROPERTY(QString railway READ railway NOTIFY railwayChanged)
    // The level of detail follows what fits on screen (usage strokes, trains along their track,
    // signals that pile up as dots); on by default unless the program turned it off for runs that
    // keep the plain drawing.
    Q_PROPERTY(bool detailByDensity READ detailByDensity WRITE setDetailByDensity NOTIFY
                   detailByDensityChanged)
    // The room left around the framed network, in all across and down; a framed view is framed
    // again when it changes.
    Q_PROPERTY(QSizeF fitMargins READ fitMargins WRITE setFitMargins NOTIFY fitMarginsChanged)

public:
    explicit MapItem(QQuickItem *parent = nullptr);

    QVariantMap snapshotData() const { return m_snapshotData; }
    void setSnapshotData(const QVariantMap &data);
    bool showCalculatedPath() const { return m_showCalculatedPath; }
    void setShowCalculatedPath(bool show);
    double signalSize() const { return m_signalSize; }
    void setSignalSize(double size);
    SignalLayer::Layer signalLayer() const { return SignalLayer::Layer(m_signalLayer); }
    void setSignalLayer(int layer);
    bool showStationNames() const { return m_showStationNames; }
    void setShowStationNames(bool show);
    QObject *dataSource() const { return m_dataSource; }
    void setDataSource(QObject *source);
    bool detailByDensity() const { return m_detailByDensity; }
    void setDetailByDensity(bool on);
    QSizeF fitMargins() const { return m_fitMargins; }
    void setFitMargins(const QSizeF &margins);
    // Whether items made from now on start with the level of detail by density (on by default).
    static void setDetailByDensityDefault(bool on);

    Q_INVOKABLE void fit();
    Q_INVOKABLE void moveView(double x, double y);
    Q_INVOKABLE void zoomAt(double factor, double x, double y);
    Q_INVOKABLE void focusTrain();
    Q_INVOKABLE QVariantList trainsAt(double x, double y) const;
    // What a tooltip says of the train (name, speed, track) or else the signal (kind, state,
    // aspect) under (x, y); empty over nothing.
    Q_INVOKABLE QString describeAt(double x, double y) const;
    // The camera as it can be remembered: "railway", the view centre "x" and "y" in map
    // coordinates, "scale", and "framed" while the view frames the network.
    Q_INVOKABLE QVariantMap camera() const;
    // Takes a remembered camera back when it was taken on the railway shown now and its values
    // make sense; false (nothing changed) otherwise. A framed view is framed again at the map's
    // present size (the window may have another size than when it was remembered).
    Q_INVOKABLE bool restoreCamera(const QVariantMap &camera);

    QString railway() const { return m_railway; }

    void paint(QPainter *painter) override;

    // Read access for the program's own C++ (tests, benchmarks).
    QPointF viewCentre() const { return m_camera.centre(); }
    double scale() const { return m_camera.scale(); }
    const MapNetwork &network() const { return m_network; }
    const MapRenderer &renderer() const { return m_renderer; }
    // The data map's layers as the last paint read them.
    const MapOverlay &overlay() const { return m_overlay; }
    const QImage &networkImage() const { return m_renderer.networkImage(); }
    // The next paint draws the network image again (camera, geometry or size changed).
    bool isNetworkImageDirty() const;
    QPointF screenPoint(const SdkTrackNode &node) const;
    // The view is moving: paints shift or scale the cached network until it settles.
    bool isMoving() const { return m_settleTimer.isActive(); }
    // How many paints the item asked for; none while it is hidden.
    int repaintRequests() const { return m_repaintRequests; }
    // How long the view must rest before the network is drawn exactly again.
    static constexpr int settleMs = 150;
    // How long signal images that arrive are gathered before the map is painted again.
    static constexpr int textureArrivalMs = 100;

signals:
    void dataChanged();
    void showCalculatedPathChanged();
    void signalSizeChanged();
    void signalLayerChanged();
    void showStationNamesChanged();
    void dataSourceChanged();
    void detailByDensityChanged();
    void fitMarginsChanged();
    void railwayChanged();
    // The view moved, zoomed, was framed or taken back.
    void cameraChanged();

protected:
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override;
    void itemChange(ItemChange change, const ItemChangeData &value) override;

private slots:
    void takeDataFromSource();
    void settle();

private:
    QSizeF itemSize() const { return QSizeF(width(), height()); }
    void requestRepaint();
    void invalidateImage();
    void cameraMoved();
    bool anyOfNetworkInView() const;
    static QString fingerprint(const QByteArray &geometry);

    QVariantMap m_snapshotData;
    MapNetwork m_network;      // geometry bytes, node table, degree table and node index
    QByteArray m_lastGeometry; // the last network that had nodes
    QString m_railway;
    MapCamera m_camera;
    bool m_fitted = false;
    bool m_framed = false; // the view frames the network: a resize frames it again
    bool m_showCalculatedPath = false;
    double m_signalSize = 64;
    MapRenderer::SignalLayer m_signalLayer = MapRenderer::SignalLayer::Images;
    bool m_showStationNames = true;
    bool m_detailByDensity;
    QSizeF m_fitMargins = MapCamera::defaultFitMargins;
    QPointer<QObject> m_dataSource;
    bool m_sourceChangedWhileHidden = false;
    bool m_repaintWhenShown = false;
    int m_repaintRequests = 0;
    MapOverlay m_overlay; // the data map's dynamic layers, read at the first paint that needs them
    bool m_overlayDirty = true;
    quint64 m_overlayGeneration = 0;
    MapRenderer m_renderer;
    QTimer m_settleTimer;
    QTimer m_textureTimer;
};
