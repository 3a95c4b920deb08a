#pragma once

#include "MapCamera.h"
#include "MapNetwork.h"
#include "MapOverlay.h"
#include "MapSymbols.h"
#include "SignalTextureCache.h"

#include <QImage>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QSet>
#include <QStaticText>
#include <QVariantList>
#include <QVariantMap>

// The whole-network map (QML element RailMap): the track network from the data map's geometry,
// drawn once per camera change into a cached image, with the calculated path, reservations,
// occupations, signals and trains drawn over it at every paint. It only reads the data map.
class MapItem : public QQuickPaintedItem
{
    Q_OBJECT
    Q_PROPERTY(QVariantMap snapshotData READ snapshotData WRITE setSnapshotData NOTIFY dataChanged)
    Q_PROPERTY(bool showCalculatedPath READ showCalculatedPath WRITE setShowCalculatedPath NOTIFY
                   dataChanged)
    Q_PROPERTY(double signalSize READ signalSize WRITE setSignalSize NOTIFY dataChanged)
    // An object with a QVariantMap property "data" and a signal changed() (the backend): its data
    // is taken over in C++ at every change, as if written to snapshotData, which spares the GUI
    // thread a round trip of the whole map through JavaScript.
    Q_PROPERTY(QObject *dataSource READ dataSource WRITE setDataSource NOTIFY dataSourceChanged)

public:
    explicit MapItem(QQuickItem *parent = nullptr);

    QVariantMap snapshotData() const { return m_snapshotData; }
    void setSnapshotData(const QVariantMap &data);
    bool showCalculatedPath() const { return m_showCalculatedPath; }
    void setShowCalculatedPath(bool show);
    double signalSize() const { return m_signalSize; }
    void setSignalSize(double size);
    QObject *dataSource() const { return m_dataSource; }
    void setDataSource(QObject *source);

    Q_INVOKABLE void fit();
    Q_INVOKABLE void moveView(double x, double y);
    Q_INVOKABLE void zoomAt(double factor, double x, double y);
    Q_INVOKABLE void focusTrain();
    Q_INVOKABLE QVariantList trainsAt(double x, double y) const;

    void paint(QPainter *painter) override;

    // Read access for the program's own C++ (tests, benchmarks).
    QPointF viewCentre() const { return m_camera.centre(); }
    double scale() const { return m_camera.scale(); }
    const MapNetwork &network() const { return m_network; }
    const QImage &networkImage() const { return m_networkImage; }
    bool isNetworkImageDirty() const { return m_networkImageDirty; }
    const SignalTextureCache &textureCache() const { return m_textureCache; }
    QPointF screenPoint(const SdkTrackNode &node) const;

signals:
    void dataChanged();
    void dataSourceChanged();

protected:
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override;

private slots:
    void takeDataFromSource();

private:
    QSizeF itemSize() const { return QSizeF(width(), height()); }
    void invalidateImage();
    void redrawNetworkImage(const QSizeF &size);
    void paintSignals(QPainter *painter, const QSizeF &size);

    QVariantMap m_snapshotData;
    MapNetwork m_network; // geometry bytes, node table, degree table and node index
    MapCamera m_camera;
    bool m_fitted = false;
    bool m_networkImageDirty = true;
    QImage m_networkImage;
    SignalTextureCache m_textureCache;
    bool m_showCalculatedPath = false;
    double m_signalSize = 64;
    QPointer<QObject> m_dataSource;
    MapOverlay m_overlay; // the data map's dynamic layers, read at the first paint that needs them
    bool m_overlayDirty = true;
    MapSymbols m_symbols; // stamped symbols, kept between paints
    SymbolStamp m_junctionStamp;
    struct LabelPart
    {
        QStaticText text;
        double advance;
    };
    QHash<QString, LabelPart> m_labelParts; // laid-out labels, names and label tails by text
    QSet<QString> m_labelsSeenOnce;
    QFont m_labelFont;
};
