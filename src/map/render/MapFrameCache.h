#pragma once

#include "MapCamera.h"
#include "MapPaintScene.h"

#include <QImage>
#include <QSizeF>

#include <functional>

class QPainter;

// What a paint keeps of the last ones, so that it draws only what changed: the network image
// (edges and junctions, drawn once per camera) and, while the view moves, the whole last frame.
// Both follow a movement the same way: moved by whole pixels, with only the strips it uncovers
// drawn; during a zoom they are drawn scaled until the view rests. A paint that is not moving
// always shows the exact drawing, which the network image moved by whole pixels still is.
class MapFrameCache
{
public:
    // Draws the network for a camera into the areas (item pixels).
    using NetworkDrawer =
        std::function<void(QPainter *, const MapCamera &, const QVector<QRectF> &areas)>;
    // Draws the layers over the network for a camera, only what reaches into the area.
    using LayerDrawer = std::function<void(QPainter *, const MapCamera &, const QRectF &area)>;

    struct Frame
    {
        MapCamera camera;
        QSizeF size;
        bool moving = false;
        size_t key = 0; // changes whenever anything but the camera changes what the frame shows
        const MapNetwork *network = nullptr; // its bounds decide whether the view rests moved
    };

    void paint(QPainter *painter, const Frame &frame, const NetworkDrawer &network,
               const LayerDrawer &layers, MapPaintCounts &counts);

    void invalidateNetwork() { m_networkDirty = true; }

    // Whether the next paint at rest for this camera and size draws the network anew.
    bool needsNetworkRedraw(const MapCamera &camera, const QSizeF &size,
                            const MapNetwork *network) const;
    const QImage &networkImage() const { return m_network.image; }
    // Counts the network image's drawings anew (not its moves).
    quint64 networkDrawing() const { return m_networkDrawings; }

private:
    // Whether an image of this size drawn for one camera shows the other moved by whole pixels
    // (and by how many), up to the rounding of the cameras' centres.
    static bool wholePixelMove(const MapCamera &from, const MapCamera &to, const QSize &size,
                               QPoint *by = nullptr);
    // Moves a 32-bit image's pixels in place; the strips they uncover keep their old pixels.
    static void movePixels(QImage &image, const QPoint &by);
    // The strips of an image that a move uncovers, each widened by `redrawn` pixels into what the
    // image keeps; they do not overlap.
    static QVector<QRect> uncoveredStrips(const QSize &size, const QPoint &by, int redrawn);
    // How far into what a moved image keeps its strips are drawn again, to be the exact drawing:
    // the pixels that a junction's dot just outside a strip reaches (MapNetworkLayer), and those
    // at the image's former edge, where lines were cut to the image.
    static constexpr int edgeRedrawn = 6;
    // An image of the map drawn for one camera.
    struct CameraImage
    {
        QImage image;
        MapCamera camera;

        // Moves the image to a camera of the same scale by whole pixels and draws the strips it
        // uncovers, each widened by `redrawn` pixels into what it keeps (painter, the moved
        // camera, the strips, which do not overlap); false when it cannot (not a number, or moved
        // out of the image entirely).
        bool shiftTo(const MapCamera &target, const NetworkDrawer &drawStrips, int redrawn);
        // Draws the image shifted for this camera, with the rest of the move below a pixel.
        void drawFor(QPainter *painter, const MapCamera &target) const;
        // Draws the image as another camera sees it; false when it cannot.
        bool drawScaled(QPainter *painter, const MapCamera &target, const QSizeF &size) const;
    };

    void paintFresh(QPainter *painter, const Frame &frame, const NetworkDrawer &network,
                    const LayerDrawer &layers, MapPaintCounts &counts);
    void paintNetwork(QPainter *painter, const Frame &frame, const NetworkDrawer &network,
                      MapPaintCounts &counts);
    void redrawNetwork(const Frame &frame, const NetworkDrawer &network);
    // Whether the frame needs the network drawn anew: nothing kept stands for its exact drawing.
    bool networkRedrawNeeded(const Frame &frame) const;
    // Whether the network image, moved to rest at another camera, is still its exact drawing: only
    // while it holds the whole network, no line cut at its edges (thin lines cut there are
    // stepped from the cut, and would not match the drawing of the moved view).
    bool networkWhollyInImage(const Frame &frame) const;

    // How far a camera may lie from a whole-pixel move, in pixels: the rounding of its centre.
    static constexpr double pixelRounding = 1e-6;

    CameraImage m_network;
    bool m_networkDirty = true;
    quint64 m_networkDrawings = 0;
    bool m_networkExact = false; // drawn whole for its camera, not shifted together
    CameraImage m_frame;         // the last frame drawn while the view moved, whole
    size_t m_frameKey = 0;
    bool m_frameValid = false;
};
