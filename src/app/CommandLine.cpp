#include "CommandLine.h"

CommandLine::CommandLine(const QStringList &arguments)
{
    qsizetype screenshotIndex = -1;
    // The options that take the next argument as their value, whatever it looks like.
    QString atText;
    bool atGiven = false;
    const struct
    {
        const char *name;
        QString *value;
    } valueOptions[] = {{"--record", &m_recordPath},
                        {"--replay", &m_replayPath},
                        {"--export-json", &m_exportPath},
                        {"--at", &atText}};
    // The first argument is the program itself.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        bool valueOption = false;
        for (const auto &option : valueOptions) {
            if (argument != QLatin1String(option.name))
                continue;
            valueOption = true;
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                m_valueError = QStringLiteral("L’option %1 attend une valeur").arg(argument);
            } else {
                *option.value = arguments.at(i + 1);
                atGiven = atGiven || option.value == &atText;
                ++i;
            }
        }
        if (valueOption)
            continue;
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
    if (atGiven) {
        bool ok = false;
        m_exportSeconds = atText.toDouble(&ok);
        if (!ok || !(m_exportSeconds >= 0) || m_exportSeconds > 1e9)
            m_valueError =
                QStringLiteral("--at attend un nombre de secondes positif, pas « %1 »").arg(atText);
    }
    if (m_valueError.isEmpty() && !m_exportPath.isEmpty() && (m_replayPath.isEmpty() || !atGiven))
        m_valueError = QStringLiteral("--export-json s’emploie avec --replay FICHIER et --at "
                                      "SECONDES");
    if (m_valueError.isEmpty() && atGiven && m_exportPath.isEmpty())
        m_valueError = QStringLiteral("--at s’emploie avec --export-json");
    if (m_valueError.isEmpty() && !m_recordPath.isEmpty() && !m_replayPath.isEmpty())
        m_valueError = QStringLiteral("--record et --replay ne s’emploient pas ensemble");
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
        "  --record FICHIER      enregistre toute la session dans FICHIER\n"
        "  --replay FICHIER      relit un enregistrement au lieu du jeu en direct\n"
        "  --export-json SORTIE  avec --replay et --at : écrit la capture montrée à ce moment en "
        "JSON\n"
        "  --at SECONDES         le moment de l’export, en secondes depuis le début\n"
        "  --smoke               quitte seul après 3,5 s (code 0)\n"
        "  -v, --version         affiche la version\n"
        "  -h, --help            affiche cette aide\n");
}
