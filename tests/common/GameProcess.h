#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;

// One running ZorvyRails.exe, stopped when the object dies.
class GameProcess
{
public:
    GameProcess();
    ~GameProcess(); // stop()
    GameProcess(const GameProcess &) = delete;
    GameProcess &operator=(const GameProcess &) = delete;

    // Starts bin/ZorvyRails.exe (next to the test program) with these arguments and returns true
    // once the game publishes its first state (the game prints a ready line on stdout), false on
    // failure or after timeoutMs (errorString() says why).
    bool start(const QStringList &arguments, int timeoutMs = 30000);
    qint64 processId() const; // 0 when not running
    void stop();              // SIGTERM, waits, then kills; idempotent
    QString errorString() const { return m_error; }
    // The exit code of the last stop, -1 when the game did not exit normally.
    int exitCode() const { return m_exitCode; }

    // Writes the scenario as JSON into a new file in dir and returns its path.
    static QString writeScenario(const QJsonObject &scenario, const QString &dir);
    // Process ids of the processes named "ZorvyRails.exe" (the first eight by start time).
    static QList<qint64> runningGames();
    // Snapshots that the stand-in library next to the test program has not had back yet.
    static quint32 openSnapshotCount();

private:
    std::unique_ptr<QProcess> m_process;
    QString m_error;
    int m_exitCode = -1;
};
