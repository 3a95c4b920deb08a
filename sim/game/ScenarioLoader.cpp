#include "ScenarioLoader.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

using namespace SharedWorld;

namespace {

// Raised inside the loader for a malformed value; load() turns it into the error text.
struct ScenarioError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const QString &where, const QString &what)
{
    throw ScenarioError((where + QStringLiteral(": ") + what).toStdString());
}

uint64_t idValue(const QJsonObject &object, const QString &key, const QString &where)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return 0;
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (number < 0 || number != std::floor(number) || number >= 18446744073709551616.0)
            fail(where, QStringLiteral("id %1 is not a whole number of 64 bits").arg(key));
        return uint64_t(number);
    }
    if (value.isString()) {
        const QString text = value.toString().trimmed();
        bool ok = false;
        uint64_t id = 0;
        if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            id = text.mid(2).toULongLong(&ok, 16);
        else
            id = text.toULongLong(&ok, 10);
        if (!ok)
            fail(where, QStringLiteral("id %1 \"%2\" is not a number").arg(key, text));
        return id;
    }
    fail(where, QStringLiteral("id %1 must be a number or a string").arg(key));
}

// A number of the record, 0 when left out; a number too large for a double is refused.
double realValue(const QJsonObject &object, const QString &key, const QString &where)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return 0.0;
    if (!value.isDouble() || !std::isfinite(value.toDouble()))
        fail(where, QStringLiteral("%1 must be a finite number").arg(key));
    return value.toDouble();
}

// A whole number that the record's field of type T holds, 0 when left out.
template <typename T>
T wholeValue(const QJsonObject &object, const QString &key, const QString &where)
{
    const double number = realValue(object, key, where);
    if (number != std::floor(number) || number < double(std::numeric_limits<T>::min()) ||
        number > double(std::numeric_limits<T>::max()))
        fail(where, QStringLiteral("%1 must be a whole number from %2 to %3")
                        .arg(key)
                        .arg(std::numeric_limits<T>::min())
                        .arg(std::numeric_limits<T>::max()));
    return T(number);
}

// A text field, from `key` as UTF-8 or from `key`Hex as raw bytes, cut to the array.
template <size_t N>
void textValue(const QJsonObject &object, const QString &key, char (&array)[N],
               const QString &where)
{
    QByteArray bytes;
    const QString hexKey = key + QStringLiteral("Hex");
    if (object.contains(hexKey)) {
        const QByteArray hex = object.value(hexKey).toString().toLatin1();
        bytes = QByteArray::fromHex(hex);
        if (bytes.toHex() != hex.toLower())
            fail(where, QStringLiteral("%1 is not hexadecimal").arg(hexKey));
    } else {
        bytes = object.value(key).toString().toUtf8();
    }
    std::memset(array, 0, N);
    std::memcpy(array, bytes.constData(), std::min<size_t>(N, size_t(bytes.size())));
}

QJsonArray listValue(const QJsonObject &scenario, const QString &key)
{
    const QJsonValue value = scenario.value(key);
    if (value.isUndefined() || value.isNull())
        return {};
    if (!value.isArray())
        fail(key, QStringLiteral("must be a list"));
    return value.toArray();
}

// Calls read(object, where) for every record of the list, in order.
template <typename ReadFn>
void forEachRecord(const QJsonObject &scenario, const QString &key, ReadFn read)
{
    const QJsonArray list = listValue(scenario, key);
    for (int i = 0; i < list.size(); ++i) {
        const QString where = QStringLiteral("%1[%2]").arg(key).arg(i);
        if (!list.at(i).isObject())
            fail(where, QStringLiteral("must be an object"));
        read(list.at(i).toObject(), where);
    }
}

void readFaults(const QJsonObject &faults, World *world)
{
    auto nameInto = [](Fault &fault, const QString &name) {
        const QByteArray bytes = name.toUtf8();
        std::memcpy(fault.exportName, bytes.constData(),
                    std::min<size_t>(sizeof fault.exportName - 1, size_t(bytes.size())));
    };
    const QString failCopy = faults.value(QStringLiteral("failCopy")).toString();
    if (!failCopy.isEmpty()) {
        Fault fault{};
        nameInto(fault, failCopy);
        fault.kind = uint32_t(FaultKind::FailCopy);
        fault.value = uint32_t(faults.value(QStringLiteral("failStatus")).toDouble(5));
        world->faults.push_back(fault);
    }
    const QJsonObject inflate = faults.value(QStringLiteral("inflateCount")).toObject();
    for (auto it = inflate.begin(); it != inflate.end(); ++it) {
        Fault fault{};
        nameInto(fault, it.key());
        fault.kind = uint32_t(FaultKind::InflateCount);
        fault.value = uint32_t(it.value().toDouble(0));
        world->faults.push_back(fault);
    }
    const QJsonObject stall = faults.value(QStringLiteral("stall")).toObject();
    for (auto it = stall.begin(); it != stall.end(); ++it) {
        Fault fault{};
        nameInto(fault, it.key());
        fault.kind = uint32_t(FaultKind::Stall);
        fault.value = uint32_t(it.value().toDouble(0));
        world->faults.push_back(fault);
    }
}

