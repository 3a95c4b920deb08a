#pragma once

#include "MapCamera.h"
#include "MapNetwork.h"
#include "OverviewFrame.h"

#include <QColor>
#include <QImage>
#include <QSizeF>
#include <QVector>

class QPainter;

// Draws the overview inset: the whole network as a cached picture, the occupied tracks' stretches
// over it and the rectangle of the map's view. The picture is drawn again only when the network,
// the inset's size or the colours change, never for a new view or new occupations. The inset item
// owns one; tests draw into a QImage with it.
class MapOverviewPainter
{
public:
    struct Style
    {
        QColor track;
        QColor occupation;
        QColor view;
        double viewWidth = 1.5;
        // The view's rectangle is drawn at least this large, so that a deep zoom stays visible.
        double smallestView = 6;
    };

    struct Scene
    {
        const MapNetwork *network = nullptr;
        const QVector<int> *occupied = nullptr; // node positions, may be null
        OverviewFrame frame;
        MapCamera view;
        QSizeF viewSize;
    };

    void paint(QPainter *painter, const Scene &scene, const Style &style);
    // The network changed: the next paint draws its picture again.
    void invalidate() { m_picture = QImage(); }
    // How many times the network's picture was drawn.
    int pictureDraws() const { return m_pictureDraws; }

private:
    void drawPicture(const Scene &scene, const QColor &track, qreal pixelRatio);
    static void drawOccupied(QPainter *painter, const Scene &scene, const Style &style);
    static void drawView(QPainter *painter, const Scene &scene, const Style &style);

    QImage m_picture;
    QColor m_pictureColour;
    MapCamera m_pictureCamera; // the frame the picture was drawn for
    int m_pictureDraws = 0;
};
