#pragma once

#include "World.h"

#include <QJsonObject>
#include <QString>

// Reads a JSON scenario: a world given record for record, published exactly and frozen. Ids are
// numbers or strings (decimal, or hexadecimal after "0x"); texts are UTF-8 strings or, under the
// same name followed by "Hex", raw bytes; "reservations": null and "occupations": null make those
// lists unavailable.
class ScenarioLoader
{
public:
    static bool loadFile(const QString &path, World *world, QString *error);
    static bool load(const QJsonObject &scenario, World *world, QString *error);
};
