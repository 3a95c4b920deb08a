#include "Simulation.h"

#include "SignalTextureSet.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

using namespace SharedWorld;

namespace {

constexpr uint64_t firstTrainId = 0x70001;
constexpr uint64_t firstSignalId = 0x90001;
constexpr double acceleration = 0.6; // m/s²
constexpr double braking = 0.9;      // m/s²

// Native states of the generated signals; the label table and the textures follow this order.
enum NativeState {
    Clear = 0,
    Warning = 1,
    Stop = 2,
    Square = 3,
    Slow = 4,
    SlowReminder = 5,
    BaliseIdle = 6,
    BaliseActive = 7,
    Marker = 8,
    BlinkOn = 9,
    BlinkOff = 10,
};

const char *const stateLabels[][2] = {{"Voie libre", "VL"},
                                      {"Avertissement", "A"},
                                      {"Sémaphore", "S"},
                                      {"Carré", "C"},
                                      {"Ralentissement", "R 30"},
                                      {"Rappel ralentissement", "RR 60"},
                                      {"Balise", "Inactive"},
                                      {"Balise", "Active · KVB"},
                                      {"Repère", "PK"},
                                      {"Feu clignotant", "Allumé"},
                                      {"Feu clignotant", "Éteint"}};

template <size_t N> void copyText(char (&array)[N], const char *text)
{
    std::memset(array, 0, N);
    std::memcpy(array, text, std::min(N, std::strlen(text)));
}

} // namespace

Simulation::Simulation(const Settings &settings, const SignalTextureSet *textures)
    : m_settings(settings), m_rng(settings.seed ^ 0x5A17u),
      m_network(NetworkGenerator::generate(settings.seed, settings.trackTarget))
{
    m_world.tracks = m_network.tracks;
    m_world.nodes = m_network.nodes;
    m_world.stations = m_network.stations;
    m_world.reservationsAvailable = settings.reservationsAvailable;
    m_world.occupationsAvailable = settings.occupationsAvailable;
    for (const auto &labels : stateLabels) {
        LabelPair pair{};
        copyText(pair.label1, labels[0]);
        copyText(pair.label2, labels[1]);
        m_world.labelPairs.push_back(pair);
    }
    m_occupied.assign(m_network.tracks.size(), 0);
    buildTrains();
    buildSignals(textures);
    writeFrame();
}

uint64_t Simulation::frameCapacity() const
{
    const uint64_t trains = m_trains.size();
    const uint64_t signals = m_signals.size();
    return sizeof(BlockHeader) + 8 * FrameListCount + 4096 + trains * sizeof(SdkTrain) +
           signals * (sizeof(StateEntry) + sizeof(TextureEntry)) +
           trains * (reservedAhead + 1) * sizeof(SdkTrackUsage) +
           trains * 2 * sizeof(SdkTrackUsage) + trains * sizeof(PathEntry) +
           trains * pathLength * sizeof(uint64_t);
}

void Simulation::buildTrains()
{
    std::vector<uint32_t> lineTracks;
    for (uint32_t i = 0; i < m_network.tracks.size(); ++i) {
        if (m_network.roles[i] == Network::Role::Line && m_network.links[i].size() >= 2)
            lineTracks.push_back(i);
    }
    const int count = std::max(3, int(m_network.tracks.size() / 50));
    struct Kind
    {
        const char *prefix;
        int base;
        double minSpeed, maxSpeed, minLength, maxLength;
    };
    static const Kind kinds[] = {
        {"TGV", 6100, 55, 83, 200, 400}, {"TER", 860000, 27, 44, 60, 160},
        {"IC", 3500, 38, 55, 150, 300},  {"Fret", 47000, 20, 28, 300, 750},
        {"RER", 100, 25, 33, 110, 225},  {"Intercités", 4000, 38, 55, 150, 300}};
    for (int i = 0; i < count && !lineTracks.empty(); ++i) {
        const Kind &kind = kinds[m_rng.bounded(int(std::size(kinds)))];
        SdkTrain record{};
        record.id = firstTrainId + uint64_t(i);
        std::string name =
            std::string(kind.prefix) + " " + std::to_string(kind.base + m_rng.bounded(900));
        if (i % 17 == 5)
            name += " « Émeraude »";
        copyText(record.name, name.c_str());

        TrainMotion train;
        train.maxSpeed = kind.minSpeed + m_rng.generateDouble() * (kind.maxSpeed - kind.minSpeed);
        train.length = kind.minLength + m_rng.generateDouble() * (kind.maxLength - kind.minLength);
        train.slowTimer = 5 + m_rng.generateDouble() * 30;
        // A few trains are in the game but not on the network (in the depot).
        train.positioned = !(count >= 10 && i % 25 == 12);
        if (train.positioned) {
            const uint32_t track = lineTracks[m_rng.bounded(int(lineTracks.size()))];
            const auto &links = m_network.links[track];
            train.track = links[m_rng.bounded(int(links.size()))];
            enter(train, track);
            train.stopHere = false;
            // Placed, not arrived: the previous track links to this one at one of its ends.
            train.leftPreviousAtEnd =
                m_network.nodes[train.previous].neighbour1 != m_network.tracks[track].id;
            train.fraction = 0.05 + m_rng.generateDouble() * 0.9;
            train.speed = m_rng.generateDouble() * m_network.tracks[track].speedLimit;
            extendRoute(train);
        }
        m_world.trains.push_back(record);
        m_trains.push_back(std::move(train));
    }
}

