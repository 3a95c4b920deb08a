#include "GameProcess.h"

#include "GameProcessFinder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLibrary>
#include <QProcess>
#include <QUuid>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

GameProcess::GameProcess() = default;
GameProcess::~GameProcess()
{
    stop();
}

bool GameProcess::start(const QStringList &arguments, int timeoutMs)
{
    stop();
    m_error.clear();
    m_process = std::make_unique<QProcess>();
    // The game's complaints go straight to the test's log.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
#ifdef Q_OS_LINUX
    // Should the test itself crash, its games end with it instead of haunting later tests.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    m_process->start(QCoreApplication::applicationDirPath() + "/ZorvyRails.exe", arguments);
    if (!m_process->waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("ZorvyRails.exe did not start: ") + m_process->errorString();
        m_process.reset();
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray output;
    while (!output.contains("ZorvyRails ready")) {
        if (m_process->state() != QProcess::Running) {
            m_error = QStringLiteral("ZorvyRails.exe %1 ended with code %2 before it was ready")
                          .arg(arguments.join(QLatin1Char(' ')))
                          .arg(m_process->exitCode());
            break;
        }
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("ZorvyRails.exe was not ready after %1 ms").arg(timeoutMs);
            break;
        }
        m_process->waitForReadyRead(50);
        output += m_process->readAllStandardOutput();
    }
    if (m_error.isEmpty())
        return true;
    stop();
    return false;
}

qint64 GameProcess::processId() const
{
    return m_process && m_process->state() == QProcess::Running ? m_process->processId() : 0;
}

void GameProcess::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate(); // SIGTERM
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    m_exitCode = m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
    m_process.reset();
}

QString GameProcess::writeScenario(const QJsonObject &scenario, const QString &dir)
{
    QDir().mkpath(dir);
    const QString path = QDir(dir).absoluteFilePath(
        QStringLiteral("scenario-%1.json").arg(QUuid::createUuid().toString(QUuid::Id128)));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(scenario).toJson(QJsonDocument::Compact)) < 0)
        return QString();
    return path;
}

QList<qint64> GameProcess::runningGames()
{
    const QList<quint32> games = runningGameProcesses().first;
    return QList<qint64>(games.begin(), games.end());
}

quint32 GameProcess::openSnapshotCount()
{
    static const auto count = reinterpret_cast<quint32 (*)()>(
        QLibrary::resolve(QCoreApplication::applicationDirPath() + "/ZorvyRailsSDK.dll",
                          "ZorvySim_OpenSnapshotCount"));
    if (!count)
        qFatal("the stand-in library next to the test program has no snapshot count");
    return count();
}
