#include "VerificationRun.h"

#include "DataMapKeys.h"
#include "LogCategories.h"
#include "MapSignalTable.h"
#include "ModelConstants.h"
#include "ViewChoices.h"

#include "Backend.h"
#include "CommandLine.h"

#include <QCoreApplication>
#include <QDebug>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

#include <cstdio>

namespace {

constexpr int BlinkTickMs = 100;
constexpr int RunLengthMs = 8000;
constexpr int TextureWaitMs = 5000;
constexpr int ScreenshotSettleMs = 250;

// One measurement line, flushed at once so that a script reading the pipe sees it immediately.
void printLine(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fflush(stdout);
}

QString phaseFileName(const QString &stem, int state)
{
    return stem + QStringLiteral(".phase%1.png").arg(state);
}
} // namespace

VerificationRun::VerificationRun(const CommandLine &options, Backend &backend,
                                 QQmlApplicationEngine &engine)
    : m_options(options), m_backend(backend), m_engine(engine), m_textures(TextureLoader::shared())
{
    connect(&m_textures, &TextureLoader::loaded, this, &VerificationRun::textureArrived);
}

void VerificationRun::start()
{
    m_textureRun = m_options.verifyTextures();
    m_blinkRun = m_options.verifyBlink();

    if (m_blinkRun) {
        connect(&m_blinkTimer, &QTimer::timeout, this, &VerificationRun::watchBlink);
        m_blinkTimer.start(BlinkTickMs);
    }

    if (!m_options.verificationRun())
        return;

    if (QObject *root = rootObject()) {
        root->setProperty("visible", m_textureRun);
        if (m_textureRun) {
            root->setProperty("panelMode", m_options.verifyMap());
            // The window's scope chooser shows the scope of the run ("Avec signaux"), so that
            // its screenshot does not contradict the list it shows.
            if (QObject *scope = root->findChild<QObject *>(QStringLiteral("scope")))
                scope->setProperty("currentIndex", int(ListScope::WithSignals));
            m_backend.setView(1, QString(), QString(), 0);
        }
    }
    connect(&m_backend, &Backend::changed, this, &VerificationRun::measureFrame);
    m_endTimer.setSingleShot(true);
    connect(&m_endTimer, &QTimer::timeout, this, &VerificationRun::finish);
    m_endTimer.start(RunLengthMs);
}

QObject *VerificationRun::rootObject() const
{
    const QList<QObject *> roots = m_engine.rootObjects();
    return roots.isEmpty() ? nullptr : roots.first();
}

QQuickWindow *VerificationRun::rootWindow() const
{
    return qobject_cast<QQuickWindow *>(rootObject());
}

void VerificationRun::watchBlink()
{
    const QVariantMap map = m_backend.data();
    if (!map.value(DataMapKeys::liveKey).toBool() || !rootObject())
        return;

    const MapSignalTable signalTable =
        MapSignalTable::fromVariant(map.value(DataMapKeys::mapSignalsKey));
    for (qsizetype i = 0; i < signalTable.size(); ++i) {
        const int state = signalTable.textureState(i);
        const bool candidate = signalTable.stateAvailable(i) && SignalState::isBlinkState(state) &&
                               !m_blinkPhases.contains(state);
        if (!candidate)
            continue;
        if (state != m_lastBlinkState) {
            m_lastBlinkState = state;
            continue;
        }
        // The same blinking state twice in a row: the window shows it steadily enough to save.
        // Not while images are still being read: the screenshot would miss them.
        QQuickWindow *window = rootWindow();
        if (!window || m_textures.pendingCount() > 0)
            continue;
        const QString stem = m_options.screenshotPath();
        if (m_options.screenshotRequested() && !stem.isEmpty() &&
            window->grabWindow().save(phaseFileName(stem, state)))
            m_blinkPhases.insert(state);
    }
}

