#include "Simulation.h"

#include "SignalTextureSet.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>

using namespace SharedWorld;

namespace {

constexpr uint64_t firstTrainId = 0x70001;
constexpr uint64_t firstSignalId = 0x90001;
constexpr double acceleration = 0.6; // m/s²
constexpr double braking = 0.9;      // m/s²
constexpr double stopMargin = 1.0;   // metres before a stop point where a train counts as there
constexpr int maxTrail = 16;         // tracks behind the head's one that a train may cover

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
    m_holder.assign(m_network.tracks.size(), -1);
    setUpWorld(textures);
    buildSignals(textures);
    indexMainSignals();
    buildTrains();
    writeFrame();
}

Simulation::Simulation(const World &scenario, const ScenarioRun &run,
                       const SignalTextureSet *textures)
    : m_rng(0x5A17u), m_world(scenario)
{
    // The network of the scenario's tracks, each with the node of its id (if any).
    m_network.tracks = scenario.tracks;
    std::unordered_map<uint64_t, SdkTrackNode> nodeOf;
    for (const SdkTrackNode &node : scenario.nodes)
        nodeOf.emplace(node.id, node);
    std::unordered_map<uint64_t, uint32_t> indexOf;
    for (const SdkTrack &track : scenario.tracks) {
        const auto it = nodeOf.find(track.id);
        m_network.nodes.push_back(it != nodeOf.end() ? it->second
                                                     : SdkTrackNode{track.id, 0, 0, 0, 0});
        indexOf.emplace(track.id, uint32_t(indexOf.size()));
    }
    m_network.roles.assign(m_network.tracks.size(), Network::Role::Line);
    m_network.link();
    m_holder.assign(m_network.tracks.size(), -1);
    auto index = [&](uint64_t id) {
        const auto it = indexOf.find(id);
        return it == indexOf.end() ? Network::none : it->second;
    };
    m_labelBase = uint32_t(m_world.labelPairs.size());
    m_textureBase = uint32_t(m_world.texturePaths.size());
    setUpWorld(textures);

    for (size_t i = 0; i < m_world.trains.size(); ++i) {
        const SdkTrain &record = m_world.trains[i];
        const ScenarioRun::Train &script = run.trains.at(i);
        TrainMotion train;
        train.scripted = true;
        train.track = index(record.trackId);
        train.positioned = (record.flags & SdkTrainPositioned) && train.track != Network::none &&
                           m_holder[train.track] < 0;
        if (train.positioned) {
            train.previous = train.track;
            train.fraction = std::clamp(record.fraction, 0.0, 1.0);
            train.direction = record.sense > 0 ? 1 : -1;
            train.speed = record.speed;
            train.maxSpeed = script.maxSpeed;
            train.length = script.length;
            for (uint64_t id : script.route) {
                if (index(id) != Network::none)
                    train.route.push_back(index(id));
            }
            if (script.loop && !train.route.empty()) {
                train.loop.push_back(train.track);
                train.loop.insert(train.loop.end(), train.route.begin(), train.route.end());
            }
            if (train.route.empty())
                train.maxSpeed = train.speed = 0; // nowhere to go: it stands
            for (const auto &stop : script.stops) {
                if (index(stop.first) != Network::none)
                    train.stops.emplace_back(index(stop.first), stop.second);
            }
            arrive(train);
            m_holder[train.track] = int32_t(i);
            // Its body lies behind its head, on the tracks it came from, free ones only.
            double covered = (train.direction > 0 ? train.fraction : 1.0 - train.fraction) *
                             m_network.lengths[train.track];
            uint32_t ahead = train.track;
            uint32_t behind =
                train.direction > 0 ? m_network.firstEnd[ahead] : m_network.secondEnd[ahead];
            while (covered < train.length && behind != Network::none && m_holder[behind] < 0 &&
                   int(train.trail.size()) < maxTrail) {
                const int direction = m_network.secondEnd[behind] == ahead ? 1 : -1;
                train.trail.push_back({behind, direction});
                m_holder[behind] = int32_t(i);
                covered += m_network.lengths[behind];
                ahead = behind;
                behind = direction > 0 ? m_network.firstEnd[ahead] : m_network.secondEnd[ahead];
            }
            if (!train.trail.empty())
                train.previous = train.trail.front().track;
        }
        m_trains.push_back(std::move(train));
    }

    // Main signals move with the trains; the others keep the states and images given.
    for (const SdkSignal &record : m_world.signals) {
        SignalInfo info{};
        info.track = index(record.trackId);
        const bool main = (record.kind == 2 || record.kind > 6) && info.track != Network::none;
        info.role = main ? SignalRole::Main : SignalRole::Given;
        info.hasState = main;
        info.stateFlags = SdkStateLabelsValid | SdkStateNativeValid;
        info.textureMode = main && textures ? 2 : 0;
        m_signals.push_back(info);
    }
    auto mainSignal = [&](uint64_t id) {
        for (size_t i = 0; i < m_signals.size(); ++i) {
            if (m_world.signals[i].id == id && m_signals[i].role == SignalRole::Main)
                return true;
        }
        return false;
    };
    for (const StateEntry &state : scenario.signalStates) {
        if (!mainSignal(state.signalId))
            m_givenStates.push_back(state);
    }
    for (const TextureEntry &texture : scenario.signalTextures) {
        if (!textures || !mainSignal(texture.signalId))
            m_givenTextures.push_back(texture);
    }
    indexMainSignals();
    writeFrame();
}

