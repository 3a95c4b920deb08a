#pragma once

#include "SdkApi.h"
#include "SdkCopy.h"
#include "ViewParameters.h"

#include <QVariantMap>

// Captures one snapshot of the session's game and converts it into a data map for the given view.
// Throws std::runtime_error carrying the library's status text (UTF-8) when a library call fails;
// the snapshot is released on every path. Keeps nothing between captures but reusable memory of
// the calling thread.
QVariantMap convertSnapshot(SdkSession session, quint32 processId, const ViewParameters &view);

// The record lists of one capture, in memory kept from capture to capture (the conversion's own
// memory, and the benchmark's measure of the library's part).
struct SnapshotRecords
{
    SdkCopy::RecordBuffer<SdkTrain> trains;
    SdkCopy::RecordBuffer<SdkTrack> tracks;
    SdkCopy::RecordBuffer<SdkStation> stations;
    SdkCopy::RecordBuffer<SdkSignal> signalRecords;
    SdkCopy::RecordBuffer<SdkSignalState> states;
    SdkCopy::RecordBuffer<SdkSignalTexture> textures;
    SdkCopy::RecordBuffer<SdkTrackNode> nodes;

    // Copies the trains, tracks, stations, signals, signal states and textures of the snapshot
    // by the copy protocol, in that order (not the nodes). Throws as SdkCopy::copy does.
    void copyLists(SdkSnapshot snapshot);
};
