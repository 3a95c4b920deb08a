#pragma once

#include "TextureLoader.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QVariantMap>

class Backend;
class CommandLine;
class QQmlApplicationEngine;
class QQuickWindow;

// The command-line verification runs: they watch the data maps the Backend publishes for eight
// seconds, print one measurement line per live map and a summary on standard output, save
// screenshots of the window, and end the event loop with 0 (passed) or 2 (failed). The blink
// watcher saves one screenshot per blinking texture state.
class VerificationRun : public QObject
{
    Q_OBJECT

public:
    VerificationRun(const CommandLine &options, Backend &backend, QQmlApplicationEngine &engine);

    // Called once the root document is loaded: sets the window up for the run, connects the
    // watchers and starts the clocks.
    void start();

private:
    void watchBlink();
    void measureFrame();
    void checkTextures(const QVariantMap &map);
    void textureArrived(const QString &path);
    void takeTexture(const QString &path, const TextureLoader::Result &result);
    void finish();
    QQuickWindow *rootWindow() const;
    QObject *rootObject() const;

    const CommandLine &m_options;
    Backend &m_backend;
    QQmlApplicationEngine &m_engine;

    int m_frames = 0;
    int m_usageFrames = 0;
    QSet<QString> m_positions;
    int m_textureFrames = 0;
    TextureLoader &m_textures;
    QSet<QString> m_decodedTextures;
    QSet<QString> m_checkedTextures; // decoded or failed
    QSet<QString> m_awaitedTextures; // asked of the loader, not yet answered
    bool m_finishing = false;        // the run is over, waiting for the loader
    bool m_finished = false;
    bool m_decodeFailure = false;
    bool m_textureRun = false;
    bool m_blinkRun = false;
    QSet<int> m_blinkPhases;
    int m_lastBlinkState = -1;
    QTimer m_blinkTimer;
    QTimer m_endTimer;
};