// The labels of the states this simulation shows, and their images.
void Simulation::setUpWorld(const SignalTextureSet *textures)
{
    for (const auto &labels : stateLabels) {
        LabelPair pair{};
        copyText(pair.label1, labels[0]);
        copyText(pair.label2, labels[1]);
        m_world.labelPairs.push_back(pair);
    }
    if (!textures)
        return;
    for (int state = 0; state < SignalTextureSet::stateCount; ++state) {
        TexturePath path{};
        const QByteArray bytes = textures->pathForState(state).toUtf8();
        std::memcpy(path.bytes, bytes.constData(),
                    std::min<size_t>(sizeof path.bytes - 1, size_t(bytes.size())));
        m_world.texturePaths.push_back(path);
    }
}

uint64_t Simulation::frameCapacity() const
{
    const uint64_t trains = m_trains.size();
    const uint64_t signals = m_signals.size() + m_givenStates.size() + m_givenTextures.size();
    return sizeof(BlockHeader) + 8 * FrameListCount + 4096 + trains * sizeof(SdkTrain) +
           signals * (sizeof(StateEntry) + sizeof(TextureEntry)) +
           trains * pathLength * sizeof(SdkTrackUsage) +
           trains * (maxTrail + 1) * sizeof(SdkTrackUsage) + trains * sizeof(PathEntry) +
           trains * pathLength * sizeof(uint64_t);
}

void Simulation::buildTrains()
{
    std::vector<uint32_t> lineTracks;
    for (uint32_t i = 0; i < m_network.tracks.size(); ++i) {
        if (m_network.roles[i] == Network::Role::Line && m_network.links[i].size() >= 2 &&
            m_network.firstEnd[i] != Network::none)
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
            // On a line track, running the way of its line, with the rest of its block free.
            const int self = int(m_trains.size());
            train.positioned = false;
            for (int attempt = 0; attempt < 50 && !train.positioned; ++attempt) {
                const uint32_t track = lineTracks[m_rng.bounded(int(lineTracks.size()))];
                if (m_holder[track] >= 0)
                    continue;
                train.route.clear();
                train.track = m_network.firstEnd[track];
                enter(train, track);
                train.trail.clear();
                train.stopHere = false;
                train.fraction = 0.05 + m_rng.generateDouble() * 0.9;
                train.speed = m_rng.generateDouble() * m_network.tracks[track].speedLimit;
                extendRoute(train);
                m_holder[track] = self;
                train.positioned = reserveBlock(train, self, 0);
                if (!train.positioned)
                    m_holder[track] = -1;
            }
        }
        m_world.trains.push_back(record);
        m_trains.push_back(std::move(train));
    }
}

void Simulation::addSignal(uint32_t track, uint32_t kind, double fraction, int sense, bool blinking)
{
    SignalInfo info{};
    info.track = track;
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
    info.hasState = stateRoll >= 3 || info.role == SignalRole::Main;
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
        // Main signals always show their state in an image.
        info.textureMode = blinking || info.role == SignalRole::Main ? 2
                           : textureRoll < 6                         ? 0
                           : textureRoll < 10                        ? 1
                                                                     : 2;
        break;
    case Settings::Textures::None:
        info.textureMode = 0;
        break;
    }

    SdkSignal record{};
    record.id = firstSignalId + m_signals.size();
    record.trackId = m_network.tracks[track].id;
    record.fraction = fraction;
    record.sense = sense;
    record.kind = kind;
    m_world.signals.push_back(record);
    m_signals.push_back(info);
}

