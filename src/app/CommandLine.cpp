#include "CommandLine.h"

CommandLine::CommandLine(const QStringList &arguments)
{
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
        } else if (argument == QLatin1String("--screenshot") && !m_screenshotRequested) {
            m_screenshotRequested = true;
            if (i + 1 < arguments.size())
                m_screenshotPath = arguments.at(i + 1);
        }
    }
}
