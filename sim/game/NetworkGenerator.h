#pragma once

#include "SdkRecords.h"

#include <cstdint>
#include <vector>

// A generated railway: stations with platforms between two throats, lines of track segments
// between them, and sidings off the lines. Every track has one node at its place on the map
// (world metres, y up) linking to its two neighbours; where several tracks link to one node, a
// junction is drawn.
struct Network
{
    enum class Role : uint8_t { Line, Throat, Platform, Siding };

    std::vector<SdkTrack> tracks;
    std::vector<SdkTrackNode> nodes; // one per track, same index
    std::vector<SdkStation> stations;
    std::vector<Role> roles;
    std::vector<std::vector<uint32_t>> links; // track indices linked either way
    std::vector<double> lengths;              // metres
};

class NetworkGenerator
{
public:
    // The same seed and target give the same network.
    static Network generate(uint32_t seed, int trackTarget);
};
