#include "GameOptions.h"

#include <QCommandLineParser>

bool GameOptions::parse(const QStringList &arguments, QString *message, int *exitCode)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "ZorvyRails: a headless railway simulation. It publishes its whole state in shared memory "
        "named /ZorvyRails-<pid> for the observation library ZorvyRailsSDK.dll, prints one line "
        "\"ZorvyRails ready ...\" once it publishes, and runs until SIGINT or SIGTERM."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show these options."));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seed of the generated world (default 1)."),
                                        QStringLiteral("number"), QStringLiteral("1"));
    const QCommandLineOption sizeOption(
        QStringLiteral("size"),
        QStringLiteral("World size: small (~300 tracks), medium (~5,000, default) or large "
                       "(~100,000). About one train per 50 tracks and one signal per 2."),
        QStringLiteral("small|medium|large"), QStringLiteral("medium"));
    const QCommandLineOption scenarioOption(
        QStringLiteral("scenario"),
        QStringLiteral("Publish the world of this JSON scenario file exactly, frozen "
                       "unless it says \"running\": true."),
        QStringLiteral("file"));
    const QCommandLineOption noReservationsOption(
        QStringLiteral("no-reservations"),
        QStringLiteral("Reservations are not available (the library answers 8)."));
    const QCommandLineOption noOccupationsOption(
        QStringLiteral("no-occupations"),
        QStringLiteral("Occupations are not available (the library answers 8)."));
    const QCommandLineOption texturesOption(
        QStringLiteral("textures"),
        QStringLiteral("Signal texture images: all (every signal has one), most (default: some "
                       "signals have none) or none."),
        QStringLiteral("all|most|none"), QStringLiteral("most"));
    const QCommandLineOption brokenTextureOption(
        QStringLiteral("broken-texture"),
        QStringLiteral("Point the texture of the first signal at a file that is not an image."));
    const QCommandLineOption textureDirOption(
        QStringLiteral("texture-dir"),
        QStringLiteral("Folder for the texture images (default: a folder of this process under "
                       "the temporary directory, removed at exit)."),
        QStringLiteral("dir"));
    const QCommandLineOption rateOption(
        QStringLiteral("rate"), QStringLiteral("Publications per second, 20 to 100 (default 25)."),
        QStringLiteral("hz"), QStringLiteral("25"));
    const QCommandLineOption waitLogOption(
        QStringLiteral("wait-log"),
        QStringLiteral("Append who waits for whom to this file, one line per change: \"WAIT "
                       "<seconds of the monotonic clock> <train id> <id of the train it waits "
                       "for, 0 when none>\"."),
        QStringLiteral("file"));
    parser.addOptions({helpOption, seedOption, sizeOption, scenarioOption, noReservationsOption,
                       noOccupationsOption, texturesOption, brokenTextureOption, textureDirOption,
                       rateOption, waitLogOption});

    auto failWith = [&](const QString &text) {
        *message = text + QStringLiteral("\n\n") + parser.helpText();
        *exitCode = 1;
        return false;
    };
    if (!parser.parse(arguments))
        return failWith(parser.errorText());
    if (parser.isSet(helpOption)) {
        *message = parser.helpText();
        *exitCode = 0;
        return false;
    }
    if (!parser.positionalArguments().isEmpty())
        return failWith(QStringLiteral("Unexpected argument: %1")
                            .arg(parser.positionalArguments().constFirst()));

    bool ok = false;
    seed = parser.value(seedOption).toUInt(&ok, 0);
    if (!ok)
        return failWith(QStringLiteral("--seed needs a number"));
    sizeName = parser.value(sizeOption);
    if (sizeName == QLatin1String("small"))
        trackTarget = 300;
    else if (sizeName == QLatin1String("medium"))
        trackTarget = 5000;
    else if (sizeName == QLatin1String("large"))
        trackTarget = 100000;
    else
        return failWith(QStringLiteral("--size must be small, medium or large"));
    scenarioFile = parser.value(scenarioOption);
    reservationsAvailable = !parser.isSet(noReservationsOption);
    occupationsAvailable = !parser.isSet(noOccupationsOption);
    const QString texturesName = parser.value(texturesOption);
    if (texturesName == QLatin1String("all"))
        textures = Textures::All;
    else if (texturesName == QLatin1String("most"))
        textures = Textures::Most;
    else if (texturesName == QLatin1String("none"))
        textures = Textures::None;
    else
        return failWith(QStringLiteral("--textures must be all, most or none"));
    brokenTexture = parser.isSet(brokenTextureOption);
    textureDir = parser.value(textureDirOption);
    publishHz = parser.value(rateOption).toInt(&ok);
    if (!ok || publishHz < 20 || publishHz > 100)
        return failWith(QStringLiteral("--rate must be a number from 20 to 100"));
    waitLog = parser.value(waitLogOption);
    return true;
}
