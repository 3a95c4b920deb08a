// GUI-thread time per published data map: the real window (through the program's own assembly)
// observes ZorvyRails.exe --size small|medium|large, in panel mode with the map framed on the
// world being measured, and in list mode (all tracks, first page of 500); window 1600 x 900. A
// map's time is the CPU time of the GUI thread from the delivery of one reader result to the
// Backend until the delivery of the next: the Backend's handling, the window's bindings and list
// models, polishing, layout, the map item's update and, with the software scene graph of a headless
// run, the rendering of the frame. Waiting costs nothing. The " changed()" lines give the part
// spent inside the Backend's changed() emission: the window's bindings, its list models and the map
// item taking the map.
//
// With --hidden, the window is hidden instead (as in a verification run) and the time of a train
// selection (Backend::selectTrain with its changed() emission, alternating between the first
// positioned trains, one every 300 ms) is measured too.
//
// Usage: bench_ui [--hidden] [small] [medium] [large]   (all three by default)

#include "ApplicationAssembly.h"
#include "CommandLine.h"
#include "GameProcess.h"
#include "SdkLoader.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int WarmUpMaps = 4;
constexpr int MeasuredMaps = 20;
constexpr int Selections = 20;

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Splits the GUI thread's CPU time at every result the reader delivers to the Backend.
class CpuMeter : public QObject
{
public:
    explicit CpuMeter(Backend *backend)
    {
        backend->installEventFilter(this);
        // Connected after the window's own connections, so it runs when they have all returned.
        connect(backend, &Backend::changed, this, [this] {
            if (m_inDelivery)
                m_handlerSamples.push_back(threadCpuMs() - m_since);
            m_inDelivery = false;
        });
    }

    void restart()
    {
        m_samples.clear();
        m_handlerSamples.clear();
        m_started = false;
    }
    const std::vector<double> &samples() const { return m_samples; }
    // The part spent inside the Backend's changed() emission: the bindings and the models.
    const std::vector<double> &handlerSamples() const { return m_handlerSamples; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        // The reader's result arrives as a queued call on the Backend: a new map starts here.
        if (event->type() == QEvent::MetaCall) {
            const double now = threadCpuMs();
            if (m_started)
                m_samples.push_back(now - m_since);
            m_started = true;
            m_since = now;
            m_inDelivery = true;
        }
        return false;
    }

private:
    double m_since = 0;
    bool m_started = false;
    bool m_inDelivery = false;
    std::vector<double> m_samples;
    std::vector<double> m_handlerSamples;
};

int framesRendered = 0;

// One line: the mean, median and largest time of the measured maps, and the frames the window
// rendered meanwhile (frames < 0: not shown).
void report(const QString &size, const char *mode, std::vector<double> samples, int frames)
{
    if (samples.size() <= size_t(WarmUpMaps)) {
        std::printf("%-6s %-10s no data\n", qPrintable(size), mode);
        return;
    }
    samples.erase(samples.begin(), samples.begin() + WarmUpMaps);
    double sum = 0;
    for (double value : samples)
        sum += value;
    std::sort(samples.begin(), samples.end());
    std::printf("%-6s %-10s mean %7.2f  median %7.2f  max %7.2f  (%zu maps", qPrintable(size), mode,
                sum / samples.size(), samples[samples.size() / 2], samples.back(), samples.size());
    if (frames >= 0)
        std::printf(", %d frames rendered", frames);
    std::printf(")\n");
    std::fflush(stdout);
}

// Runs the event loop until the meter holds enough maps (or a minute has passed). A local loop:
// quitting the application's own loop would tell the scene graph that the program ends.
void collect(const CpuMeter &meter)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (int(meter.samples().size()) >= WarmUpMaps + MeasuredMaps)
            loop.quit();
    });
    poll.start(50);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QString sdkError;
    if (!loadSdk(&sdkError))
        qFatal("%s", qPrintable(sdkError));

    QStringList sizes = app.arguments().mid(1);
    const bool hidden = sizes.removeAll(QStringLiteral("--hidden")) > 0;
    if (sizes.isEmpty())
        sizes = {QStringLiteral("small"), QStringLiteral("medium"), QStringLiteral("large")};
    if (!GameProcess::runningGames().isEmpty())
        qFatal("another ZorvyRails.exe is running; stop it first");

    // The window's remembered choices (list or map, scope, place and size) live apart from the
    // user's, so that the measurement always starts from the same window.
    QStandardPaths::setTestModeEnabled(true);
    const CommandLine options({QStringLiteral("bench_ui")});
    ApplicationAssembly assembly(options);
    QObject *root = assembly.engine().rootObjects().value(0);
    if (!root)
        qFatal("the window could not be created");
    if (auto *window = qobject_cast<QQuickWindow *>(root))
        QObject::connect(window, &QQuickWindow::frameSwapped, [] { ++framesRendered; });
    // The window at 1600 x 900, the size the figures are stated for.
    root->setProperty("width", 1600);
    root->setProperty("height", 900);
    if (hidden)
        root->setProperty("visible", false);
    Backend &backend = assembly.backend();
    CpuMeter meter(&backend);

    std::printf("GUI-thread CPU time per data map (ms), %d maps after %d warm-up\n", MeasuredMaps,
                WarmUpMaps);
    for (const QString &size : sizes) {
        GameProcess game;
        if (!game.start({QStringLiteral("--size"), size, QStringLiteral("--textures"),
                         QStringLiteral("all")}))
            qFatal("cannot start the game: %s", qPrintable(game.errorString()));
        backend.connectGame(QString::number(game.processId()));

        // The map framed on this world, as a user who starts the program on it sees it: wait for
        // its first live map, then fit.
        root->setProperty("panelMode", true);
        {
            QEventLoop loop;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (backend.data().value(QStringLiteral("live")).toBool())
                    loop.quit();
            });
            poll.start(20);
            QTimer::singleShot(30000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        if (QObject *map = root->findChild<QObject *>(QStringLiteral("map")))
            QMetaObject::invokeMethod(map, "fit");

        if (hidden) {
            meter.restart();
            collect(meter);
            report(size, "hidden", meter.samples(), -1);
            // The first positioned trains of the current map.
            QStringList trains;
            for (const QVariant &entry : backend.data().value(QStringLiteral("trains")).toList()) {
                const QVariantMap train = entry.toMap();
                if (train.value(QStringLiteral("positioned")).toBool())
                    trains << train.value(QStringLiteral("id")).toString();
                if (trains.size() == 4)
                    break;
            }
            std::vector<double> selections;
            for (int i = 0; i < Selections + WarmUpMaps && !trains.isEmpty(); ++i) {
                QEventLoop wait; // a live map arrives in between
                QTimer::singleShot(300, &wait, &QEventLoop::quit);
                wait.exec();
                const double since = threadCpuMs();
                backend.selectTrain(trains[i % trains.size()]);
                selections.push_back(threadCpuMs() - since);
            }
            report(size, "selection", selections, -1);
            backend.disconnectGame();
            continue;
        }

        meter.restart();
        framesRendered = 0;
        collect(meter);
        report(size, "panel", meter.samples(), framesRendered);
        report(size, " changed()", meter.handlerSamples(), -1);

        root->setProperty("panelMode", false);
        backend.setView(2, QString(), QString(), 0);
        meter.restart();
        framesRendered = 0;
        collect(meter);
        report(size, "list", meter.samples(), framesRendered);
        report(size, " changed()", meter.handlerSamples(), -1);

        backend.disconnectGame();
    }
    return 0;
}