void Simulation::buildSignals(const SignalTextureSet *textures)
{
    static const uint32_t unknownKinds[] = {7, 9, 12, 250};
    uint32_t index = 0;
    for (uint32_t track = 0; track < m_network.tracks.size(); ++track) {
        if (m_rng.bounded(3) != 0)
            continue;
        SignalInfo info{};
        info.track = track;
        uint32_t kind = 2;
        const int roll = m_rng.bounded(100);
        switch (m_network.roles[track]) {
        case Network::Role::Platform:
            kind = roll < 60 ? 1 : 2;
            break;
        case Network::Role::Throat:
            kind = roll < 50 ? 4 : 2;
            break;
        case Network::Role::Siding:
            kind = roll < 50 ? 5 : 6;
            break;
        case Network::Role::Line:
            kind = roll < 35   ? 2
                   : roll < 55 ? 3
                   : roll < 65 ? 4
                   : roll < 71 ? 5
                   : roll < 79 ? 0
                   : roll < 96 ? 6
                               : unknownKinds[m_rng.bounded(int(std::size(unknownKinds)))];
            break;
        }
        const bool blinking = index % 997 == 7 || index % 997 == 23 || index % 997 == 41;
        if (blinking)
            kind = 2;
        switch (kind) {
        case 0:
            info.role = SignalRole::Fixed, info.fixedState = Clear;
            break;
        case 1:
            info.role = SignalRole::Platform;
            break;
        case 3:
            info.role = SignalRole::Balise;
            break;
        case 4:
            info.role = SignalRole::Route;
            break;
        case 5:
            info.role = SignalRole::Fixed, info.fixedState = Square;
            break;
        case 6:
            info.role = SignalRole::Fixed, info.fixedState = Marker;
            break;
        default:
            info.role = SignalRole::Main;
            break;
        }
        if (blinking)
            info.role = SignalRole::Blinking;

        const int stateRoll = blinking ? 99 : m_rng.bounded(100);
        info.hasState = stateRoll >= 3;
        info.stateFlags = stateRoll < 6   ? SdkStateLabelsValid
                          : stateRoll < 8 ? SdkStateNativeValid
                                          : SdkStateLabelsValid | SdkStateNativeValid;
        if (m_rng.bounded(20) == 0)
            info.stateFlags |= 0x10; // a bit the panel does not read

        const int textureRoll = m_rng.bounded(100);
        switch (m_settings.textures) {
        case Settings::Textures::All:
            info.textureMode = 2;
            break;
        case Settings::Textures::Most:
            info.textureMode = blinking ? 2 : textureRoll < 6 ? 0 : textureRoll < 10 ? 1 : 2;
            break;
        case Settings::Textures::None:
            info.textureMode = 0;
            break;
        }
        if (!textures)
            info.textureMode = 0;

        SdkSignal record{};
        record.id = firstSignalId + index;
        record.trackId = m_network.tracks[track].id;
        record.fraction = 0.1 + 0.8 * m_rng.generateDouble();
        record.sense = m_rng.bounded(2) ? 1 : -1;
        record.kind = kind;
        m_world.signals.push_back(record);
        m_signals.push_back(info);
        ++index;
    }
    if (textures) {
        for (int state = 0; state < SignalTextureSet::stateCount; ++state) {
            TexturePath path{};
            const QByteArray bytes = textures->pathForState(state).toUtf8();
            std::memcpy(path.bytes, bytes.constData(),
                        std::min<size_t>(sizeof path.bytes - 1, size_t(bytes.size())));
            m_world.texturePaths.push_back(path);
        }
        if (!textures->brokenPath().isEmpty() && !m_signals.empty()) {
            TexturePath path{};
            const QByteArray bytes = textures->brokenPath().toUtf8();
            std::memcpy(path.bytes, bytes.constData(),
                        std::min<size_t>(sizeof path.bytes - 1, size_t(bytes.size())));
            m_brokenPath = uint32_t(m_world.texturePaths.size());
            m_world.texturePaths.push_back(path);
            m_signals.front().textureMode = 3;
        }
    }
}

