#pragma once

#include <QString>
#include <QStringList>

// The options of the command line. Each is recognised anywhere, only as a whole argument spelled
// exactly (case counts). Any other argument that looks like an option is listed in
// unknownOptions() (the program reports it and goes on); plain words are ignored.
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
    // "--help" or "-h": the options are printed and the program ends.
    bool help() const { return m_help; }
    // "--version" or "-v": the version is printed and the program ends (after the help).
    bool version() const { return m_version; }
    QStringList unknownOptions() const { return m_unknownOptions; }

    // One line per option, for "--help".
    static QString helpText();

    // A verification run is on with "--verify-live" or "--verify-textures".
    bool verificationRun() const { return m_verifyLive || m_verifyTextures; }

    // "--record FILE": the whole session is kept in FILE (empty: not asked).
    QString recordPath() const { return m_recordPath; }
    // "--replay FILE": a recording is shown instead of the live game (empty: live).
    QString replayPath() const { return m_replayPath; }
    // "--export-json OUT" with "--replay" and "--at SECONDS": the data map of the capture shown
    // at that time is written to OUT and the program ends.
    QString exportPath() const { return m_exportPath; }
    double exportSeconds() const { return m_exportSeconds; }
    // What is wrong with the options that take a value (a missing or bad value, an option
    // without the one it needs), in French; empty when nothing is. The program ends with 2.
    QString valueError() const { return m_valueError; }

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
    bool m_help = false;
    bool m_version = false;
    QStringList m_unknownOptions;
    bool m_screenshotRequested = false;
    QString m_screenshotPath;
    QString m_recordPath;
    QString m_replayPath;
    QString m_exportPath;
    double m_exportSeconds = -1;
    QString m_valueError;
};
