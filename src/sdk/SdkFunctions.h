#pragma once

#include "SdkApi.h"

// The library's functions that a capture calls, as a table: the program hands in the loaded
// library (the forwarding exports), a test a fake of its own, so that a capture can be driven
// without a game.
struct SdkFunctions
{
    template <typename Record>
    using CopyList = SdkStatus (*)(SdkSnapshot, Record *, uint32_t, uint32_t *);

    SdkStatus (*captureSnapshot)(SdkSession, SdkSnapshot *);
    void (*releaseSnapshot)(SdkSnapshot);
    CopyList<SdkTrain> copyTrains;
    CopyList<SdkTrack> copyTracks;
    CopyList<SdkStation> copyStations;
    CopyList<SdkSignal> copySignals;
    CopyList<SdkSignalState> copySignalStates;
    CopyList<SdkSignalTexture> copySignalTextures;
    CopyList<SdkTrackNode> copyTrackNodes;
    SdkStatus (*copyTrainPathTracks)(SdkSnapshot, uint64_t, uint64_t *, uint32_t, uint32_t *);
    CopyList<SdkTrackUsage> copyTrackReservations;
    CopyList<SdkTrackUsage> copyTrackOccupations;
    const char *(*statusString)(SdkStatus);

    // The library loaded at start-up, through the executable's forwarding exports.
    static const SdkFunctions &library();
};
