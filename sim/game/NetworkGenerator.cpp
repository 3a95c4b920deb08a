#include "NetworkGenerator.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>

namespace {

constexpr uint64_t firstTrackId = 0x10001;
constexpr uint64_t firstStationId = 0x500;
constexpr double stationSpacing = 6000.0; // metres between neighbouring stations
constexpr double throatOffset = 160.0;
constexpr double platformSpacing = 35.0;
constexpr int sidingEvery = 12; // about one siding per this many line tracks

struct Point
{
    double x = 0;
    double y = 0;
};

double distance(Point a, Point b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

const char *const namePrefixes[] = {"Saint-", "Mont",      "Val-",  "Bourg-", "Port-", "Pont-",
                                    "Ville",  "Fontaine-", "Roche", "Bois-",  "Champ", "Neuf"};
const char *const nameStems[] = {"Amand",   "Aubin",  "Brévent",  "Cléry",   "Dore",   "Écluse",
                                 "Faverge", "Givry",  "Honfleur", "Isère",   "Jarnac", "Loire",
                                 "Marne",   "Noyer",  "Orbec",    "Perche",  "Quercy", "Rhône",
                                 "Sénart",  "Thiers", "Ussel",    "Vézelay", "Yonne",  "Zélande"};
const char *const nameSuffixes[] = {"",      "",     " Ville",     " Centre", "-sur-Mer",
                                    " Nord", " Sud", "-les-Bains", " Triage"};

template <typename T, size_t N> const T &pick(QRandomGenerator &rng, const T (&items)[N])
{
    return items[rng.bounded(int(N))];
}

void setName(char (&array)[257], const std::string &name)
{
    std::memset(array, 0, sizeof array);
    std::memcpy(array, name.data(), std::min(name.size(), sizeof array - 1));
}

class Builder
{
public:
    Builder(uint32_t seed, int trackTarget) : m_rng(seed), m_target(std::max(60, trackTarget)) {}

    Network build()
    {
        placeStations();
        connectStations();
        const double lineLength = totalEdgeLength();
        // Lines take what the stations and sidings leave of the target.
        const double stationTracks = 2.0 + 3.0;
        const double lineTracks = std::max(double(m_edges.size()) * 4,
                                           (m_target - stationTracks * m_stationPoints.size()) *
                                               sidingEvery / (sidingEvery + 2.0));
        m_segmentLength = 2 * lineLength / lineTracks; // two tracks per line
        for (size_t s = 0; s < m_stationPoints.size(); ++s)
            buildStation(s);
        for (const auto &edge : m_edges)
            buildLine(edge.first, edge.second);
        finish();
        return std::move(m_network);
    }

private:
    uint32_t addTrack(Point at, uint64_t stationId, double limit, Network::Role role)
    {
        const uint32_t index = uint32_t(m_network.tracks.size());
        const uint64_t id = firstTrackId + index;
        m_network.tracks.push_back({id, stationId, limit});
        m_network.nodes.push_back({id, 0, 0, at.x, at.y});
        m_network.roles.push_back(role);
        m_points.push_back(at);
        return index;
    }

    uint64_t idOf(uint32_t index) const { return m_network.tracks[index].id; }

    void placeStations()
    {
        const int count = std::max(4, m_target / 45);
        const int columns = int(std::ceil(std::sqrt(count * 1.2)));
        for (int i = 0; i < count; ++i) {
            const int column = i % columns;
            const int row = i / columns;
            const double jitter = stationSpacing * 0.3;
            m_stationPoints.push_back(
                {column * stationSpacing + (m_rng.generateDouble() * 2 - 1) * jitter,
                 row * stationSpacing * 0.9 + (m_rng.generateDouble() * 2 - 1) * jitter});
            SdkStation station{};
            station.id = firstStationId + uint64_t(i);
            // A few stations carry no name; the panel names them after their id.
            if (m_rng.bounded(15) != 0) {
                std::string name = pick(m_rng, namePrefixes);
                name += pick(m_rng, nameStems);
                name += pick(m_rng, nameSuffixes);
                setName(station.name, name);
            }
            m_network.stations.push_back(station);
        }
    }

    // A spanning tree over the nearest stations, then a few more links to close loops.
    void connectStations()
    {
        const size_t count = m_stationPoints.size();
        std::vector<double> best(count, std::numeric_limits<double>::max());
        std::vector<size_t> from(count, 0);
        std::vector<bool> inTree(count, false);
        best[0] = 0;
        for (size_t step = 0; step < count; ++step) {
            size_t next = count;
            for (size_t i = 0; i < count; ++i) {
                if (!inTree[i] && (next == count || best[i] < best[next]))
                    next = i;
            }
            inTree[next] = true;
            if (step > 0)
                m_edges.emplace_back(from[next], next);
            for (size_t i = 0; i < count; ++i) {
                const double d = distance(m_stationPoints[next], m_stationPoints[i]);
                if (!inTree[i] && d < best[i]) {
                    best[i] = d;
                    from[i] = next;
                }
            }
        }
        auto linked = [&](size_t a, size_t b) {
            return std::any_of(m_edges.begin(), m_edges.end(), [&](const auto &e) {
                return (e.first == a && e.second == b) || (e.first == b && e.second == a);
            });
        };
        for (size_t a = 0; a < count; ++a) {
            if (m_rng.generateDouble() > 0.35)
                continue;
            size_t nearest = count;
            double nearestDistance = stationSpacing * 1.6;
            for (size_t b = 0; b < count; ++b) {
                const double d = distance(m_stationPoints[a], m_stationPoints[b]);
                if (b != a && d < nearestDistance && !linked(a, b)) {
                    nearest = b;
                    nearestDistance = d;
                }
            }
            if (nearest != count)
                m_edges.emplace_back(a, nearest);
        }
    }

    double totalEdgeLength() const
    {
        double total = 0;
        for (const auto &edge : m_edges)
            total += distance(m_stationPoints[edge.first], m_stationPoints[edge.second]);
        return total;
    }

    // Two throats (west and east) joined by two to four platform tracks.
    void buildStation(size_t s)
    {
        const Point centre = m_stationPoints[s];
        const uint64_t stationId = m_network.stations[s].id;
        const double limit = 8.33 + m_rng.bounded(4) * 2.78; // 30 to 60 km/h
        const uint32_t west =
            addTrack({centre.x - throatOffset, centre.y}, stationId, limit, Network::Role::Throat);
        const uint32_t east =
            addTrack({centre.x + throatOffset, centre.y}, stationId, limit, Network::Role::Throat);
        m_throats.push_back({west, east});
        const int platforms = 2 + m_rng.bounded(3);
        std::vector<uint32_t> platformTracks;
        for (int p = 0; p < platforms; ++p) {
            const double offset = (p - (platforms - 1) / 2.0) * platformSpacing;
            const uint32_t platform =
                addTrack({centre.x, centre.y + offset}, stationId, limit, Network::Role::Platform);
            m_network.nodes[platform].neighbour1 = idOf(west);
            m_network.nodes[platform].neighbour2 = idOf(east);
            platformTracks.push_back(platform);
        }
        for (uint32_t throat : {west, east}) {
            m_network.nodes[throat].neighbour1 = idOf(platformTracks[0]);
            m_network.nodes[throat].neighbour2 = idOf(platformTracks[1]);
        }
    }

    // A double line between a throat of station a and a throat of station b, slightly bent: one
    // chain of tracks each way, side by side.
    void buildLine(size_t a, size_t b)
    {
        const double bend = m_rng.generateDouble() * 2 - 1;
        static const double limits[] = {22.22, 27.78, 33.33, 44.44, 55.56}; // 80 to 200 km/h
        const double limit = pick(m_rng, limits);
        buildChain(a, b, bend, limit);
        buildChain(b, a, -bend, limit);
    }

    // The chain of line tracks run from station a to station b.
    void buildChain(size_t a, size_t b, double bendShare, double limit)
    {
        constexpr double trackSpacing = 12.0; // metres between the two tracks of a line
        const Point pa = m_stationPoints[a];
        const Point pb = m_stationPoints[b];
        const bool eastward = pb.x > pa.x || (pb.x == pa.x && a < b);
        const uint32_t start = eastward ? m_throats[a].second : m_throats[a].first;
        const uint32_t end = eastward ? m_throats[b].first : m_throats[b].second;
        const Point from = m_points[start];
        const Point to = m_points[end];
        const double length = distance(from, to);
        const int count = std::max(2, int(std::lround(length / m_segmentLength)));
        const double bend = bendShare * 0.08 * length;
        const double normalX = length > 0 ? -(to.y - from.y) / length : 0;
        const double normalY = length > 0 ? (to.x - from.x) / length : 0;

        uint32_t previous = start;
        std::vector<uint32_t> chain;
        for (int i = 1; i <= count; ++i) {
            const double t = double(i) / (count + 1);
            const double offset = std::sin(M_PI * t) * bend + trackSpacing / 2;
            const Point at{from.x + (to.x - from.x) * t + normalX * offset,
                           from.y + (to.y - from.y) * t + normalY * offset};
            // Now and then a track names a station that the game does not have.
            const uint64_t stationId = m_rng.bounded(400) == 0 ? 0xDEAD00 + m_rng.bounded(99) : 0;
            const uint32_t track = addTrack(at, stationId, limit, Network::Role::Line);
            m_network.nodes[track].neighbour1 = idOf(previous);
            if (previous != start)
                m_network.nodes[previous].neighbour2 = idOf(track);
            // A block ends every fourth track and at the last one, before the station.
            m_blockEnds.push_back(track);
            if (i % 4 != 0 && i != count)
                m_blockEnds.pop_back();
            chain.push_back(track);
            previous = track;
        }
        m_network.nodes[previous].neighbour2 = idOf(end);
        // The throats keep their platform links; the lines link to them from their side.
        for (size_t i = 1; i + 1 < chain.size(); ++i) {
            if (m_rng.bounded(sidingEvery) == 0)
                buildSiding(chain[i], normalX, normalY, to.x - from.x, to.y - from.y, length);
        }
    }

    // Two tracks off a line track, ending at a buffer stop (a neighbour that links nowhere).
    void buildSiding(uint32_t line, double normalX, double normalY, double dx, double dy,
                     double length)
    {
        const Point base = m_points[line];
        const double side = m_rng.bounded(2) ? 1.0 : -1.0;
        const double along = length > 0 ? m_segmentLength * 0.6 / length : 0;
        const Point first{base.x + dx * along + normalX * side * 30,
                          base.y + dy * along + normalY * side * 30};
        const Point second{first.x + dx * along, first.y + dy * along};
        const uint32_t s1 = addTrack(first, 0, 8.33, Network::Role::Siding);
        const uint32_t s2 = addTrack(second, 0, 8.33, Network::Role::Siding);
        m_network.nodes[s1].neighbour1 = idOf(line);
        m_network.nodes[s1].neighbour2 = idOf(s2);
        m_network.nodes[s2].neighbour1 = idOf(s1);
    }

    void finish()
    {
        m_network.link();
        m_network.blockEnd.assign(m_network.tracks.size(), 0);
        for (uint32_t track : m_blockEnds)
            m_network.blockEnd[track] = 1;
    }

    QRandomGenerator m_rng;
    int m_target;
    double m_segmentLength = 400;
    Network m_network;
    std::vector<Point> m_points;
    std::vector<Point> m_stationPoints;
    std::vector<std::pair<size_t, size_t>> m_edges;
    std::vector<std::pair<uint32_t, uint32_t>> m_throats;
    std::vector<uint32_t> m_blockEnds;
};

} // namespace

void Network::link()
{
    const size_t count = tracks.size();
    std::unordered_map<uint64_t, uint32_t> indexOf;
    for (uint32_t i = 0; i < count; ++i)
        indexOf.emplace(tracks[i].id, i);
    links.assign(count, {});
    firstEnd.assign(count, none);
    secondEnd.assign(count, none);
    auto find = [&](uint64_t id) {
        const auto it = indexOf.find(id);
        return it == indexOf.end() ? none : it->second;
    };
    auto join = [&](uint32_t a, uint32_t b) {
        auto &la = links[a];
        if (a != b && std::find(la.begin(), la.end(), b) == la.end()) {
            la.push_back(b);
            links[b].push_back(a);
        }
    };
    for (uint32_t i = 0; i < count && i < nodes.size(); ++i) {
        firstEnd[i] = find(nodes[i].neighbour1);
        secondEnd[i] = find(nodes[i].neighbour2);
        for (uint32_t other : {firstEnd[i], secondEnd[i]}) {
            if (other != none)
                join(i, other);
        }
    }
    lengths.assign(count, 80.0);
    for (uint32_t i = 0; i < count && i < nodes.size(); ++i) {
        double sum = 0;
        for (uint32_t other : links[i])
            sum += std::hypot(nodes[i].x - nodes[other].x, nodes[i].y - nodes[other].y);
        lengths[i] = std::max(80.0, links[i].empty() ? 0.0 : sum / links[i].size());
    }
}

Network NetworkGenerator::generate(uint32_t seed, int trackTarget)
{
    return Builder(seed, trackTarget).build();
}