void VerificationRun::measureFrame()
{
    if (m_finishing)
        return;
    const QVariantMap map = m_backend.data();
    if (!map.value(DataMapKeys::liveKey).toBool()) {
        qCInfo(LogCategory::verify) << "WAIT" << map.value(DataMapKeys::statusKey);
        return;
    }

    ++m_frames;
    const QVariantList trains = map.value(DataMapKeys::trainsKey).toList();
    if (!trains.isEmpty()) {
        const QVariantMap first = trains.first().toMap();
        m_positions.insert(
            first.value(DataMapKeys::trackKey).toString() +
            QString::number(first.value(DataMapKeys::fractionKey).toDouble(), 'g', 16));
    }
    const bool reservationsAvailable = map.value(DataMapKeys::reservationsAvailableKey).toBool();
    const bool occupationsAvailable = map.value(DataMapKeys::occupationsAvailableKey).toBool();
    if (reservationsAvailable && occupationsAvailable)
        ++m_usageFrames;
    if (m_textureRun)
        checkTextures(map);

    const qlonglong reserved = map.value(DataMapKeys::mapReservationsKey).toList().size();
    const qlonglong occupied = map.value(DataMapKeys::mapOccupationsKey).toList().size();
    printLine(QString::asprintf("LIVE %d signal_states=%d capture_ms=%lld reserved=%lld "
                                "available=%d occupied=%lld available=%d\n",
                                m_frames, map.value(DataMapKeys::signalStateCountKey).toInt(),
                                map.value(DataMapKeys::captureMsKey).toLongLong(), reserved,
                                int(reservationsAvailable), occupied, int(occupationsAvailable))
                  .toUtf8());
    qCInfo(LogCategory::verify) << "LIVE" << m_frames << map.value(DataMapKeys::updatedKey)
                                << "captureMs" << map.value(DataMapKeys::captureMsKey)
                                << "positioned" << map.value(DataMapKeys::positionedCountKey)
                                << "reservations"
                                << map.value(DataMapKeys::reservationsAvailableKey) << reserved
                                << "occupation" << map.value(DataMapKeys::occupationsAvailableKey)
                                << occupied;
}

void VerificationRun::checkTextures(const QVariantMap &map)
{
    const int textureCount = map.value(DataMapKeys::signalTextureCountKey).toInt();
    if (textureCount >= 1 &&
        map.value(DataMapKeys::signalCountKey) == map.value(DataMapKeys::signalTextureCountKey))
        ++m_textureFrames;

    // The files are read by the texture loader, off this thread; their outcomes come back
    // through takeTexture.
    const MapSignalTable signalTable =
        MapSignalTable::fromVariant(map.value(DataMapKeys::mapSignalsKey));
    for (qsizetype i = 0; i < signalTable.size(); ++i) {
        const QString path = signalTable.texturePath(i);
        if (path.isEmpty() || m_checkedTextures.contains(path) || m_awaitedTextures.contains(path))
            continue;
        const TextureLoader::Result result = m_textures.request(path);
        if (result.state == TextureLoader::State::Pending)
            m_awaitedTextures.insert(path);
        else
            takeTexture(path, result);
    }
}

void VerificationRun::textureArrived(const QString &path)
{
    if (!m_awaitedTextures.remove(path))
        return;
    takeTexture(path, m_textures.request(path));
    // The window is given the time to show the last images before its screenshot.
    if (m_finishing && m_awaitedTextures.isEmpty())
        QTimer::singleShot(ScreenshotSettleMs, this, &VerificationRun::finish);
}

void VerificationRun::takeTexture(const QString &path, const TextureLoader::Result &result)
{
    if (result.state == TextureLoader::State::Pending) {
        // Dropped from the loader's cache in between: asked again.
        m_awaitedTextures.insert(path);
        return;
    }
    m_checkedTextures.insert(path);
    if (result.state == TextureLoader::State::Ready) {
        m_decodedTextures.insert(path);
    } else {
        qCWarning(LogCategory::verify) << "Texture decode failed" << path << result.error;
        m_decodeFailure = true;
    }
}

void VerificationRun::finish()
{
    // Files still being read are waited for, a little: what is not read by then failed.
    if (!m_awaitedTextures.isEmpty()) {
        if (!m_finishing) {
            m_finishing = true;
            QTimer::singleShot(TextureWaitMs, this, [this] {
                for (const QString &path : std::as_const(m_awaitedTextures)) {
                    qCWarning(LogCategory::verify)
                        << "Texture decode failed" << path << "still loading";
                    m_decodeFailure = true;
                }
                m_awaitedTextures.clear();
                finish();
            });
        }
        return;
    }
    if (m_finished)
        return;
    m_finished = true;
    bool screenshotGood = !m_options.screenshotRequested();
    if (m_options.screenshotRequested()) {
        const QString path = m_options.screenshotPath();
        QQuickWindow *window = rootWindow();
        screenshotGood = !path.isEmpty() && window && window->grabWindow().save(path);
    }

    printLine(QString::asprintf("VERIFY frames=%d usage_frames=%d distinct_positions=%lld "
                                "texture_frames=%d decoded_textures=%lld\n",
                                m_frames, m_usageFrames, qlonglong(m_positions.size()),
                                m_textureFrames, qlonglong(m_decodedTextures.size()))
                  .toUtf8());
    printLine(QString::asprintf("BLINK phases=%lld\n", qlonglong(m_blinkPhases.size())).toUtf8());

    bool passed = m_frames >= 2 && m_usageFrames >= 2 && screenshotGood;
    if (m_blinkRun)
        passed = passed && m_blinkPhases.size() == 2;
    if (m_textureRun)
        passed = passed && m_textureFrames >= 2 && !m_decodeFailure && !m_decodedTextures.isEmpty();
    QCoreApplication::exit(passed ? 0 : 2);
}
