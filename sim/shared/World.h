#pragma once

// Everything the game publishes, already in the records the library hands out (or in their
// compact shared form). The simulation rewrites the per-frame part; the static part changes only
// when the network does.

#include "SharedWorldLayout.h"

#include <vector>

struct World
{
    // Static part.
    std::vector<SdkTrack> tracks;
    std::vector<SdkTrackNode> nodes;
    std::vector<SdkStation> stations;
    std::vector<SdkSignal> signals;
    std::vector<SharedWorld::LabelPair> labelPairs;
    std::vector<SharedWorld::TexturePath> texturePaths;
    std::vector<SharedWorld::Fault> faults;

    // Per-frame part.
    std::vector<SdkTrain> trains;
    std::vector<SharedWorld::StateEntry> signalStates;
    std::vector<SharedWorld::TextureEntry> signalTextures;
    std::vector<SdkTrackUsage> reservations;
    std::vector<SdkTrackUsage> occupations;
    bool reservationsAvailable = true;
    bool occupationsAvailable = true;
    std::vector<SharedWorld::PathEntry> paths;
    std::vector<uint64_t> pathTracks;
};
