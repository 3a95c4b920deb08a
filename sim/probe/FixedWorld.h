#pragma once

// A small frozen world for the cross-platform checks of the stand-in library: the same records
// published on Linux (POSIX shared memory) and on Windows (a named file mapping) must come back
// with the same counts and ids. Ids use all 64 bits; one station name is empty, one is not ASCII;
// a signal has two state records (both are handed out; the reader keeps the first); one train
// has no path and one is not positioned.

#include "World.h"

#include <algorithm>
#include <cstring>

namespace FixedWorld {

// Into a zero-filled field; a text as long as the field has no NUL.
inline void copyText(char *field, size_t size, const char *text)
{
    std::memcpy(field, text, std::min(size, std::strlen(text)));
}

inline World make()
{
    World world;
    const uint64_t station[3] = {0x0000000000000001ULL, 0x8000000000000002ULL,
                                 0x00FF00FF00FF00FFULL};
    const char *stationName[3] = {"Zorvy Centrale", "\xC3\x89toile-sur-Rail", ""};
    for (int i = 0; i < 3; ++i) {
        SdkStation record{};
        record.id = station[i];
        copyText(record.name, sizeof record.name, stationName[i]);
        world.stations.push_back(record);
    }

    // Eight tracks in a line with a siding; the nodes carry the track ids, plus two junctions.
    const uint64_t trackBase = 0xA000000000000100ULL;
    for (uint64_t i = 0; i < 8; ++i) {
        world.tracks.push_back(
            {trackBase + i, i < 3 ? station[i % 3] : (i == 7 ? station[1] : 0), 10.0 + double(i)});
        SdkTrackNode node{};
        node.id = trackBase + i;
        node.neighbour1 = i > 0 ? trackBase + i - 1 : 0;
        node.neighbour2 = i < 7 ? trackBase + i + 1 : 0;
        node.x = 100.0 * double(i);
        node.y = i % 2 ? 50.0 : -50.0;
        world.nodes.push_back(node);
    }
    world.nodes.push_back({0xB000000000000001ULL, trackBase + 2, trackBase + 5, 250.0, 0.0});
    world.nodes.push_back({0xB000000000000002ULL, trackBase + 6, 0, 650.0, 10.0});

    const uint32_t kinds[5] = {0, 1, 3, 4, 6};
    for (uint64_t i = 0; i < 5; ++i)
        world.signals.push_back({0xC000000000000010ULL + i, trackBase + i, 0.25 * double(i % 4),
                                 int32_t(i % 2), kinds[i]});

    SharedWorld::LabelPair pair{};
    copyText(pair.label1, sizeof pair.label1, "Voie libre");
    copyText(pair.label2, sizeof pair.label2, "Carr\xC3\xA9 ferm\xC3\xA9");
    world.labelPairs.push_back(pair);
    SharedWorld::TexturePath texture{};
    copyText(texture.bytes, sizeof texture.bytes, "C:/ZorvyRails/textures/signal-green.png");
    world.texturePaths.push_back(texture);

    const char *trainName[3] = {"TGV 6101", "Fret 42", "Manoeuvre"};
    for (uint64_t i = 0; i < 3; ++i) {
        SdkTrain train{};
        train.id = 0xD000000000000001ULL + (i << 40);
        train.trackId = trackBase + 2 * i;
        train.speed = 12.5 * double(i);
        train.fraction = 0.5;
        train.sense = 1;
        train.flags = i == 2 ? SdkTrainPresent : SdkTrainPresent | SdkTrainPositioned;
        copyText(train.name, sizeof train.name, trainName[i]);
        world.trains.push_back(train);
    }

    world.signalStates.push_back({0xC000000000000010ULL, 6u, 9, 0, 0});
    world.signalStates.push_back({0xC000000000000011ULL, 4u, 1, 0, 0});
    world.signalStates.push_back({0xC000000000000010ULL, 6u, 10, 0, 0}); // ignored by the reader
    world.signalTextures.push_back({0xC000000000000012ULL, 2u, 0});
    world.signalTextures.push_back({0xC000000000000013ULL, 0u, 0});

    world.reservations.push_back({world.trains[0].id, trackBase + 1, 0.0, 1.0});
    world.reservations.push_back({world.trains[1].id, trackBase + 3, 0.0, 0.5});
    world.occupations.push_back({world.trains[0].id, trackBase + 0, 0.5, 1.0});
    world.occupations.push_back({world.trains[1].id, trackBase + 2, 0.2, 0.7});
    world.occupations.push_back({world.trains[2].id, trackBase + 4, 0.0, 0.1});

    world.paths.push_back({world.trains[0].id, 1, 3, 0});
    world.paths.push_back({world.trains[1].id, 1, 2, 3});
    world.paths.push_back({world.trains[2].id, 0, 0, 0}); // no path
    world.pathTracks = {trackBase + 1, trackBase + 2, trackBase + 3, trackBase + 4, trackBase + 5};
    return world;
}

} // namespace FixedWorld
