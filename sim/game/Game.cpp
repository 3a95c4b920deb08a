#include "Game.h"

#include "ScenarioLoader.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <ctime>
#include <unistd.h>

Game::Game(const GameOptions &options, QObject *parent) : QObject(parent), m_options(options)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Game::tick);
}

Game::~Game()
{
    shutdown();
}

const World &Game::world() const
{
    return m_simulation ? m_simulation->world() : m_scenario;
}

bool Game::start(QString *error)
{
    uint64_t frameCapacity = 0;
    ScenarioRun run;
    if (!m_options.scenarioFile.isEmpty()) {
        if (!ScenarioLoader::loadFile(m_options.scenarioFile, &m_scenario, error, &run))
            return false;
        if (!m_options.reservationsAvailable)
            m_scenario.reservationsAvailable = false;
        if (!m_options.occupationsAvailable)
            m_scenario.occupationsAvailable = false;
        frameCapacity = WorldPublisher::frameBlockSize(m_scenario);
    }
    const bool simulated = m_options.scenarioFile.isEmpty() || run.running;
    const SignalTextureSet *textures = nullptr;
    if (simulated &&
        (m_options.textures != GameOptions::Textures::None || m_options.brokenTexture)) {
        QString dir = m_options.textureDir;
        if (dir.isEmpty()) {
            dir = QDir::temp().absoluteFilePath(
                QStringLiteral("ZorvyRails-%1-textures").arg(::getpid()));
            m_ownTextureDir = dir;
        }
        if (!m_textures.write(dir, m_options.brokenTexture, error))
            return false;
        textures = &m_textures;
    }
    if (run.running) {
        m_simulation = std::make_unique<Simulation>(m_scenario, run, textures);
        frameCapacity = std::max(frameCapacity, m_simulation->frameCapacity());
    } else if (simulated) {
        Simulation::Settings settings;
        settings.seed = m_options.seed;
        settings.trackTarget = m_options.trackTarget;
        settings.reservationsAvailable = m_options.reservationsAvailable;
        settings.occupationsAvailable = m_options.occupationsAvailable;
        settings.textures = m_options.textures == GameOptions::Textures::All
                                ? Simulation::Settings::Textures::All
                            : m_options.textures == GameOptions::Textures::Most
                                ? Simulation::Settings::Textures::Most
                                : Simulation::Settings::Textures::None;
        m_simulation = std::make_unique<Simulation>(settings, textures);
        frameCapacity = m_simulation->frameCapacity();
    }

    if (!m_options.waitLog.isEmpty()) {
        m_waitLog.setFileName(m_options.waitLog);
        if (!m_waitLog.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            *error = QStringLiteral("%1: %2").arg(m_options.waitLog, m_waitLog.errorString());
            return false;
        }
    }
    const World &current = world();
    if (!m_publisher.open(WorldPublisher::staticBlockSize(current), frameCapacity, error))
        return false;
    if (!m_publisher.publishStatic(current) || !m_publisher.publishFrame(current)) {
        *error = QStringLiteral("the world does not fit its shared-memory region");
        return false;
    }
    std::printf("ZorvyRails ready pid=%lld shm=%s tracks=%zu trains=%zu signals=%zu\n",
                qint64(::getpid()), qPrintable(m_publisher.regionName()), current.tracks.size(),
                current.trains.size(), current.signals.size());
    std::fflush(stdout);
    logWaits();
    m_timer.start(1000 / m_options.publishHz);
    return true;
}

// The changes of who waits for whom since the last publication, stamped with the monotonic clock
// (the clock of Qt's "%{time boot}" in a log pattern), written before the frame is published.
void Game::logWaits()
{
    if (!m_waitLog.isOpen() || !m_simulation)
        return;
    const std::vector<int32_t> waits = m_simulation->waits();
    m_loggedWaits.resize(waits.size(), -1);
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const QByteArray stamp = QByteArray::number(double(now.tv_sec) + now.tv_nsec / 1e9, 'f', 3);
    const auto idText = [&](int32_t index) {
        const uint64_t id = index >= 0 ? world().trains[size_t(index)].id : 0;
        return QByteArray::number(qulonglong(id), 16).toUpper().rightJustified(16, '0');
    };
    QByteArray lines;
    for (size_t i = 0; i < waits.size(); ++i) {
        if (waits[i] == m_loggedWaits[i])
            continue;
        lines += "WAIT " + stamp + ' ' + idText(int32_t(i)) + ' ' + idText(waits[i]) + '\n';
        m_loggedWaits[i] = waits[i];
    }
    if (!lines.isEmpty()) {
        m_waitLog.write(lines);
        m_waitLog.flush();
    }
}

void Game::tick()
{
    if (m_simulation)
        m_simulation->step(1.0 / m_options.publishHz);
    logWaits();
    if (!m_publisher.publishFrame(world()))
        qWarning("ZorvyRails: a frame did not fit its slot and was not published");
}

void Game::shutdown()
{
    m_timer.stop();
    m_publisher.close();
    if (!m_ownTextureDir.isEmpty()) {
        QDir(m_ownTextureDir).removeRecursively();
        m_ownTextureDir.clear();
    }
}