void Simulation::enter(TrainMotion &train, uint32_t next)
{
    const uint64_t fromId = m_network.tracks[train.track].id;
    const SdkTrackNode &node = m_network.nodes[next];
    bool fromStart = true;
    if (node.neighbour1 == fromId) {
        fromStart = true;
    } else if (node.neighbour2 == fromId) {
        fromStart = false;
    } else {
        // Linked from the other side only (a line into a throat): enter at the nearer end.
        const SdkTrackNode &from = m_network.nodes[train.track];
        auto distanceTo = [&](uint64_t id) {
            for (uint32_t other : m_network.links[next]) {
                if (m_network.tracks[other].id == id)
                    return std::hypot(m_network.nodes[other].x - from.x,
                                      m_network.nodes[other].y - from.y);
            }
            return 1e12;
        };
        fromStart = distanceTo(node.neighbour1) <= distanceTo(node.neighbour2);
    }
    train.leftPreviousAtEnd = train.direction > 0;
    train.previous = train.track;
    train.track = next;
    train.fraction = fromStart ? 0.0 : 1.0;
    train.direction = fromStart ? 1 : -1;
    train.stopHere =
        m_network.roles[next] == Network::Role::Platform && m_rng.generateDouble() < 0.7;
}

void Simulation::extendRoute(TrainMotion &train)
{
    while (int(train.route.size()) < pathLength - 1) {
        const uint32_t last = train.route.empty() ? train.track : train.route.back();
        const uint32_t before = train.route.size() >= 2   ? train.route[train.route.size() - 2]
                                : train.route.size() == 1 ? train.track
                                                          : train.previous;
        const Network::Role lastRole = m_network.roles[last];
        std::vector<uint32_t> candidates, preferred;
        for (uint32_t next : m_network.links[last]) {
            const Network::Role role = m_network.roles[next];
            if (next == before || role == Network::Role::Siding)
                continue;
            candidates.push_back(next);
            // Into a station, trains take a platform; out of it, a line.
            if ((lastRole == Network::Role::Throat && role == Network::Role::Platform &&
                 m_network.roles[before] != Network::Role::Platform) ||
                (lastRole == Network::Role::Throat && role == Network::Role::Line &&
                 m_network.roles[before] == Network::Role::Platform))
                preferred.push_back(next);
        }
        const auto &choices = preferred.empty() ? candidates : preferred;
        if (choices.empty()) {
            if (last == before)
                return;                    // an isolated track: nowhere to go
            train.route.push_back(before); // the end of the line: turn back
            continue;
        }
        train.route.push_back(choices[m_rng.bounded(int(choices.size()))]);
    }
}

void Simulation::move(TrainMotion &train, double distance)
{
    while (distance > 0) {
        const double length = m_network.lengths[train.track];
        const double remaining =
            (train.direction > 0 ? 1.0 - train.fraction : train.fraction) * length;
        if (distance < remaining) {
            train.fraction =
                std::clamp(train.fraction + train.direction * distance / length, 0.0, 1.0);
            return;
        }
        distance -= remaining;
        extendRoute(train);
        if (train.route.empty()) {
            train.fraction = train.direction > 0 ? 1.0 : 0.0;
            train.speed = 0;
            return;
        }
        const uint32_t next = train.route.front();
        train.route.pop_front();
        enter(train, next);
        extendRoute(train);
    }
}

void Simulation::step(double seconds)
{
    m_time += seconds;
    for (TrainMotion &train : m_trains) {
        if (!train.positioned)
            continue;
        if (train.dwell > 0) {
            train.dwell -= seconds;
            train.speed = 0;
            continue;
        }
        train.slowTimer -= seconds;
        if (train.slowTimer <= 0) {
            train.slowFactor = 0.55 + 0.45 * m_rng.generateDouble();
            train.slowTimer = 20 + 40 * m_rng.generateDouble();
        }
        const double length = m_network.lengths[train.track];
        double target =
            std::min(train.maxSpeed * train.slowFactor, m_network.tracks[train.track].speedLimit);
        if (!train.route.empty()) {
            // Brake in time for a lower limit on the next track.
            const double remaining =
                (train.direction > 0 ? 1.0 - train.fraction : train.fraction) * length;
            const double nextLimit = m_network.tracks[train.route.front()].speedLimit;
            target = std::min(target, std::sqrt(nextLimit * nextLimit + 2 * braking * remaining));
        }
        if (train.stopHere) {
            const double toMiddle =
                (train.direction > 0 ? 0.5 - train.fraction : train.fraction - 0.5) * length;
            if (toMiddle <= 0.5) {
                train.speed = 0;
                train.stopHere = false;
                train.dwell = 8 + 12 * m_rng.generateDouble();
                continue;
            }
            target = std::min(target, std::sqrt(2 * braking * toMiddle) + 0.3);
        }
        if (train.speed < target)
            train.speed = std::min(target, train.speed + acceleration * seconds);
        else
            train.speed = std::max(target, train.speed - braking * seconds);
        move(train, train.speed * seconds);
    }
    writeFrame();
}

