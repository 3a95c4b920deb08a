#pragma once

#include "RecordStream.h"
#include "RecordingReader.h"
#include "ReplayAttention.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <mutex>

// A recording played back in place of the game: the reader thread takes its captures from here
// (RecordSource) and converts them as it converts live ones, and the window drives the playback
// through the properties: play and pause, speed, step by capture, seek. The image files kept in
// the recording are written to a private folder the first time a capture names them, and the
// capture's records name those copies instead.
class Replay : public QObject, public RecordSource
{
    Q_OBJECT
    Q_PROPERTY(QString fileName READ fileName CONSTANT)
    Q_PROPERTY(int captureCount READ captureCount CONSTANT)
    Q_PROPERTY(double lengthSeconds READ lengthSeconds CONSTANT)
    Q_PROPERTY(bool playing READ playing WRITE setPlaying NOTIFY positionChanged)
    Q_PROPERTY(int speed READ speed WRITE setSpeed NOTIFY positionChanged)
    Q_PROPERTY(int index READ index NOTIFY positionChanged)
    Q_PROPERTY(double seconds READ seconds NOTIFY positionChanged)
    Q_PROPERTY(QString timeText READ timeText NOTIFY positionChanged)
    // The alerts of the recording, as the time bar marks them: each {seconds, state, text}, in
    // order of time; they grow while the recording is read.
    Q_PROPERTY(QVariantList alertMarks READ alertMarks NOTIFY alertMarksChanged)

public:
    // Opens the recording; throws RecordingFormat::Error when it cannot be read. Playback starts
    // paused on the first capture unless play is set.
    explicit Replay(const QString &path, bool play = true, QObject *parent = nullptr);
    // The same with the recording at path already opened (e.g. on another thread).
    Replay(const QString &path, std::unique_ptr<RecordingReader> reader, bool play = true,
           QObject *parent = nullptr);
    ~Replay() override;

    QString fileName() const { return m_fileName; }
    int captureCount() const { return int(m_captures.size()); }
    double lengthSeconds() const;
    bool playing() const;
    void setPlaying(bool playing);
    int speed() const;
    void setSpeed(int speed);
    int index() const;
    double seconds() const;
    QString timeText() const;
    QVariantList alertMarks() const;

    Q_INVOKABLE void step(int captures);
    Q_INVOKABLE void seek(double seconds);

    qint64 dueCapture() override;
    const CapturedRecords *load(qint64 number, QString *error) override;
    int waitMs() override;
    void addAttention(qint64 number, const SnapshotRecords &records, QVariantMap &data,
                      AttentionProgress &progress) override;
    bool attentionMoved(qint64 number, const AttentionProgress &progress) override;
    void setStoppedDelay(qint64 milliseconds) override;

signals:
    void positionChanged();
    void alertMarksChanged();

private:
    // The capture due now, with the mutex held; stops at the end.
    qsizetype dueLocked();
    void anchorLocked(qsizetype index);

    QString m_fileName;
    std::vector<RecordingReader::Capture> m_captures; // a copy for the GUI thread
    std::unique_ptr<RecordingReader> m_reader;        // the reader thread's
    QTemporaryDir m_files;
    std::unique_ptr<ReplayAttention> m_attention; // the alerts, derived on a thread of its own

    mutable std::mutex m_mutex;
    bool m_playing = true;
    int m_speed = 1;
    qsizetype m_anchorIndex = 0;
    qint64 m_anchorMs = 0; // the wall clock of the anchor
    QElapsedTimer m_clock;
    QTimer m_tick; // the position as the window shows it
};
