#pragma once

#include "SdkCopy.h"
#include "SdkFunctions.h"
#include "SdkRecords.h"

// Everything one capture takes from the library, as the library wrote it: the record lists, the
// calculated path of the selected train and the track usage. The capture fills it; the conversion
// reads nothing else. The memory is kept from capture to capture (the large lists would otherwise
// pay their page faults again every time); every fill starts from zeroed records.
struct SnapshotRecords
{
    SdkCopy::RecordBuffer<SdkTrain> trains;
    SdkCopy::RecordBuffer<SdkTrack> tracks;
    SdkCopy::RecordBuffer<SdkStation> stations;
    SdkCopy::RecordBuffer<SdkSignal> signalRecords;
    SdkCopy::RecordBuffer<SdkSignalState> states;
    SdkCopy::RecordBuffer<SdkSignalTexture> textures;
    SdkCopy::RecordBuffer<SdkTrackNode> nodes;

    // The path of the train pathTrain; it counts only when that is the train the conversion
    // selects. pathSize is the count the library wrote last (0 without a selected train).
    bool pathAvailable = false;
    quint64 pathTrain = 0;
    quint32 pathSize = 0;
    SdkCopy::RecordBuffer<uint64_t> path;

    // Usage the library does not offer (status 8) is not available; that is no failure.
    bool reservationsAvailable = false;
    SdkCopy::RecordBuffer<SdkTrackUsage> reservations;
    bool occupationsAvailable = false;
    SdkCopy::RecordBuffer<SdkTrackUsage> occupations;

    // Forgets the records; the memory stays.
    void clear();

    // Fills every list from one snapshot of the session, in the library's call order: capture;
    // trains, tracks, stations, signals, states, textures, nodes; the path of the train the view
    // selects (see selectedTrain); reservations; occupations; release. The snapshot is released
    // however this ends. Throws std::runtime_error with the library's text for a failing status,
    // or a French text when the lists announce more than SdkCopy::CaptureBudget allows (before
    // that list is allocated); the records are then cleared.
    void capture(const SdkFunctions &library, SdkSession session, quint64 viewTrain);

    // Only the trains, tracks, stations, signals, states and textures of a snapshot (the
    // benchmark's measure of the library's part). Throws as capture does.
    void copyLists(const SdkFunctions &library, SdkSnapshot snapshot, SdkCopy::Budget &budget);
};

// The train the view follows: the one it names (none when that train has left: no fallback), or
// when it names none the first positioned train; nullptr when there is none.
const SdkTrain *selectedTrain(const SdkCopy::RecordBuffer<SdkTrain> &trains, quint64 viewTrain);
