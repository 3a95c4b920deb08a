#pragma once

#include "NetworkGenerator.h"
#include "World.h"

#include <QRandomGenerator>

#include <deque>

class SignalTextureSet;

// The moving railway of a generated world: trains that follow routes over the network at
// changing speeds and stop at stations, with their paths, reservations and occupations, and
// signals whose states follow the trains (a few blink). Each step rewrites the per-frame part of
// the world; the same seed and the same number of steps give the same world.
class Simulation
{
public:
    struct Settings
    {
        uint32_t seed = 1;
        int trackTarget = 5000;
        bool reservationsAvailable = true;
        bool occupationsAvailable = true;
        enum class Textures { All, Most, None } textures = Textures::Most;
    };

    // textures may be null (no texture records at all).
    Simulation(const Settings &settings, const SignalTextureSet *textures);

    const World &world() const { return m_world; }
    // Advances the railway by this many simulated seconds.
    void step(double seconds);
    // Bytes the largest frame of this world can take.
    uint64_t frameCapacity() const;

    static constexpr int pathLength = 20; // tracks of a calculated path, the current one included
    static constexpr int reservedAhead = 4;

private:
    struct TrainMotion
    {
        bool positioned = true;
        uint32_t track = 0;
        uint32_t previous = 0;
        double fraction = 0;
        int direction = 1;             // +1: towards fraction 1
        bool leftPreviousAtEnd = true; // left the previous track at fraction 1 (else at 0)
        double speed = 0;
        double maxSpeed = 30;
        double length = 200;
        double slowFactor = 1;
        double slowTimer = 0;
        double dwell = 0;
        bool stopHere = false;
        std::deque<uint32_t> route; // upcoming track indices
    };
    enum class SignalRole : uint8_t { Main, Platform, Balise, Route, Fixed, Blinking };
    struct SignalInfo
    {
        uint32_t track;
        SignalRole role;
        int fixedState;
        bool hasState;
        uint32_t stateFlags;
        int textureMode; // 0 none, 1 record without a valid path, 2 path of the state, 3 broken
    };

    void buildTrains();
    void buildSignals(const SignalTextureSet *textures);
    void extendRoute(TrainMotion &train);
    void enter(TrainMotion &train, uint32_t next);
    void move(TrainMotion &train, double seconds);
    int signalState(const SignalInfo &signal) const;
    void writeFrame();

    Settings m_settings;
    QRandomGenerator m_rng;
    Network m_network;
    World m_world;
    std::vector<TrainMotion> m_trains;
    std::vector<SignalInfo> m_signals;
    std::vector<uint8_t> m_occupied;
    double m_time = 0;
    uint32_t m_brokenPath = 0;
};
