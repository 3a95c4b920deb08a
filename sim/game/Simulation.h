#pragma once

#include "NetworkGenerator.h"
#include "ScenarioLoader.h"
#include "World.h"

#include <QRandomGenerator>

#include <deque>

class SignalTextureSet;

// The moving railway: trains that follow routes over the network at changing speeds and stop at
// stations, with their paths, reservations and occupations, and signals whose states follow the
// trains (a few blink). Main signals divide the network into blocks (see the README): a train
// reserves a whole block before it passes the signal in front of it, stops at that signal while
// another train holds any track of the block, and frees each track as its tail leaves it. Each
// step rewrites the per-frame part of the world; the same seed and the same number of steps give
// the same world.
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

    // A generated world. textures may be null (no texture records at all).
    Simulation(const Settings &settings, const SignalTextureSet *textures);
    // The world of a running scenario: its static part as given, its trains moving as run says.
    Simulation(const World &scenario, const ScenarioRun &run, const SignalTextureSet *textures);

    const World &world() const { return m_world; }
    // Advances the railway by this many simulated seconds.
    void step(double seconds);
    // Bytes the largest frame of this world can take.
    uint64_t frameCapacity() const;
    // Who waits for whom after the last step, by train index: the train that holds a track of the
    // block this train, standing still, asked for and did not get; -1 for a train that waits for
    // nobody (running, dwelling at a stop, turning back, or off the network).
    std::vector<int32_t> waits() const;

    static constexpr int pathLength = 20; // tracks of a calculated path, the current one included

private:
    struct Pass
    {
        uint32_t track;
        int direction;
    };
    struct TrainMotion
    {
        bool positioned = true;
        bool scripted = false; // follows a scenario's route, makes no choices of its own
        uint32_t track = 0;
        uint32_t previous = 0; // the track the head came from (the same track when none)
        double fraction = 0;
        int direction = 1; // +1: towards fraction 1
        double speed = 0;
        double maxSpeed = 30;
        double length = 200;
        double slowFactor = 1;
        double slowTimer = 0;
        double dwell = 0;
        double stopSeconds = 0; // the dwell of the stop at the middle of this track
        bool stopHere = false;
        std::deque<uint32_t> route; // upcoming track indices
        std::deque<Pass> trail;     // tracks behind the head's one still under it, nearest first
        std::vector<uint32_t> loop; // a scripted route that starts again when it ends
        size_t loopNext = 0;
        std::vector<std::pair<uint32_t, double>> stops; // scripted: track, seconds (< 0: for good)
        // Where the movement authority ends, from the last look ahead.
        double stopDistance = 0;
        double recheckIn = 0; // metres to run before it looks ahead again
        int stopSignal = -1;
        std::vector<uint32_t> clearedSignals; // main signals ahead that it may pass, in order
        int32_t blockedBy = -1; // the holder of the block last refused to it, -1 when none
    };
    enum class SignalRole : uint8_t { Main, Platform, Balise, Route, Fixed, Blinking, Given };
    struct SignalInfo
    {
        uint32_t track;
        SignalRole role;
        int fixedState;
        bool hasState;
        uint32_t stateFlags;
        int textureMode; // 0 none, 1 record without a valid path, 2 path of the state, 3 broken
    };

    void setUpWorld(const SignalTextureSet *textures);
    void buildTrains();
    void buildSignals(const SignalTextureSet *textures);
    void addSignal(uint32_t track, uint32_t kind, double fraction, int sense, bool blinking);
    void indexMainSignals();
    void extendRoute(TrainMotion &train);
    int entryDirection(uint32_t from, uint32_t to) const;
    void enter(TrainMotion &train, uint32_t next);
    void arrive(TrainMotion &train);
    void releaseTrail(TrainMotion &train);
    void reverse(TrainMotion &train);
    void releaseBehind(TrainMotion &train, int self);
    void lookAhead(TrainMotion &train, int self, size_t *firstUnheld);
    bool reserveBlock(TrainMotion &train, int self, size_t from, int32_t *blocker = nullptr);
    void move(TrainMotion &train, double distance, int self);
    int signalState(const SignalInfo &signal, size_t index) const;
    void writeFrame();

    Settings m_settings;
    QRandomGenerator m_rng;
    Network m_network;
    World m_world;
    std::vector<TrainMotion> m_trains;
    std::vector<SignalInfo> m_signals;                  // same index as m_world.signals
    std::vector<std::vector<uint32_t>> m_mainSignals;   // by track: its main signals
    std::vector<int32_t> m_holder;                      // by track: the train holding it, or -1
    std::vector<int8_t> m_shown;                        // by signal: state set by a train, or -1
    std::vector<uint32_t> m_signalNext;                 // by main signal: the track beyond it
    std::vector<SharedWorld::StateEntry> m_givenStates; // running scenario: as given
    std::vector<SharedWorld::TextureEntry> m_givenTextures; // running scenario: as given
    uint32_t m_labelBase = 0;                               // our labels in the label table
    uint32_t m_textureBase = 0;                             // our state images in the path table
    double m_time = 0;
    uint32_t m_brokenPath = 0;
};
