// GUI-thread time of the data path with the window hidden, as in a verification run: the real
// program's assembly observes ZorvyRails.exe --size small|medium|large --textures all. A map's
// time is the CPU time of the GUI thread from the delivery of one reader result to the Backend
// until the delivery of the next (the Backend's handling, the window's models, freeing what the
// GUI thread frees). A train selection's time is the CPU time of Backend::selectTrain, its
// changed() emission included, alternating between the first positioned trains.
//
// Usage: bench_gui_hidden [small] [medium] [large]   (all three by default)

#include "ApplicationAssembly.h"
#include "CommandLine.h"
#include "GameProcess.h"
#include "SdkLoader.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int WarmUpMaps = 4;
constexpr int MeasuredMaps = 40;
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
    explicit CpuMeter(QObject *backend) { backend->installEventFilter(this); }
    void restart()
    {
        m_samples.clear();
        m_started = false;
    }
    const std::vector<double> &samples() const { return m_samples; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MetaCall) {
            const double now = threadCpuMs();
            if (m_started)
                m_samples.push_back(now - m_since);
            m_started = true;
            m_since = now;
        }
        return false;
    }

private:
    double m_since = 0;
    bool m_started = false;
    std::vector<double> m_samples;
};

void report(const QString &size, const char *what, std::vector<double> samples, int skip)
{
    if (samples.size() <= size_t(skip)) {
        std::printf("%-6s %-12s no data\n", qPrintable(size), what);
        return;
    }
    samples.erase(samples.begin(), samples.begin() + skip);
    double sum = 0;
    for (double value : samples)
        sum += value;
    std::sort(samples.begin(), samples.end());
    std::printf("%-6s %-12s mean %7.2f  median %7.2f  max %7.2f  (%zu)\n", qPrintable(size), what,
                sum / samples.size(), samples[samples.size() / 2], samples.back(), samples.size());
    std::fflush(stdout);
}

void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void collect(const CpuMeter &meter)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (int(meter.samples().size()) >= WarmUpMaps + MeasuredMaps)
            loop.quit();
    });
    poll.start(50);
    QTimer::singleShot(90000, &loop, &QEventLoop::quit);
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
    if (sizes.isEmpty())
        sizes = {QStringLiteral("small"), QStringLiteral("medium"), QStringLiteral("large")};

    const CommandLine options({QStringLiteral("bench_gui_hidden")});
    ApplicationAssembly assembly(options);
    QObject *root = assembly.engine().rootObjects().value(0);
    if (!root)
        qFatal("the window could not be created");
    root->setProperty("visible", false);
    Backend &backend = assembly.backend();
    CpuMeter meter(&backend);

    std::printf("GUI-thread CPU time (ms), window hidden\n");
    for (const QString &size : sizes) {
        GameProcess game;
        if (!game.start({QStringLiteral("--size"), size, QStringLiteral("--textures"),
                         QStringLiteral("all")},
                        120000))
            qFatal("cannot start the game: %s", qPrintable(game.errorString()));
        backend.connectGame(QString::number(game.processId()));
        meter.restart();
        collect(meter);
        report(size, "per map", meter.samples(), WarmUpMaps);

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
        for (int i = 0; i < Selections && !trains.isEmpty(); ++i) {
            runEventLoop(300); // a live map arrives in between
            const double since = threadCpuMs();
            backend.selectTrain(trains[i % trains.size()]);
            selections.push_back(threadCpuMs() - since);
        }
        report(size, "selection", selections, 0);
        backend.disconnectGame();
        runEventLoop(200);
    }
    return 0;
}
