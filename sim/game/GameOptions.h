#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// The game's command line.
class GameOptions
{
public:
    enum class Textures { All, Most, None };

    // Parses the arguments (program name first). On --help or an error the game must end:
    // *exitCode is set and the text to print is in *message.
    bool parse(const QStringList &arguments, QString *message, int *exitCode);

    uint32_t seed = 1;
    int trackTarget = 5000;
    QString sizeName = QStringLiteral("medium");
    QString scenarioFile;
    bool reservationsAvailable = true;
    bool occupationsAvailable = true;
    Textures textures = Textures::Most;
    bool brokenTexture = false;
    QString textureDir; // empty: a folder of its own under the temporary directory
    int publishHz = 25;
    QString waitLog; // empty: the trains' waits are not written
};
