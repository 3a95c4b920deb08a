#pragma once

#include "MapCamera.h"
#include "MapNetwork.h"
#include "MapOverlay.h"
#include "MapSymbols.h"
#include "TextureLoader.h"
#include "SymbolStamp.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QStaticText>

#include <atomic>
#include <optional>

class QFontMetricsF;
class QPainter;

// Draws the whole-network map with a QPainter, without Qt Quick: the network (background, track
// edges, junction dots) into a cached image, and over it at every paint the calculated path,
// reservations, occupations, signals, station names and trains. The map item owns one and hands
// it a scene per paint; tests and benchmarks draw into a QImage with it.
class MapRenderer
{
public:
    enum class SignalLayer { Images = 0, Symbols = 1, Hidden = 2 };
    // The distinct image files one paint shows at most, in the order of the signal list.
    static constexpr int maxTextureFiles = 256;

    // Everything one paint shows.
    struct Scene
    {
        const MapNetwork *network = nullptr;
        const MapOverlay *overlay = nullptr;
        MapCamera camera;
        QSizeF size;
        bool showCalculatedPath = false;
        double signalSize = 64;
        SignalLayer signalLayer = SignalLayer::Images;
        bool stationNames = true;
        // The camera is moving: the network image drawn for an earlier camera may be shifted or
        // scaled instead of redrawn, and the last frame moved with the view while the data stay
        // the same. A paint that is not moving always shows the exact drawing.
        bool moving = false;
        // Changes whenever the overlay's content may have changed (a new data map).
        quint64 overlayGeneration = 0;
    };

    // What the last paint drew, for tests and benchmarks.
    struct Counts
    {
        int texturesDrawn = 0;
        int texturesWithoutSpot = 0; // drawn as their symbol instead
        int trainLabelsDrawn = 0;
        int trainLabelsLeftOut = 0; // would have covered a label drawn before
        int stationNamesDrawn = 0;
        bool networkRedrawn = false;     // the whole network image was drawn again
        bool networkShifted = false;     // the cached image was moved and its uncovered edges drawn
        bool networkScaled = false;      // the cached image was drawn scaled
        bool frameShifted = false;       // the last frame was moved and its uncovered edges drawn
        bool signalLayerReused = false;  // the signal layer of the last paint was used again
        bool frameScaled = false;        // the last frame was drawn scaled (a zoom in progress)
        QVector<QRectF> trainLabelBoxes; // where the drawn train labels lie
        QVector<QRectF> stationNameBoxes; // where the drawn station names lie
    };

    void paint(QPainter *painter, const Scene &scene);

    // The network image is redrawn at the next paint (a new geometry).
    void invalidateNetwork() { m_networkDirty = true; }
    // Whether the next paint for this camera and size redraws the network image.
    bool needsNetworkRedraw(const MapCamera &camera, const QSizeF &size) const;

    const QImage &networkImage() const { return m_networkImage; }
    // Where the signal images come from (the process's shared loader unless set).
    void setTextureLoader(TextureLoader *loader) { m_textureLoader = loader; }
    TextureLoader *textureLoader() const { return m_textureLoader; }
    // The last paint met images still loading: a paint after the loader's next file shows more.
    bool texturesPending() const { return m_texturesPending; }
    const Counts &lastCounts() const { return m_counts; }

    // The text the map shows in its middle while its data are not live.
    static QString waitingText(const MapOverlay &overlay);

private:
    void redrawNetwork(const Scene &scene);
    bool shiftNetwork(const Scene &scene);
    void drawNetwork(QPainter *painter, const MapNetwork &network, const MapCamera &camera,
                     const QSizeF &size, const QVector<QRectF> &areas);
    void paintNetwork(QPainter *painter, const Scene &scene);
    // The layers drawn from the data map; only what reaches into area is drawn.
    void paintDynamic(QPainter *painter, const Scene &scene, const QRectF &area);
    size_t frameKeyOf(const Scene &scene) const;
    bool shiftFrame(const Scene &scene);
    // How an image drawn for one camera moves to show another camera of the same scale; nothing
    // when it cannot (not a number, or moved out of the image entirely).
    struct Shift
    {
        QPoint by;                 // whole pixels
        MapCamera moved;           // the camera the moved image shows
        QVector<QRectF> uncovered; // the strips to draw
    };
    static std::optional<Shift> shiftOf(const QImage &image, const MapCamera &drawnFor,
                                        const MapCamera &camera);
    static QImage moved(const QImage &image, const QPoint &by);
    // Draws an image made for one camera as the other camera sees it; false when it cannot.
    static bool drawScaled(QPainter *painter, const QImage &image, const MapCamera &drawnFor,
                           const MapCamera &camera, const QSizeF &size);
    void paintSignals(QPainter *painter, const Scene &scene, const QRectF &area);
    void drawTexture(QPainter *painter, const QRectF &spot, const QImage &texture);
    void paintStationNames(QPainter *painter, const Scene &scene);
    void paintTrains(QPainter *painter, const Scene &scene, bool otherLabelsAllowed);
    void paintMessage(QPainter *painter, const Scene &scene, const QString &text);

    struct LabelPart
    {
        QStaticText text;
        double advance;
    };
    const LabelPart &laidOut(const QString &text, const QFontMetricsF &metrics);

    QImage m_networkImage;
    MapCamera m_imageCamera; // the camera the network image was drawn for
    bool m_networkDirty = true;
    bool m_imageExact = false; // drawn whole for m_imageCamera, not shifted together
    TextureLoader *m_textureLoader = &TextureLoader::shared();
    MapSymbols m_symbols; // stamped symbols, kept between paints
    SymbolStamp m_junctionStamp;
    QHash<QString, LabelPart> m_labelParts; // laid-out labels, names and label tails by text
    QSet<QString> m_labelsSeenOnce;
    QFont m_labelFont;
    QHash<QString, LabelPart> m_stationParts; // laid-out station names by name
    Counts m_counts;

    // The spots of the last placement of signal images, by position in the overlay's signal
    // list. Placement depends only on the camera, the item's size, the signal size and the
    // sequence of track points and image sizes, so a paint that has them all unchanged (a new
    // data map of the same railway, a blinking signal) uses the spots again; while the view
    // moves, each image keeps its spot beside its track point until the view rests.
    struct Spot
    {
        int node = -1;
        QSizeF size;
        QPointF offset; // from the track point to the spot's top left
        bool placed = false;
    };
    QVector<Spot> m_spots;
    QVector<QImage> m_signalTextures; // by position in the overlay's signal list
    // The signals of the last whole-item paint on a transparent layer, and what it shows.
    QImage m_signalLayer;
    size_t m_signalLayerKey = 0;
    bool m_signalLayerValid = false;
    Counts m_signalLayerCounts;
    quint64 m_texturesGeneration = ~quint64(0);
    quint64 m_texturesEpoch = ~quint64(0); // the loader's epoch of the lookup
    bool m_texturesAsked = false;          // the lookup asked for images at all
    std::atomic<bool> m_texturesPending{false};
    // The last frame drawn while the view moved, whole, for the camera m_frameCamera.
    QImage m_frame;
    MapCamera m_frameCamera;
    size_t m_frameKey = 0;
    bool m_frameValid = false;
    // Images at the size they are drawn, by decoded image and size: drawing them is then a copy.
    QHash<QPair<qint64, QSize>, QImage> m_scaledTextures;
    size_t m_spotsKey = 0;
    quint64 m_spotsEpoch = 0; // the loader's epoch of the textures placed
    bool m_spotsValid = false;
};
