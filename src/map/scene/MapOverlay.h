#pragma once

#include "MapNetwork.h"

#include <QString>
#include <QVariantMap>
#include <QVector>

// The dynamic layers of one data map, read once into plain arrays: the node each entry is drawn
// at, and what to draw there. Reading tens of thousands of nested maps costs more than drawing
// them, so a repaint after a pan or zoom reuses this instead of reading the data map again.
class MapOverlay
{
public:
    struct Signal
    {
        int node;
        bool marker;
        bool balise;
        bool stateAvailable;
        int textureState;
        int texture; // index into texturePaths, -1 unless the state is available
    };

    struct Train
    {
        int node;
        bool selected;
        QString name;
        double fraction = 0;      // along the track, 0 at its first neighbour
        double speed = 0;         // km/h
        int direction = 0;        // above 0: towards the second neighbour
        double labelFraction = 0; // the fraction as the data map gives it, for the label
        // The label "IC 12 · 45.7%" in two parts: the name, which stays, and the tail " · 45.7%",
        // which changes as the train moves but takes one of a thousand values. Made only for
        // the labels drawn.
        QString tail() const { return labelTail(labelFraction); }
        QString label() const { return name + tail(); }
    };

    // A station named on the map, at the middle of its tracks' nodes (world coordinates).
    struct Station
    {
        double x;
        double y;
        QString name;
        int trackCount;
    };

    // A train held, stalled or locked, and the wait cycles: the node of each train of a cycle in
    // wait order.
    enum class AttentionState { Held, Stalled, Locked };
    struct Attention
    {
        int node;
        AttentionState state;
    };

    // Reads the layers of the data map; entries whose track names no node are left out. The
    // parts that the data map shares with the one read into before (the same station list) are
    // taken from it.
    static MapOverlay read(const QVariantMap &data, const MapNetwork &network,
                           const MapOverlay *before = nullptr);
    // The node a train entry is drawn at; -1 unless it is positioned on a track of the network.
    static int trainNode(const QVariantMap &train, const MapNetwork &network);

    bool pathShown = false; // live, available and not stale (the item adds its own switch)
    QVector<int> pathNodes;
    QVector<int> reservationNodes; // empty unless the layer is shown
    QVector<int> occupationNodes;  // empty unless the layer is shown
    QVector<Signal> signalMarks;
    // The signals' image files, each named by its index (a copy of the capture's table's list).
    QStringList texturePaths;
    QVector<Train> trains;
    QVector<Station> stations;  // the larger (more tracks) first
    QVariantList stationSource; // the data map's list they were read from
    QVector<Attention> attention;
    QVector<QVector<int>> deadlocks;
    bool live = false;
    QString status;

    static QString trainLabel(const QVariantMap &train);
    static QString trainLabelTail(const QVariantMap &train);
    static QString labelTail(double fraction);
};
