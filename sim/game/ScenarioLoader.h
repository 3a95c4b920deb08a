#pragma once

#include "World.h"

#include <QJsonObject>
#include <QString>

#include <utility>
#include <vector>

// How the trains of a running scenario move; a frozen scenario has none of it.
struct ScenarioRun
{
    struct Train
    {
        std::vector<uint64_t> route; // track ids to run over after the current one
        double maxSpeed = 20;        // m/s
        double length = 100;         // metres
        bool loop = false;           // the route starts again when it ends
        std::vector<std::pair<uint64_t, double>> stops; // track id, seconds (< 0: for good)
    };
    bool running = false;
    std::vector<Train> trains; // same order as the world's trains
};

// Reads a JSON scenario: a world given record for record, published exactly and frozen unless it
// says "running": true. Ids are numbers or strings (decimal, or hexadecimal after "0x"); texts are
// UTF-8 strings or, under the same name followed by "Hex", raw bytes; "reservations": null and
// "occupations": null make those lists unavailable.
class ScenarioLoader
{
public:
    static constexpr qint64 maxFileBytes = qint64(64) << 20;

    static bool loadFile(const QString &path, World *world, QString *error,
                         ScenarioRun *run = nullptr);
    static bool load(const QJsonObject &scenario, World *world, QString *error,
                     ScenarioRun *run = nullptr);
};
