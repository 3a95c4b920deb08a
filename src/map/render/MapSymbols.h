#pragma once

#include "SymbolStamp.h"

#include <QFont>
#include <QHash>
#include <QPointF>

class QPainter;

// The small symbols of the map's dynamic layers: path points, usage marks, signal symbols and
// state labels, train discs. Each is stamped from a cached image (see SymbolStamp), which keeps a
// paint with tens of thousands of signals on screen within a frame, or drawn directly when the
// painter rotates, shears or blends in a way that stamping would not reproduce.
class MapSymbols
{
public:
    enum class SignalShape { Circle, Balise, Marker };

    // Called at the start of each paint, before any symbol.
    void begin(QPainter *painter);

    void pathPoint(QPainter *painter, const QPointF &point);
    void reservation(QPainter *painter, const QPointF &point);
    void occupation(QPainter *painter, const QPointF &point);
    // The stem and the fallback symbol of a signal drawn without texture.
    void signalSymbol(QPainter *painter, const QPointF &point, SignalShape shape, bool marker);
    // The stem alone, for a signal drawn with its texture.
    void signalStem(QPainter *painter, const QPointF &point, bool marker);
    // "E" and the state number, in the signal's colour with the painter's font.
    void stateLabel(QPainter *painter, const QPointF &point, bool marker, int state);
    void trainDisc(QPainter *painter, const QPointF &point, bool selected);
    // Any other small symbol, named by key (which must stand for everything drawer draws), within
    // bounds around its anchor: stamped like the others, or drawn directly.
    void keyed(QPainter *painter, quint64 key, const QRect &bounds,
               const SymbolStamp::Drawer &drawer, const QPointF &point);

    // Readies the pixels that a symbol within bounds at point will cover, when it is stamped.
    void prefetch(const QPointF &point, const QRect &bounds) const
    {
        if (m_stamping)
            SymbolStamp::prefetch(m_target, point, bounds);
    }

private:
    void reset(int dotsPerMeter, const QFont &font, double scaleX, double scaleY);
    static quint64 labelKey(bool marker, int state);
    SymbolStamp &labelStamp(bool marker, int state);

    bool m_stamping = false;
    SymbolStamp::Target m_target;
    int m_dotsPerMeter = -1;
    QFont m_font;
    double m_scaleX = 0;
    double m_scaleY = 0;
    SymbolStamp m_pathPoint;
    SymbolStamp m_reservation;
    SymbolStamp m_occupation;
    SymbolStamp m_signals[3][2]; // [shape][marker]
    SymbolStamp m_stems[2];
    SymbolStamp m_trains[2];
    QHash<quint64, SymbolStamp> m_labels; // by marker and state
    QHash<quint64, SymbolStamp> m_keyed;
};
