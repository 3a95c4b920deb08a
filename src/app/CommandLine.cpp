#include "CommandLine.h"

CommandLine::CommandLine(const QStringList &arguments)
{
    qsizetype screenshotIndex = -1;
    // The first argument is the program itself.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--check-sdk")) {
            m_checkSdk = true;
        } else if (argument == QLatin1String("--verify-live")) {
            m_verifyLive = true;
        } else if (argument == QLatin1String("--verify-textures")) {
            m_verifyTextures = true;
        } else if (argument == QLatin1String("--verify-map")) {
            m_verifyMap = true;
        } else if (argument == QLatin1String("--verify-blink")) {
            m_verifyBlink = true;
        } else if (argument == QLatin1String("--smoke")) {
            m_smoke = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            m_help = true;
        } else if (argument == QLatin1String("--version") || argument == QLatin1String("-v")) {
            m_version = true;
        } else if (argument == QLatin1String("--screenshot") && !m_screenshotRequested) {
            m_screenshotRequested = true;
            screenshotIndex = i;
            if (i + 1 < arguments.size())
                m_screenshotPath = arguments.at(i + 1);
        } else if (argument.startsWith(QLatin1Char('-')) && i != screenshotIndex + 1 &&
                   argument != QLatin1String("--screenshot")) {
            // The path after "--screenshot" is its value, whatever it looks like; a repeated
            // "--screenshot" is known, only its value is not used.
            m_unknownOptions.append(argument);
        }
    }
}

QString CommandLine::helpText()
{
    return QStringLiteral(
        "Utilisation : ZorvyTco [options]\n"
        "Observe le jeu ZorvyRails.exe en cours (LECTURE SEULE) ; le PID se saisit dans la "
        "fenêtre.\n"
        "\n"
        "  --check-sdk           vérifie la bibliothèque ZorvyRailsSDK puis s’arrête (code 0 ou "
        "3)\n"
        "  --verify-live         vérification des données en direct, fenêtre cachée\n"
        "  --verify-textures     vérification avec textures des signaux, fenêtre visible\n"
        "  --verify-map          avec --verify-textures : la vérification montre la carte\n"
        "  --verify-blink        surveille les phases de clignotement des signaux\n"
        "  --screenshot CHEMIN   capture d’écran finale des vérifications\n"
        "  --smoke               quitte seul après 3,5 s (code 0)\n"
        "  -v, --version         affiche la version\n"
        "  -h, --help            affiche cette aide\n");
}
