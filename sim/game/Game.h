#pragma once

#include "GameOptions.h"
#include "SignalTextureSet.h"
#include "Simulation.h"
#include "WorldPublisher.h"

#include <QFile>
#include <QObject>
#include <QTimer>

#include <memory>

// The running game: builds the world (generated or from a scenario), publishes it at a steady
// rate and, for a generated world, moves it on at every publication.
class Game : public QObject
{
    Q_OBJECT

public:
    explicit Game(const GameOptions &options, QObject *parent = nullptr);
    ~Game() override;

    // Builds, publishes the first state and prints the ready line. False with *error otherwise.
    bool start(QString *error);
    // Removes the region (and a texture folder of our own). Idempotent.
    void shutdown();

private:
    void tick();
    const World &world() const;
    void logWaits();

    GameOptions m_options;
    SignalTextureSet m_textures;
    QString m_ownTextureDir;
    std::unique_ptr<Simulation> m_simulation;
    World m_scenario; // used when no simulation runs
    WorldPublisher m_publisher;
    QTimer m_timer;
    QFile m_waitLog;
    std::vector<int32_t> m_loggedWaits; // by train index, as last written
};