// A running train's route goes from track to linked track (the node of either names the other),
// starting at the train's own track, and a route run again and again leads back to its start: a
// route that jumps, or turns on one track, has no way to be run.
void checkRoute(const World &world, uint64_t start, const ScenarioRun::Train &motion,
                const QString &where)
{
    std::unordered_map<uint64_t, std::pair<uint64_t, uint64_t>> ends;
    for (const SdkTrackNode &node : world.nodes)
        ends.emplace(node.id, std::make_pair(node.neighbour1, node.neighbour2));
    const auto names = [&](uint64_t track, uint64_t other) {
        const auto it = ends.find(track);
        return it != ends.end() && (it->second.first == other || it->second.second == other);
    };
    uint64_t from = start;
    for (size_t i = 0; i <= motion.route.size(); ++i) {
        if (i == motion.route.size() && !motion.loop)
            break;
        const uint64_t to = i < motion.route.size() ? motion.route[i] : start;
        if (from == to || !(names(from, to) || names(to, from)))
            fail(where, QStringLiteral("path goes from track %1 to track %2, which are not linked")
                            .arg(qulonglong(from))
                            .arg(qulonglong(to)));
        from = to;
    }
}

void readScenario(const QJsonObject &scenario, World *world, ScenarioRun *run)
{
    run->running = scenario.value(QStringLiteral("running")).toBool(false);
    forEachRecord(scenario, QStringLiteral("stations"),
                  [&](const QJsonObject &o, const QString &w) {
                      SdkStation station{};
                      station.id = idValue(o, QStringLiteral("id"), w);
                      textValue(o, QStringLiteral("name"), station.name, w);
                      world->stations.push_back(station);
                  });
    forEachRecord(scenario, QStringLiteral("tracks"), [&](const QJsonObject &o, const QString &w) {
        SdkTrack track{};
        track.id = idValue(o, QStringLiteral("id"), w);
        track.stationId = idValue(o, QStringLiteral("stationId"), w);
        track.speedLimit = realValue(o, QStringLiteral("speedLimit"), w);
        world->tracks.push_back(track);
    });
    forEachRecord(scenario, QStringLiteral("nodes"), [&](const QJsonObject &o, const QString &w) {
        SdkTrackNode node{};
        node.id = idValue(o, QStringLiteral("id"), w);
        node.neighbour1 = idValue(o, QStringLiteral("neighbour1"), w);
        node.neighbour2 = idValue(o, QStringLiteral("neighbour2"), w);
        node.x = realValue(o, QStringLiteral("x"), w);
        node.y = realValue(o, QStringLiteral("y"), w);
        world->nodes.push_back(node);
    });
    std::unordered_set<uint64_t> trackIds;
    for (const SdkTrack &track : world->tracks)
        trackIds.insert(track.id);
    forEachRecord(scenario, QStringLiteral("trains"), [&](const QJsonObject &o, const QString &w) {
        SdkTrain train{};
        train.id = idValue(o, QStringLiteral("id"), w);
        train.trackId = idValue(o, QStringLiteral("trackId"), w);
        train.speed = realValue(o, QStringLiteral("speed"), w);
        train.fraction = realValue(o, QStringLiteral("fraction"), w);
        train.sense = wholeValue<int32_t>(o, QStringLiteral("sense"), w);
        train.flags = wholeValue<uint32_t>(o, QStringLiteral("flags"), w);
        textValue(o, QStringLiteral("name"), train.name, w);
        world->trains.push_back(train);

        PathEntry path{};
        path.trainId = train.id;
        path.first = world->pathTracks.size();
        const QJsonValue pathValue = o.value(QStringLiteral("path"));
        if (!pathValue.isUndefined() && !pathValue.isNull()) {
            if (!pathValue.isArray())
                fail(w, QStringLiteral("path must be a list"));
            path.hasPath = 1;
            const QJsonArray ids = pathValue.toArray();
            for (int i = 0; i < ids.size(); ++i) {
                QJsonObject holder;
                holder.insert(QStringLiteral("path"), ids.at(i));
                world->pathTracks.push_back(
                    idValue(holder, QStringLiteral("path"), w + QStringLiteral(".path")));
            }
            path.count = uint32_t(ids.size());
        }
        world->paths.push_back(path);

        ScenarioRun::Train motion;
        for (uint32_t i = 0; i < path.count; ++i) {
            const uint64_t id = world->pathTracks[path.first + i];
            // A route runs over the scenario's own tracks.
            if (run->running && !trackIds.count(id))
                fail(w, QStringLiteral("path names track %1, which is not among the tracks")
                            .arg(qulonglong(id)));
            if (i > 0 || id != train.trackId)
                motion.route.push_back(id);
        }
        motion.maxSpeed = o.value(QStringLiteral("maxSpeed")).toDouble(motion.maxSpeed);
        motion.length = o.value(QStringLiteral("length")).toDouble(motion.length);
        motion.loop = o.value(QStringLiteral("loop")).toBool(false);
        if (!(motion.maxSpeed >= 0 && motion.maxSpeed < 200 && motion.length > 0 &&
              motion.length < 5000))
            fail(w, QStringLiteral("maxSpeed must be within 0 to 200 m/s, length 0 to 5000 m"));
        if (run->running && !motion.route.empty())
            checkRoute(*world, train.trackId, motion, w);
        forEachRecord(o, QStringLiteral("stops"), [&](const QJsonObject &stop, const QString &at) {
            motion.stops.emplace_back(
                idValue(stop, QStringLiteral("trackId"), w + QLatin1Char('.') + at),
                stop.value(QStringLiteral("seconds")).toDouble(-1));
        });
        run->trains.push_back(std::move(motion));
    });
    forEachRecord(scenario, QStringLiteral("signals"), [&](const QJsonObject &o, const QString &w) {
        SdkSignal signal{};
        signal.id = idValue(o, QStringLiteral("id"), w);
        signal.trackId = idValue(o, QStringLiteral("trackId"), w);
        signal.fraction = realValue(o, QStringLiteral("fraction"), w);
        signal.sense = wholeValue<int32_t>(o, QStringLiteral("sense"), w);
        signal.kind = wholeValue<uint32_t>(o, QStringLiteral("kind"), w);
        world->signals.push_back(signal);
    });
    forEachRecord(scenario, QStringLiteral("signalStates"),
                  [&](const QJsonObject &o, const QString &w) {
                      LabelPair labels{};
                      textValue(o, QStringLiteral("label1"), labels.label1, w);
                      textValue(o, QStringLiteral("label2"), labels.label2, w);
                      StateEntry state{};
                      state.signalId = idValue(o, QStringLiteral("signalId"), w);
                      state.flags = wholeValue<uint32_t>(o, QStringLiteral("flags"), w);
                      state.nativeState = wholeValue<int32_t>(o, QStringLiteral("nativeState"), w);
                      state.labelPair = uint32_t(world->labelPairs.size());
                      world->labelPairs.push_back(labels);
                      world->signalStates.push_back(state);
                  });
    forEachRecord(scenario, QStringLiteral("signalTextures"),
                  [&](const QJsonObject &o, const QString &w) {
                      TexturePath path{};
                      textValue(o, QStringLiteral("path"), path.bytes, w);
                      TextureEntry texture{};
                      texture.signalId = idValue(o, QStringLiteral("signalId"), w);
                      texture.flags = wholeValue<uint32_t>(o, QStringLiteral("flags"), w);
                      texture.path = uint32_t(world->texturePaths.size());
                      world->texturePaths.push_back(path);
                      world->signalTextures.push_back(texture);
                  });
    auto readUsage = [&](const QString &key, std::vector<SdkTrackUsage> &usage, bool &available) {
        available = !(scenario.contains(key) && scenario.value(key).isNull());
        forEachRecord(scenario, key, [&](const QJsonObject &o, const QString &w) {
            SdkTrackUsage record{};
            record.trainId = idValue(o, QStringLiteral("trainId"), w);
            record.trackId = idValue(o, QStringLiteral("trackId"), w);
            record.begin = realValue(o, QStringLiteral("begin"), w);
            record.end = realValue(o, QStringLiteral("end"), w);
            usage.push_back(record);
        });
    };
    readUsage(QStringLiteral("reservations"), world->reservations, world->reservationsAvailable);
    readUsage(QStringLiteral("occupations"), world->occupations, world->occupationsAvailable);
    readFaults(scenario.value(QStringLiteral("faults")).toObject(), world);
}

} // namespace

