#include "ApplicationAssembly.h"

#include "CommandLine.h"
#include "LogCategories.h"
#include "MapItem.h"
#include "MapPreferences.h"
#include "SdkLoader.h"
#include "SignalImageProvider.h"
#include "TextureLoader.h"

#include <QCoreApplication>
#include <QQuickStyle>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <QtQml/qqml.h>

#include <cstdio>
#include <cstdlib>

// Generated with the module ZorvyTco; the registration runs when the module is first imported.
void qml_register_types_ZorvyTco();
// Generated with the module Zorvy.Map: registers RailMap.
void qml_register_types_Zorvy_Map();

namespace {
constexpr int SmokeQuitMs = 3500;
constexpr int textureQuitWaitMs = 500;
} // namespace

ApplicationAssembly::ApplicationAssembly(const CommandLine &options, std::shared_ptr<Replay> replay,
                                         std::shared_ptr<Recorder> recorder,
                                         std::shared_ptr<Recorder> blackBox)
    : m_replay(std::move(replay)), m_recorder(std::move(recorder)), m_blackBox(std::move(blackBox))
{
    // The module's registration must stay in the program (and in its exported symbols).
    volatile auto moduleRegistration = &qml_register_types_ZorvyTco;
    Q_UNUSED(moduleRegistration)

    m_updater.emplace();
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    qml_register_types_Zorvy_Map();
    m_backend.emplace();
    if (m_replay)
        m_backend->setRecordSource(m_replay);
    if (m_recorder && m_blackBox) {
        m_backend->setRecordSink(std::make_shared<RecordSinks>(
            std::vector<std::shared_ptr<RecordSink>>{m_recorder, m_blackBox}));
    } else if (m_recorder || m_blackBox) {
        m_backend->setRecordSink(m_recorder ? m_recorder : m_blackBox);
    }
    m_shelf.emplace(std::vector<std::shared_ptr<Recorder>>{m_recorder, m_blackBox},
                    options.replayPath());

    // Verification and smoke runs show the defaults, whatever the last session chose.
    MapPreferences::setPersistent(!options.verificationRun() && !options.verifyMap() &&
                                  !options.verifyBlink() && !options.smoke());
    // Verification runs keep the map's plain drawing, which their screenshots show.
    MapItem::setDetailByDensityDefault(!options.verificationRun() && !options.verifyMap() &&
                                       !options.verifyBlink());
    m_engine.emplace();
    // The engine owns the provider; the loader outlives the engine.
    m_engine->addImageProvider(QLatin1String(SignalImageProvider::providerId),
                               new SignalImageProvider(TextureLoader::shared()));
    m_engine->setInitialProperties({
        {QStringLiteral("backend"), QVariant::fromValue<QObject *>(&*m_backend)},
        {QStringLiteral("updater"), QVariant::fromValue<QObject *>(&*m_updater)},
        {QStringLiteral("replay"), QVariant::fromValue<QObject *>(m_replay.get())},
        {QStringLiteral("recorder"), QVariant::fromValue<QObject *>(m_recorder.get())},
        {QStringLiteral("blackBox"), QVariant::fromValue<QObject *>(m_blackBox.get())},
        {QStringLiteral("recordings"), QVariant::fromValue<QObject *>(&*m_shelf)},
    });
    // Queued, so that the code takes effect once the event loop runs.
    QObject::connect(
        &*m_engine, &QQmlApplicationEngine::objectCreationFailed, QCoreApplication::instance(),
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    m_engine->load(QUrl(QStringLiteral("qrc:/qt/qml/ZorvyTco/Main.qml")));

    m_verification.emplace(options, *m_backend, *m_engine);
    m_verification->start();

    if (options.smoke())
        QTimer::singleShot(SmokeQuitMs, QCoreApplication::instance(), &QCoreApplication::quit);

    m_backend->connectGame(QString());
}

int ApplicationAssembly::finish(int exitCode)
{
    m_verification.reset();
    m_engine.reset();
    m_shelf.reset();
    bool stopped = m_backend->stopReader(quitWaitMs);
    if (!stopped) {
        const char *call = sdkCallInProgress();
        qCWarning(LogCategory::capture).noquote()
            << "Quit: the library call" << (call ? call : "(none)") << "still runs after"
            << quitWaitMs << "ms; the program ends without it";
    }
    // The image loader ends before the application object: decoding needs Qt's image plugins.
    if (!TextureLoader::shared().stop(textureQuitWaitMs)) {
        qCWarning(LogCategory::map).noquote()
            << "Quit: a signal image is still being read after" << textureQuitWaitMs
            << "ms; the program ends without it";
        stopped = false;
    }
    // What the recorders still hold is written before the program ends.
    for (const std::shared_ptr<Recorder> &recorder : {m_recorder, m_blackBox}) {
        if (recorder)
            recorder->stop();
    }
    m_updater->installOnQuit();
    if (!stopped) {
        // Destroying the Backend, or the image loader at exit, would wait for ever.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(exitCode);
    }
    return exitCode;
}

ApplicationAssembly::~ApplicationAssembly()
{
    m_verification.reset();
    m_engine.reset();
    m_shelf.reset();
    m_backend.reset();
    m_updater.reset();
}
