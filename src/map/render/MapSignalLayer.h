#pragma once

#include "MapPaintScene.h"
#include "RectGrid.h"
#include "SignalSpots.h"
#include "SignalTextures.h"

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QVector>

#include <optional>

class MapSymbols;
class QPainter;

// The signals: the game's image of each signal's state where it fits beside the track, joined to
// it by a leader line, and elsewhere a small symbol with, zoomed in, its state label. Drawn for
// the whole item onto a transparent layer that the next paint uses again when nothing of it
// changed, or for the strips that a movement uncovers.
class MapSignalLayer
{
public:
    // State labels are drawn above this scale only.
    static constexpr double stateLabelScale = 0.08;
    // Two signals closer than this (pixels, on both axes) would pile their symbols up.
    static constexpr double symbolRoom = 14;
    // The cell of one dot where dots pile up, and the dot's radius.
    static constexpr double dotCell = 6;
    static constexpr double dotRadius = 2.5;
    // How red a lit colour reads, for the dot of a cell: danger first, then the nearer the hue to
    // red; neutral grey last.
    static double redness(const QColor &lit);

    SignalTextures &textures() { return m_textures; }
    const SignalTextures &textures() const { return m_textures; }
    // A new geometry: the signals' places and dots are found again at the next paint.
    void invalidatePlaces()
    {
        m_placesValid = false;
        m_dotCells.valid = false;
    }

    // Draws the signals that reach into the area (item pixels).
    void paint(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
               MapSymbols &symbols, MapPaintCounts &counts);

private:
    // The signals on screen, with the images they show and where those go.
    struct Shown
    {
        QVector<QPointF> points; // by position in the overlay's signal list
        QVector<bool> onScreen;  // by position in the overlay's signal list
        QVector<SignalSpots::Image> images;
        QVector<std::optional<QRectF>> spots; // by entry of images
        bool stateLabels = false;
        size_t placeKey = 0; // what the points, on screen and crowded, depend on
        // With the level of detail by density: signals whose symbols would pile up (by position
        // in the overlay's signal list), drawn as dots or left out, and the lit colours.
        QVector<bool> crowded;
        const SignalTextures *lit = nullptr;
    };
    // Marks the on-screen signals that have another within a symbol's size.
    static void markCrowded(Shown &shown, const QSizeF &size);
    // One dot per cell where dots pile up, the reddest of the cell's signals: the cells of the
    // dotted signals' bounds in a flat grid.
    struct DotGrid
    {
        double left = 0; // in cells
        double top = 0;
        int columns = 0;
        int rows = 0;
        QVector<int> best;     // by cell: the signal whose dot is drawn, -1 for none
        QVector<QRgb> colours; // by cell: that dot's colour
    };
    DotGrid dotGrid(const QVector<int> &dotted, const Shown &shown);
    // Where the dotted signals of the last grid lie, and in which colours: a next grid of the same
    // dotted signals at the same places changes only the cells of the signals whose colour
    // changed, each chosen again from its own signals.
    struct DotCells
    {
        size_t placeKey = 0;
        QVector<int> dotted;
        QVector<QRgb> colours;   // by entry of dotted
        QVector<double> redness; // by entry of dotted
        QVector<int> cellOf;     // by entry of dotted
        QVector<int> starts;     // by cell: where its entries of dotted begin in members
        QVector<int> members;    // entries of dotted by cell, in list order
        DotGrid grid;
        bool valid = false;
    };
    // Works out the grid for these dotted signals and colours anew, and keeps it.
    void newDotCells(const QVector<int> &dotted, const Shown &shown,
                     const QVector<QRgb> &fileColours, const QVector<double> &fileRedness);
    // The dots of the grid that reach into the area, in the order of the signal list.
    static void drawDots(QPainter *painter, const QRectF &area, const DotGrid &grid,
                         const Shown &shown, MapSymbols &symbols, MapPaintCounts &counts);
    static void stampDot(QPainter *painter, MapSymbols &symbols, const QPointF &point, QRgb rgba);
    // Draws again on the kept layer the cells whose dot differs from the grid drawn there; false
    // (nothing changed) when that cannot give the drawing of the whole layer.
    bool patchDots(QPainter *painter, const DotGrid &grid, const Shown &shown, MapSymbols &symbols);
    Shown collect(const MapPaintScene &scene, const QRectF &area);
    // What the layer shows but the dots' colours, as one number.
    static size_t lookOf(const MapPaintScene &scene, const Shown &shown);
    // Draws the images and symbols that reach into the area (with a painter; solid gets their
    // bounds) and gives the signals to be drawn as dots.
    QVector<int> draw(QPainter *painter, const MapPaintScene &scene, const QRectF &area,
                      const Shown &shown, MapSymbols &symbols, MapPaintCounts &counts,
                      RectGrid *solid = nullptr);
    void drawWithImage(QPainter *painter, const MapOverlay::Signal &signal, const QPointF &point,
                       const QRectF &spot, const QImage &texture, MapSymbols &symbols);

    SignalTextures m_textures;
    // The signals' points, which are on screen and which pile up, for the last camera.
    struct Places
    {
        QVector<QPointF> points;
        QVector<bool> onScreen;
        QVector<bool> crowded;
    };
    Places m_places;
    size_t m_placesKey = 0;
    bool m_placesValid = false;
    SignalSpots m_spots;
    // The signals of the last whole-item paint on a transparent layer, and what it shows.
    QImage m_layer;
    size_t m_layerKey = 0;
    bool m_layerValid = false;
    int m_layerTexturesDrawn = 0;
    int m_layerTexturesWithoutSpot = 0;
    int m_layerSignalDots = 0;
    bool m_layerDotsRecounted = false; // counted by the layer's size, not by the item's
    DotGrid m_grid;                    // the dots drawn on the layer
    DotCells m_dotCells;
    std::optional<RectGrid> m_solid; // where its images and symbols lie
    QHash<int, QPointF> m_layerTextureOffsets;
};
