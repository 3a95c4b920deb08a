#pragma once

#include "MapItem.h"
#include "MapOverviewPainter.h"
#include "OverviewFrame.h"

#include <QColor>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

// The map's overview inset (QML element RailMapOverview): a small picture of the whole network of
// a RailMap with the rectangle of its view (MapOverviewPainter). A press or a drag in it centres
// the map's view on the point under the pointer. Its implicit size follows the network's
// proportions; needed tells whether the map's view leaves some of the network out.
class MapOverviewItem : public QQuickPaintedItem
{
    Q_OBJECT
    QML_NAMED_ELEMENT(RailMapOverview)
    Q_PROPERTY(MapItem *map READ map WRITE setMap NOTIFY mapChanged)
    // The implicit size's longer side and the shortest its other side may be.
    Q_PROPERTY(double longSide READ longSide WRITE setLongSide NOTIFY longSideChanged)
    Q_PROPERTY(double shortSide READ shortSide WRITE setShortSide NOTIFY shortSideChanged)
    Q_PROPERTY(QColor trackColor READ trackColor WRITE setTrackColor NOTIFY styleChanged)
    Q_PROPERTY(
        QColor occupationColor READ occupationColor WRITE setOccupationColor NOTIFY styleChanged)
    Q_PROPERTY(QColor viewColor READ viewColor WRITE setViewColor NOTIFY styleChanged)
    Q_PROPERTY(bool needed READ needed NOTIFY neededChanged)

public:
    explicit MapOverviewItem(QQuickItem *parent = nullptr);

    MapItem *map() const { return m_map; }
    void setMap(MapItem *map);
    double longSide() const { return m_longSide; }
    void setLongSide(double side);
    double shortSide() const { return m_shortSide; }
    void setShortSide(double side);
    QColor trackColor() const { return m_style.track; }
    void setTrackColor(const QColor &colour);
    QColor occupationColor() const { return m_style.occupation; }
    void setOccupationColor(const QColor &colour);
    QColor viewColor() const { return m_style.view; }
    void setViewColor(const QColor &colour);
    bool needed() const { return m_needed; }

    // Centres the map's view on the map point under this point of the inset; false (nothing
    // changed) without a map, a network or for a point that is not a number.
    Q_INVOKABLE bool centreAt(double x, double y);

    const OverviewFrame &frame() const { return m_frame; }
    const MapOverviewPainter &painter() const { return m_painter; }
    void paint(QPainter *painter) override;

signals:
    void mapChanged();
    void longSideChanged();
    void shortSideChanged();
    void styleChanged();
    void neededChanged();
    // The user moved the map's view through the inset.
    void viewMoved();

protected:
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseUngrabEvent() override;

private:
    void networkChanged();
    void updateFrame();
    void viewChanged();
    void repaint();

    QPointer<MapItem> m_map;
    MapNetwork::Bounds m_bounds;
    OverviewFrame m_frame;
    MapOverviewPainter m_painter;
    MapOverviewPainter::Style m_style;
    double m_longSide = 200;
    double m_shortSide = 60;
    bool m_needed = false;
    bool m_held = false; // the pointer pressed in the inset and has not let go
};