bool ScenarioLoader::load(const QJsonObject &scenario, World *world, QString *error,
                          ScenarioRun *run)
{
    World loaded;
    ScenarioRun motion;
    try {
        readScenario(scenario, &loaded, &motion);
    } catch (const ScenarioError &e) {
        *error = QString::fromStdString(e.what());
        return false;
    }
    *world = std::move(loaded);
    if (run)
        *run = std::move(motion);
    return true;
}

bool ScenarioLoader::loadFile(const QString &path, World *world, QString *error, ScenarioRun *run)
{
    // A regular file only, told on the opened file (a FIFO would hold the start for good, a
    // device never end), and no larger than maxFileBytes.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status = {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    QFile file;
    if (!S_ISREG(status.st_mode) || !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        ::close(fd);
        *error = QStringLiteral("%1: not a regular file").arg(path);
        return false;
    }
    const QByteArray bytes = file.read(maxFileBytes + 1);
    if (bytes.size() > maxFileBytes) {
        *error = QStringLiteral("%1: larger than %2 MiB").arg(path).arg(maxFileBytes >> 20);
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (!document.isObject()) {
        *error = QStringLiteral("%1: not a JSON object (%2)").arg(path, parseError.errorString());
        return false;
    }
    return load(document.object(), world, error, run);
}
