// GUI-thread time per published data map: the real window (through the program's own assembly)
// observes ZorvyRails.exe --size small|medium|large. A map's time runs from the delivery of the
// reader's result to the Backend until the delivery of the next one, counting only the time the
// GUI thread is awake (the event dispatcher's awake/aboutToBlock): the Backend's handling, the
// window's bindings, polishing, layout and the scene-graph synchronisation the map causes.
//
// Usage: bench_ui [small] [medium] [large]   (all three by default)

#include "ApplicationAssembly.h"
#include "CommandLine.h"
#include "GameProcess.h"
#include "SdkLoader.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int WarmUpMaps = 3;
constexpr int MeasuredMaps = 20;

// Adds up the time the GUI thread is awake, per data map delivered to the Backend.
class BusyMeter : public QObject
{
public:
    explicit BusyMeter(QObject *backend)
    {
        m_clock.start();
        QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (m_awake) {
                m_busyNs += m_clock.nsecsElapsed() - m_awakeSince;
                m_awake = false;
            }
        });
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] {
            if (!m_awake) {
                m_awakeSince = m_clock.nsecsElapsed();
                m_awake = true;
            }
        });
        backend->installEventFilter(this);
    }

    const std::vector<double> &samples() const { return m_samples; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        // The reader's result arrives as a queued call on the Backend: a new map starts here.
        if (event->type() == QEvent::MetaCall) {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_awake) {
                m_busyNs += now - m_awakeSince;
                m_awakeSince = now;
            }
            if (m_started)
                m_samples.push_back(m_busyNs / 1e6);
            m_started = true;
            m_busyNs = 0;
        }
        return false;
    }

private:
    QElapsedTimer m_clock;
    qint64 m_awakeSince = 0;
    qint64 m_busyNs = 0;
    bool m_awake = true;
    bool m_started = false;
    std::vector<double> m_samples;
};

struct Result
{
    double mean = 0;
    double median = 0;
    double max = 0;
    int maps = 0;
};

Result summarise(std::vector<double> samples)
{
    Result result;
    if (samples.size() <= size_t(WarmUpMaps))
        return result;
    samples.erase(samples.begin(), samples.begin() + WarmUpMaps);
    result.maps = int(samples.size());
    double sum = 0;
    for (double value : samples)
        sum += value;
    result.mean = sum / samples.size();
    std::sort(samples.begin(), samples.end());
    result.median = samples[samples.size() / 2];
    result.max = samples.back();
    return result;
}

// One mode of the window on one world: panel (the map) or list (all tracks, first page).
Result measure(bool listMode)
{
    const CommandLine options({QStringLiteral("bench_ui")});
    ApplicationAssembly assembly(options);
    QObject *root = assembly.engine().rootObjects().value(0);
    if (!root)
        qFatal("the window could not be created");
    if (listMode) {
        root->setProperty("panelMode", false);
        assembly.backend().setView(2, QString(), QString(), 0);
    }
    BusyMeter meter(&assembly.backend());
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (int(meter.samples().size()) >= WarmUpMaps + MeasuredMaps)
            QCoreApplication::quit();
    });
    poll.start(50);
    QTimer::singleShot(60000, QCoreApplication::instance(), &QCoreApplication::quit);
    QGuiApplication::exec();
    return summarise(meter.samples());
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QString sdkError;
    if (!loadSdk(&sdkError))
        qFatal("%s", qPrintable(sdkError));

    QStringList sizes = app.arguments().mid(1);
    if (sizes.isEmpty())
        sizes = {QStringLiteral("small"), QStringLiteral("medium"), QStringLiteral("large")};

    std::printf("GUI-thread time per data map (ms), %d maps after %d warm-up\n", MeasuredMaps,
                WarmUpMaps);
    for (const QString &size : sizes) {
        if (!GameProcess::runningGames().isEmpty())
            qFatal("another ZorvyRails.exe is running; stop it first");
        GameProcess game;
        if (!game.start({QStringLiteral("--size"), size}))
            qFatal("cannot start the game: %s", qPrintable(game.errorString()));
        for (const bool listMode : {false, true}) {
            const Result result = measure(listMode);
            std::printf("%-6s %-5s mean %7.2f  median %7.2f  max %7.2f  (%d maps)\n",
                        qPrintable(size), listMode ? "list" : "panel", result.mean, result.median,
                        result.max, result.maps);
            std::fflush(stdout);
        }
    }
    return 0;
}
