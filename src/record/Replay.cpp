#include "Replay.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace {
constexpr int tickMs = 100;
constexpr int pausedWaitMs = 100;
} // namespace

Replay::Replay(const QString &path, bool play, QObject *parent)
    : Replay(path, std::make_unique<RecordingReader>(path), play, parent)
{
}

Replay::Replay(const QString &path, std::unique_ptr<RecordingReader> reader, bool play,
               QObject *parent)
    : QObject(parent), m_reader(std::move(reader)), m_playing(play)
{
    m_fileName = m_reader->fileName();
    if (m_files.isValid())
        m_reader->extractImages(m_files.path(), QString());
    m_captures = m_reader->captures();
    if (m_captures.empty())
        throw RecordingFormat::Error(
            QStringLiteral("Enregistrement vide (%1) : aucune capture").arg(m_fileName));
    m_attention = std::make_unique<ReplayAttention>(
        path, AttentionTracker::Settings{}.stoppedDelayMs, [this] {
            QMetaObject::invokeMethod(this, &Replay::alertMarksChanged, Qt::QueuedConnection);
        });
    m_clock.start();
    connect(&m_tick, &QTimer::timeout, this, [this] {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_playing)
            QMetaObject::invokeMethod(this, &Replay::positionChanged, Qt::QueuedConnection);
    });
    m_tick.start(tickMs);
}

Replay::~Replay() = default;

double Replay::lengthSeconds() const
{
    return double(m_captures.back().timeMs - m_captures.front().timeMs) / 1000.0;
}

qsizetype Replay::dueLocked()
{
    if (!m_playing)
        return m_anchorIndex;
    const qint64 recorded =
        m_captures[std::size_t(m_anchorIndex)].timeMs + (m_clock.elapsed() - m_anchorMs) * m_speed;
    qsizetype index = m_anchorIndex;
    while (index + 1 < qsizetype(m_captures.size()) &&
           m_captures[std::size_t(index + 1)].timeMs <= recorded)
        ++index;
    if (index + 1 >= qsizetype(m_captures.size())) {
        // The end: playback stops on the last capture.
        m_playing = false;
        m_anchorIndex = index;
        QMetaObject::invokeMethod(this, &Replay::positionChanged, Qt::QueuedConnection);
    }
    return index;
}

void Replay::anchorLocked(qsizetype index)
{
    m_anchorIndex = std::clamp<qsizetype>(index, 0, qsizetype(m_captures.size()) - 1);
    m_anchorMs = m_clock.elapsed();
}

bool Replay::playing() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_playing;
}

void Replay::setPlaying(bool playing)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        qsizetype index = dueLocked();
        // Play at the end starts again from the beginning.
        if (playing && index + 1 >= qsizetype(m_captures.size()))
            index = 0;
        anchorLocked(index);
        m_playing = playing;
    }
    emit positionChanged();
}

int Replay::speed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_speed;
}

void Replay::setSpeed(int speed)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        anchorLocked(dueLocked());
        m_speed = std::clamp(speed, 1, 64);
    }
    emit positionChanged();
}

int Replay::index() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(const_cast<Replay *>(this)->dueLocked());
}

double Replay::seconds() const
{
    const qsizetype shown = index();
    return double(m_captures[std::size_t(shown)].timeMs - m_captures.front().timeMs) / 1000.0;
}

QString Replay::timeText() const
{
    const qsizetype shown = index();
    const qint64 offset = m_captures[std::size_t(shown)].timeMs - m_captures.front().timeMs;
    const QString clock = QDateTime::fromMSecsSinceEpoch(m_captures[std::size_t(shown)].timeMs)
                              .time()
                              .toString(QStringLiteral("HH:mm:ss"));
    return QStringLiteral("%1 · +%2:%3 · capture %4/%5")
        .arg(clock)
        .arg(offset / 60000)
        .arg((offset / 1000) % 60, 2, 10, QLatin1Char('0'))
        .arg(shown + 1)
        .arg(m_captures.size());
}

void Replay::step(int captures)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const qsizetype index = dueLocked();
        m_playing = false;
        anchorLocked(index + captures);
    }
    emit positionChanged();
}

void Replay::seek(double seconds)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dueLocked();
        const qint64 target = m_captures.front().timeMs + qint64(seconds * 1000.0);
        qsizetype index = 0;
        while (index + 1 < qsizetype(m_captures.size()) &&
               m_captures[std::size_t(index + 1)].timeMs <= target)
            ++index;
        anchorLocked(index);
    }
    emit positionChanged();
}

qint64 Replay::dueCapture()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return dueLocked();
}

int Replay::waitMs()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const qsizetype index = dueLocked();
    if (!m_playing || index + 1 >= qsizetype(m_captures.size()))
        return pausedWaitMs;
    const qint64 recorded =
        m_captures[std::size_t(m_anchorIndex)].timeMs + (m_clock.elapsed() - m_anchorMs) * m_speed;
    const qint64 left = (m_captures[std::size_t(index + 1)].timeMs - recorded) / m_speed;
    return int(std::clamp<qint64>(left, 1, pausedWaitMs));
}

const CapturedRecords *Replay::load(qint64 number, QString *error)
{
    try {
        return &m_reader->load(qsizetype(number));
    } catch (const RecordingFormat::Error &failure) {
        *error = failure.text();
        return nullptr;
    }
}

QVariantList Replay::alertMarks() const
{
    static const QString secondsKey = QStringLiteral("seconds");
    static const QString stateKey = QStringLiteral("state");
    static const QString textKey = QStringLiteral("text");
    QVariantList marks;
    for (const ReplayAttention::Mark &mark : m_attention->marks())
        marks.append(
            QVariantMap{{secondsKey, mark.seconds}, {stateKey, mark.state}, {textKey, mark.text}});
    return marks;
}

void Replay::addAttention(qint64 number, const SnapshotRecords &records, QVariantMap &data,
                          AttentionProgress &progress)
{
    m_attention->addAttention(number, records, data, progress);
}

bool Replay::attentionMoved(qint64 number, const AttentionProgress &progress)
{
    return m_attention->attentionMoved(number, progress);
}

void Replay::setStoppedDelay(qint64 milliseconds)
{
    m_attention->setStoppedDelay(milliseconds);
}
