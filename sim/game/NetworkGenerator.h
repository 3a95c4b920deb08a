#pragma once

#include "SdkRecords.h"

#include <climits>
#include <cstdint>
#include <vector>

// A railway: stations with platforms between two throats, double lines of track segments
// between them (one track each way), and sidings off the lines. Every track has one node at its
// place on the map (world metres, y up) linking to its two neighbours; where several tracks link
// to one node, a junction is drawn. A track is run from neighbour 1 towards neighbour 2 in the
// sense +1 (fraction 0 to 1); line tracks are only run that way.
struct Network
{
    enum class Role : uint8_t { Line, Throat, Platform, Siding };
    static constexpr uint32_t none = UINT32_MAX;

    std::vector<SdkTrack> tracks;
    std::vector<SdkTrackNode> nodes; // one per track, same index
    std::vector<SdkStation> stations;
    std::vector<Role> roles;
    std::vector<std::vector<uint32_t>> links;  // track indices linked either way
    std::vector<double> lengths;               // metres
    std::vector<uint32_t> firstEnd, secondEnd; // index of neighbour 1 and 2, `none` when unknown
    std::vector<uint8_t> blockEnd; // a line track where a block ends (it carries a main signal)

    // Fills links, ends and lengths from the tracks and nodes (a track without a node of the
    // same index links nowhere).
    void link();
};

class NetworkGenerator
{
public:
    // The same seed and target give the same network.
    static Network generate(uint32_t seed, int trackTarget);
};