int Simulation::signalState(const SignalInfo &signal) const
{
    const bool occupied = m_occupied[signal.track] != 0;
    auto neighbourOccupied = [&] {
        for (uint32_t other : m_network.links[signal.track]) {
            if (m_occupied[other])
                return true;
        }
        return false;
    };
    switch (signal.role) {
    case SignalRole::Main:
        return occupied ? Stop : neighbourOccupied() ? Warning : Clear;
    case SignalRole::Platform:
        return occupied ? Square : Clear;
    case SignalRole::Balise:
        return occupied ? BaliseActive : BaliseIdle;
    case SignalRole::Route:
        return occupied || neighbourOccupied() ? Slow : SlowReminder;
    case SignalRole::Fixed:
        return signal.fixedState;
    case SignalRole::Blinking:
        return (int64_t(std::floor(m_time)) % 2) == 0 ? BlinkOn : BlinkOff;
    }
    return Clear;
}

void Simulation::writeFrame()
{
    std::fill(m_occupied.begin(), m_occupied.end(), 0);
    m_world.reservations.clear();
    m_world.occupations.clear();
    m_world.paths.clear();
    m_world.pathTracks.clear();
    m_world.signalStates.clear();
    m_world.signalTextures.clear();

    for (size_t i = 0; i < m_trains.size(); ++i) {
        const TrainMotion &train = m_trains[i];
        SdkTrain &record = m_world.trains[i];
        PathEntry path{};
        path.trainId = record.id;
        path.first = m_world.pathTracks.size();
        if (!train.positioned) {
            record.flags = SdkTrainPresent;
            m_world.paths.push_back(path); // no path for a train off the network
            continue;
        }
        const SdkTrack &track = m_network.tracks[train.track];
        record.flags = SdkTrainPresent | SdkTrainPositioned;
        record.trackId = track.id;
        record.speed = train.speed;
        record.fraction = train.fraction;
        record.sense = train.direction;

        path.hasPath = 1;
        m_world.pathTracks.push_back(track.id);
        for (size_t r = 0; r < train.route.size() && r + 1 < size_t(pathLength); ++r)
            m_world.pathTracks.push_back(m_network.tracks[train.route[r]].id);
        path.count = uint32_t(m_world.pathTracks.size() - path.first);
        m_world.paths.push_back(path);

        // Ahead of the head: the rest of this track, then whole tracks of the route.
        const double f = train.fraction;
        m_world.reservations.push_back(
            {record.id, track.id, train.direction > 0 ? f : 0.0, train.direction > 0 ? 1.0 : f});
        for (size_t r = 0; r < train.route.size() && r < size_t(reservedAhead); ++r)
            m_world.reservations.push_back({record.id, m_network.tracks[train.route[r]].id, 0, 1});

        // Under the train: from the head back by its length, onto the previous track if needed.
        const double length = m_network.lengths[train.track];
        const double behind = train.direction > 0 ? f * length : (1 - f) * length;
        const double here = std::min(behind, train.length);
        const double tail =
            std::clamp(train.direction > 0 ? f - here / length : f + here / length, 0.0, 1.0);
        m_world.occupations.push_back({record.id, track.id, std::min(f, tail), std::max(f, tail)});
        m_occupied[train.track] = 1;
        if (train.length > behind && train.previous != train.track) {
            const double previousLength = m_network.lengths[train.previous];
            const double rest = std::min(1.0, (train.length - behind) / previousLength);
            const bool leftAtEnd = train.leftPreviousAtEnd;
            m_world.occupations.push_back({record.id, m_network.tracks[train.previous].id,
                                           leftAtEnd ? 1.0 - rest : 0.0, leftAtEnd ? 1.0 : rest});
            m_occupied[train.previous] = 1;
        }
    }

    for (size_t i = 0; i < m_signals.size(); ++i) {
        const SignalInfo &signal = m_signals[i];
        const int state = signalState(signal);
        const uint64_t id = m_world.signals[i].id;
        if (signal.hasState)
            m_world.signalStates.push_back({id, signal.stateFlags, state, uint32_t(state), 0});
        switch (signal.textureMode) {
        case 1:
            m_world.signalTextures.push_back({id, 0, uint32_t(state)});
            break;
        case 2:
            m_world.signalTextures.push_back({id, SdkTexturePathValid, uint32_t(state)});
            break;
        case 3:
            m_world.signalTextures.push_back({id, SdkTexturePathValid, m_brokenPath});
            break;
        default:
            break;
        }
    }
}
