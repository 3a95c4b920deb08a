#pragma once

#include <QString>
#include <QStringList>

// The options of the command line. Each is recognised anywhere, only as a whole argument spelled
// exactly (case counts); everything else is ignored.
class CommandLine
{
public:
    explicit CommandLine(const QStringList &arguments);

    bool checkSdk() const { return m_checkSdk; }
    bool verifyLive() const { return m_verifyLive; }
    bool verifyTextures() const { return m_verifyTextures; }
    bool verifyMap() const { return m_verifyMap; }
    bool verifyBlink() const { return m_verifyBlink; }
    bool smoke() const { return m_smoke; }

    // A verification run is on with "--verify-live" or "--verify-textures".
    bool verificationRun() const { return m_verifyLive || m_verifyTextures; }

    // "--screenshot" present at all, and the path that follows it (empty when it is last).
    bool screenshotRequested() const { return m_screenshotRequested; }
    QString screenshotPath() const { return m_screenshotPath; }

private:
    bool m_checkSdk = false;
    bool m_verifyLive = false;
    bool m_verifyTextures = false;
    bool m_verifyMap = false;
    bool m_verifyBlink = false;
    bool m_smoke = false;
    bool m_screenshotRequested = false;
    QString m_screenshotPath;
};
