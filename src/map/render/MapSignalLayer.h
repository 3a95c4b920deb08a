#pragma once

#include "MapPaintScene.h"
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
        // With the level of detail by density: signals whose symbols would pile up (by position
        // in the overlay's signal list), drawn as dots or left out, and the lit colours.
        QVector<bool> crowded;
        const QVector<QColor> *lit = nullptr;
    };
    // Marks the on-screen signals that have another within a symbol's size.
    static void markCrowded(Shown &shown, const QSizeF &size);
    // Dots for the signals that pile up, one per cell, in the reddest colour of the cell's.
    static void drawDots(QPainter *painter, const QRectF &area, const QVector<int> &dotted,
                         const Shown &shown, MapSymbols &symbols, MapPaintCounts &counts);
    Shown collect(const MapPaintScene &scene, const QRectF &area);
    // What the whole layer shows, as one number.
    static size_t lookOf(const MapPaintScene &scene, const Shown &shown);
    void draw(QPainter *painter, const MapPaintScene &scene, const QRectF &area, const Shown &shown,
              MapSymbols &symbols, MapPaintCounts &counts);
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
    QHash<int, QPointF> m_layerTextureOffsets;
};