// Signals of every kind here and there, with the main signals where blocks end: on line tracks
// facing the traffic, at both ends of every platform, never on a throat (a train must not wait
// inside a junction).
void Simulation::buildSignals(const SignalTextureSet *textures)
{
    static const uint32_t unknownKinds[] = {7, 9, 12, 250};
    for (uint32_t track = 0; track < m_network.tracks.size(); ++track) {
        const Network::Role role = m_network.roles[track];
        bool mainPlaced = false;
        // Lines have their main signals besides: fewer of the others there.
        if (m_rng.bounded(role == Network::Role::Line ? 6 : 3) == 0) {
            uint32_t kind = 2;
            const int roll = m_rng.bounded(100);
            switch (role) {
            case Network::Role::Platform:
                kind = 1;
                break;
            case Network::Role::Throat:
                kind = roll < 50 ? 4 : 3;
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
            const size_t index = m_signals.size();
            const bool blinking = index % 997 == 7 || index % 997 == 23 || index % 997 == 41;
            if (blinking)
                kind = 2;
            const double fraction = 0.1 + 0.8 * m_rng.generateDouble();
            const int randomSense = m_rng.bounded(2) ? 1 : -1;
            // On a line, signals face its traffic, but a no-entry sign faces the wrong way.
            const int sense = role != Network::Role::Line ? randomSense : kind == 5 ? -1 : 1;
            mainPlaced = role == Network::Role::Line && !blinking && (kind == 2 || kind > 6);
            addSignal(track, kind, fraction, sense, blinking);
        }
        if (role == Network::Role::Platform) {
            addSignal(track, 2, 0.9, 1, false);
            addSignal(track, 2, 0.1, -1, false);
        } else if (role == Network::Role::Line && m_network.blockEnd[track] && !mainPlaced) {
            addSignal(track, 2, 0.6 + 0.3 * m_rng.generateDouble(), 1, false);
        }
    }
    for (SignalInfo &info : m_signals) {
        if (!textures)
            info.textureMode = 0;
    }
    if (textures && !textures->brokenPath().isEmpty() && !m_signals.empty()) {
        TexturePath path{};
        const QByteArray bytes = textures->brokenPath().toUtf8();
        std::memcpy(path.bytes, bytes.constData(),
                    std::min<size_t>(sizeof path.bytes - 1, size_t(bytes.size())));
        m_brokenPath = uint32_t(m_world.texturePaths.size());
        m_world.texturePaths.push_back(path);
        m_signals.front().textureMode = 3;
    }
}

void Simulation::indexMainSignals()
{
    m_mainSignals.assign(m_network.tracks.size(), {});
    m_signalNext.assign(m_signals.size(), Network::none);
    for (uint32_t i = 0; i < m_signals.size(); ++i) {
        if (m_signals[i].role != SignalRole::Main)
            continue;
        const uint32_t track = m_signals[i].track;
        m_mainSignals[track].push_back(i);
        m_signalNext[i] =
            m_world.signals[i].sense > 0 ? m_network.secondEnd[track] : m_network.firstEnd[track];
    }
    // In the order a train running at +1 meets them.
    for (auto &signals : m_mainSignals) {
        std::sort(signals.begin(), signals.end(), [&](uint32_t a, uint32_t b) {
            return m_world.signals[a].fraction < m_world.signals[b].fraction;
        });
    }
    m_shown.assign(m_signals.size(), -1);
}

// The sense in which a train coming from `from` runs over `to`.
int Simulation::entryDirection(uint32_t from, uint32_t to) const
{
    if (m_network.firstEnd[to] == from)
        return 1;
    if (m_network.secondEnd[to] == from)
        return -1;
    // Linked from the other side only (a line into a throat): enter at the nearer end.
    const SdkTrackNode &origin = m_network.nodes[from];
    auto distanceTo = [&](uint32_t end) {
        if (end == Network::none)
            return 1e12;
        return std::hypot(m_network.nodes[end].x - origin.x, m_network.nodes[end].y - origin.y);
    };
    return distanceTo(m_network.firstEnd[to]) <= distanceTo(m_network.secondEnd[to]) ? 1 : -1;
}

void Simulation::enter(TrainMotion &train, uint32_t next)
{
    const int direction = entryDirection(train.track, next);
    train.trail.push_front({train.track, train.direction});
    train.previous = train.track;
    train.track = next;
    train.fraction = direction > 0 ? 0.0 : 1.0;
    train.direction = direction;
    arrive(train);
}

// Whether and how long the train stops on the track it has just entered.
void Simulation::arrive(TrainMotion &train)
{
    const uint32_t here = train.track;
    if (train.scripted) {
        const auto it = std::find_if(train.stops.begin(), train.stops.end(),
                                     [&](const auto &stop) { return stop.first == here; });
        train.stopHere = it != train.stops.end();
        train.stopSeconds = train.stopHere ? it->second : 0;
        return;
    }
    // A train at a platform is wholly on it.
    if (m_network.roles[here] == Network::Role::Platform) {
        releaseTrail(train);
        train.stopHere = m_rng.generateDouble() < 0.7;
        train.stopSeconds = 8 + 12 * m_rng.generateDouble();
    } else {
        train.stopHere = false;
    }
}

void Simulation::extendRoute(TrainMotion &train)
{
    if (train.scripted) {
        while (!train.loop.empty() && int(train.route.size()) < pathLength - 1) {
            train.route.push_back(train.loop[train.loopNext]);
            train.loopNext = (train.loopNext + 1) % train.loop.size();
        }
        return;
    }
    using Role = Network::Role;
    auto hasWayOut = [&](uint32_t throat) {
        for (uint32_t next : m_network.links[throat]) {
            if (m_network.roles[next] == Role::Line && m_network.firstEnd[next] == throat)
                return true;
        }
        return false;
    };
    while (int(train.route.size()) < pathLength - 1) {
        const uint32_t last = train.route.empty() ? train.track : train.route.back();
        const uint32_t before = train.route.size() >= 2   ? train.route[train.route.size() - 2]
                                : train.route.size() == 1 ? train.track
                                                          : train.previous;
        const Role lastRole = m_network.roles[last];
        std::vector<uint32_t> candidates;
        for (uint32_t next : m_network.links[last]) {
            const Role role = m_network.roles[next];
            if (next == before || role == Role::Siding)
                continue;
            // Lines are run one way; into a station trains take a platform, out of it a line.
            if (role == Role::Line && lastRole != Role::Line && m_network.firstEnd[next] != last)
                continue;
            if (role == Role::Line && lastRole == Role::Line && m_network.firstEnd[next] != last)
                continue;
            if (lastRole == Role::Throat &&
                (role == Role::Platform) == (m_network.roles[before] == Role::Platform))
                continue;
            if (lastRole == Role::Platform && role == Role::Throat && !hasWayOut(next))
                continue;
            candidates.push_back(next);
        }
        if (candidates.empty()) {
            if (last == before)
                return;                    // an isolated track: nowhere to go
            train.route.push_back(before); // the end of the line: turn back
            continue;
        }
        train.route.push_back(candidates[m_rng.bounded(int(candidates.size()))]);
    }
}

void Simulation::releaseTrail(TrainMotion &train)
{
    const int self = int(&train - m_trains.data());
    for (const Pass &pass : train.trail) {
        if (m_holder[pass.track] == self && pass.track != train.track)
            m_holder[pass.track] = -1;
    }
    train.trail.clear();
}

// The train turns back where it stands: it frees what lies behind it.
void Simulation::reverse(TrainMotion &train)
{
    releaseTrail(train);
    train.direction = -train.direction;
    train.previous = train.track;
    train.recheckIn = 0;
    train.clearedSignals.clear();
}

// Frees the tracks that the tail has left.
void Simulation::releaseBehind(TrainMotion &train, int self)
{
    const double length = m_network.lengths[train.track];
    double covered = (train.direction > 0 ? train.fraction : 1.0 - train.fraction) * length;
    size_t keep = 0;
    while (keep < train.trail.size() && covered < train.length && keep < size_t(maxTrail)) {
        covered += m_network.lengths[train.trail[keep].track];
        ++keep;
    }
    while (train.trail.size() > keep) {
        const uint32_t track = train.trail.back().track;
        train.trail.pop_back();
        const bool stillUnder =
            track == train.track || std::any_of(train.trail.begin(), train.trail.end(),
                                                [&](const Pass &p) { return p.track == track; });
        if (m_holder[track] == self && !stillUnder)
            m_holder[track] = -1;
    }
}

// Where the train's movement authority ends: the first main signal ahead beyond which it holds
// nothing, or else the end of the tracks it holds. *firstUnheld: the route index of the first
// track ahead that it does not hold (the route's size when it holds all).
void Simulation::lookAhead(TrainMotion &train, int self, size_t *firstUnheld)
{
    train.clearedSignals.clear();
    train.stopSignal = -1;
    train.recheckIn = 0;
    double distance = 0;
    uint32_t track = train.track;
    int direction = train.direction;
    double from = train.fraction;
    for (size_t i = 0;; ++i) {
        const double length = m_network.lengths[track];
        const bool beyondHeld = i < train.route.size() && m_holder[train.route[i]] == self;
        const auto &signals = m_mainSignals[track];
        for (size_t k = 0; k < signals.size(); ++k) {
            const uint32_t signal = signals[direction > 0 ? k : signals.size() - 1 - k];
            const SdkSignal &record = m_world.signals[signal];
            const double ahead = direction > 0 ? record.fraction - from : from - record.fraction;
            if ((record.sense > 0 ? 1 : -1) != direction || ahead < 0)
                continue;
            if (!beyondHeld) {
                train.stopSignal = int(signal);
                train.stopDistance = distance + ahead * length;
                *firstUnheld = i;
                return;
            }
            if (train.clearedSignals.empty())
                train.recheckIn = distance + ahead * length + 0.01; // once it has passed it
            train.clearedSignals.push_back(signal);
        }
        distance += (direction > 0 ? 1.0 - from : from) * length;
        if (!beyondHeld) {
            train.stopDistance = distance;
            *firstUnheld = i;
            return;
        }
        direction = entryDirection(track, train.route[i]);
        track = train.route[i];
        from = direction > 0 ? 0.0 : 1.0;
    }
}

// Reserves the block that starts at route index `from`: its tracks up to the next one with a
// main signal facing the train, all at once or none. *blocker: the train that holds the first
// track refused.
bool Simulation::reserveBlock(TrainMotion &train, int self, size_t from, int32_t *blocker)
{
    size_t end = from;
    uint32_t previous = from == 0 ? train.track : train.route[from - 1];
    for (; end < train.route.size(); ++end) {
        uint32_t &track = train.route[end];
        // Into a station, any free platform will do.
        if (m_holder[track] >= 0 && m_holder[track] != self && !train.scripted &&
            m_network.roles[track] == Network::Role::Platform &&
            m_network.roles[previous] == Network::Role::Throat) {
            for (uint32_t other : m_network.links[previous]) {
                if (m_network.roles[other] == Network::Role::Platform && m_holder[other] < 0) {
                    track = other;
                    break;
                }
            }
        }
        if (m_holder[track] >= 0 && m_holder[track] != self) {
            if (blocker)
                *blocker = m_holder[track];
            return false;
        }
        const int direction = entryDirection(previous, track);
        previous = track;
        const auto &signals = m_mainSignals[track];
        if (std::any_of(signals.begin(), signals.end(), [&](uint32_t s) {
                return (m_world.signals[s].sense > 0 ? 1 : -1) == direction;
            }))
            break;
    }
    for (size_t i = from; i <= end && i < train.route.size(); ++i)
        m_holder[train.route[i]] = self;
    return true;
}

void Simulation::move(TrainMotion &train, double distance, int self)
{
    while (distance > 0) {
        const double length = m_network.lengths[train.track];
        const double remaining =
            (train.direction > 0 ? 1.0 - train.fraction : train.fraction) * length;
        if (distance < remaining) {
            train.fraction =
                std::clamp(train.fraction + train.direction * distance / length, 0.0, 1.0);
            break;
        }
        distance -= remaining;
        extendRoute(train);
        if (train.route.empty() || m_holder[train.route.front()] != self) {
            train.fraction = train.direction > 0 ? 1.0 : 0.0;
            train.speed = 0;
            break;
        }
        const uint32_t next = train.route.front();
        train.route.pop_front();
        enter(train, next);
        if (int(train.trail.size()) > maxTrail) { // followed no further: freed
            const uint32_t last = train.trail.back().track;
            train.trail.pop_back();
            if (m_holder[last] == self && last != train.track)
                m_holder[last] = -1;
        }
        extendRoute(train);
        // Turning back: stop on this track first.
        if (!train.route.empty() && train.route.front() == train.previous && !train.scripted) {
            train.stopHere = true;
            train.stopSeconds = std::max(train.stopSeconds, 5.0);
        }
    }
    releaseBehind(train, self);
}

void Simulation::step(double seconds)
{
    m_time += seconds;
    for (size_t index = 0; index < m_trains.size(); ++index) {
        TrainMotion &train = m_trains[index];
        const int self = int(index);
        if (!train.positioned)
            continue;
        if (train.dwell > 0) {
            train.blockedBy = -1;
            train.dwell -= seconds;
            train.speed = 0;
            if (train.dwell <= 0 && !train.route.empty() && train.route.front() == train.previous &&
                train.previous != train.track)
                reverse(train);
            continue;
        }
        // What lies ahead changes only through the train itself: it looks again once it has passed
        // a signal, or while it waits for a block.
        size_t firstUnheld = 0;
        const bool look = train.recheckIn <= 0 || train.clearedSignals.empty();
        if (look)
            lookAhead(train, self, &firstUnheld);
        // It asks for the next block once it has passed the signal before it, unless it is to
        // stop on this track first (a platform, or to turn back).
        const bool turnsBack = !train.scripted && !train.route.empty() &&
                               train.route.front() == train.previous &&
                               train.previous != train.track;
        train.blockedBy = -1;
        if (look && train.clearedSignals.empty() && !train.stopHere && !turnsBack &&
            firstUnheld < train.route.size() &&
            reserveBlock(train, self, firstUnheld, &train.blockedBy))
            lookAhead(train, self, &firstUnheld);

        train.slowTimer -= seconds;
        if (train.slowTimer <= 0) {
            train.slowFactor = train.scripted ? 1 : 0.55 + 0.45 * m_rng.generateDouble();
            train.slowTimer = 20 + 40 * m_rng.generateDouble();
        }
        const double length = m_network.lengths[train.track];
        double target =
            std::min(train.maxSpeed * train.slowFactor, m_network.tracks[train.track].speedLimit);
        if (train.scripted && m_network.tracks[train.track].speedLimit <= 0)
            target = train.maxSpeed;
        if (!train.route.empty()) {
            // Brake in time for a lower limit on the next track.
            const double remaining =
                (train.direction > 0 ? 1.0 - train.fraction : train.fraction) * length;
            const double nextLimit = m_network.tracks[train.route.front()].speedLimit;
            if (nextLimit > 0)
                target =
                    std::min(target, std::sqrt(nextLimit * nextLimit + 2 * braking * remaining));
        }
        double stopDistance = train.stopDistance;
        if (train.stopHere) {
            const double toMiddle =
                (train.direction > 0 ? 0.5 - train.fraction : train.fraction - 0.5) * length;
            if (toMiddle <= stopMargin) {
                train.speed = 0;
                train.stopHere = false;
                train.dwell = train.stopSeconds < 0 ? std::numeric_limits<double>::infinity()
                                                    : train.stopSeconds;
                continue;
            }
            stopDistance = std::min(stopDistance, toMiddle);
        }
        if (stopDistance <= stopMargin) {
            train.speed = 0;
            continue;
        }
        const double room = std::sqrt(2 * braking * (stopDistance - stopMargin)) + 0.3;
        target = std::min(target, room);
        if (train.speed < target)
            train.speed = std::min(target, train.speed + acceleration * seconds);
        else
            train.speed = std::max(target, train.speed - braking * seconds);
        train.speed = std::min(train.speed, room); // brakes harder when it must
        const double moved = std::min(train.speed * seconds, stopDistance);
        move(train, moved, self);
        train.stopDistance -= moved;
        train.recheckIn -= moved;
    }
    writeFrame();
}

std::vector<int32_t> Simulation::waits() const
{
    std::vector<int32_t> result(m_trains.size(), -1);
    for (size_t i = 0; i < m_trains.size(); ++i) {
        const TrainMotion &train = m_trains[i];
        if (train.positioned && train.speed == 0)
            result[i] = train.blockedBy;
    }
    return result;
}

int Simulation::signalState(const SignalInfo &signal, size_t index) const
{
    const uint32_t track = signal.track;
    const bool occupied = m_holder[track] >= 0;
    auto neighbourOccupied = [&] {
        for (uint32_t other : m_network.links[track]) {
            if (m_holder[other] >= 0)
                return true;
        }
        return false;
    };
    switch (signal.role) {
    case SignalRole::Main: {
        if (m_shown[index] >= 0)
            return m_shown[index];
        // No train before it: at stop while its track or the next one is held.
        const uint32_t next = m_signalNext[index];
        return occupied || (next != Network::none && m_holder[next] >= 0) ? Stop : Clear;
    }
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
    case SignalRole::Given:
        break;
    }
    return Clear;
}

void Simulation::writeFrame()
{
    m_world.reservations.clear();
    m_world.occupations.clear();
    m_world.paths.clear();
    m_world.pathTracks.clear();
    m_world.signalStates.clear();
    m_world.signalTextures.clear();
    std::fill(m_shown.begin(), m_shown.end(), int8_t(-1));

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

        // Ahead of the head: the rest of this track, then the tracks of the route it holds.
        const double f = train.fraction;
        m_world.reservations.push_back(
            {record.id, track.id, train.direction > 0 ? f : 0.0, train.direction > 0 ? 1.0 : f});
        for (size_t r = 0; r + 1 < size_t(pathLength) && r < train.route.size() &&
                           m_holder[train.route[r]] == int32_t(i);
             ++r)
            m_world.reservations.push_back({record.id, m_network.tracks[train.route[r]].id, 0, 1});

        // Under the train: from the head back by its length, over the tracks it came from.
        const double length = m_network.lengths[train.track];
        const double behind = train.direction > 0 ? f * length : (1 - f) * length;
        const double here = std::min(behind, train.length);
        const double tail =
            std::clamp(train.direction > 0 ? f - here / length : f + here / length, 0.0, 1.0);
        m_world.occupations.push_back({record.id, track.id, std::min(f, tail), std::max(f, tail)});
        double left = train.length - behind;
        for (const Pass &pass : train.trail) {
            if (left <= 0)
                break;
            const double rest = std::min(1.0, left / m_network.lengths[pass.track]);
            m_world.occupations.push_back({record.id, m_network.tracks[pass.track].id,
                                           pass.direction > 0 ? 1.0 - rest : 0.0,
                                           pass.direction > 0 ? 1.0 : rest});
            left -= m_network.lengths[pass.track];
        }

        // The main signals ahead: clear up to the last one it may pass, which warns of the
        // stop at the next.
        for (size_t s = 0; s < train.clearedSignals.size(); ++s)
            m_shown[train.clearedSignals[s]] =
                s + 1 == train.clearedSignals.size() ? Warning : Clear;
        if (train.stopSignal >= 0)
            m_shown[train.stopSignal] = Stop;
    }

    for (size_t i = 0; i < m_signals.size(); ++i) {
        const SignalInfo &signal = m_signals[i];
        if (signal.role == SignalRole::Given)
            continue;
        const int state = signalState(signal, i);
        const uint64_t id = m_world.signals[i].id;
        if (signal.hasState)
            m_world.signalStates.push_back(
                {id, signal.stateFlags, state, m_labelBase + uint32_t(state), 0});
        switch (signal.textureMode) {
        case 1:
            m_world.signalTextures.push_back({id, 0, m_textureBase + uint32_t(state)});
            break;
        case 2:
            m_world.signalTextures.push_back(
                {id, SdkTexturePathValid, m_textureBase + uint32_t(state)});
            break;
        case 3:
            m_world.signalTextures.push_back({id, SdkTexturePathValid, m_brokenPath});
            break;
        default:
            break;
        }
    }
    m_world.signalStates.insert(m_world.signalStates.end(), m_givenStates.begin(),
                                m_givenStates.end());
    m_world.signalTextures.insert(m_world.signalTextures.end(), m_givenTextures.begin(),
                                  m_givenTextures.end());
}
