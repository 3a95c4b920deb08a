#pragma once

#include "RecordStream.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Keeps every live capture in a recording file, on a writer thread of its own: the reader thread
// only hands over the shared records. It commits at least once a second, so that a program killed
// while recording leaves a file that replays up to about a second before the end. When the file
// cannot be written (disk full, file gone), the recording stops with a French status and the live
// view goes on.
class Recorder : public QObject, public RecordSink
{
    Q_OBJECT
    Q_PROPERTY(bool recording READ recording NOTIFY statusChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)

public:
    static constexpr int commitIntervalMs = 500;
    // Captures waiting for the writer beyond this count, or beyond this many bytes of records
    // (a capture of the largest worlds holds over 100 MB), are dropped, and the status says how
    // many from then on; one capture always finds room.
    static constexpr int maxQueued = 32;
    static constexpr qint64 maxQueuedBytes = qint64(128) << 20;

    explicit Recorder(QObject *parent = nullptr);
    ~Recorder() override; // stop()

    // Creates the file and starts the writer; false with the reason in status() when the file
    // cannot be created.
    bool start(const QString &path);
    // The black box: the session's last windowMs kept in folder()/blackbox.zrec within
    // budgetBytes, the oldest captures dropped first (the previous session's black box becomes
    // blackbox-previous.zrec). False with the reason in status().
    bool startBlackBox(qint64 windowMs, qint64 budgetBytes);
    // The same limits for a recording of path (0: none).
    bool start(const QString &path, qint64 windowMs, qint64 budgetBytes);

    // Starts a recording in folder() under a name of the time, e.g. "session-20260301-142500.zrec"
    // (for the window's button); false with the reason in status().
    Q_INVOKABLE bool startInFolder();
    // Writes what is queued, commits and ends the writer.
    Q_INVOKABLE void stop();
    // Where the window's recordings go: "recordings" in the user's application data.
    static QString folder();

    bool recording() const;
    QString status() const;
    // The file being written, empty when none.
    QString path() const;
    qint64 captureCount() const;
    // The captures committed to the file so far (a program killed now leaves them readable).
    qint64 committedCount() const;
    qint64 bytesWritten() const;
    // The writer thread's CPU time per capture written so far, in ms.
    double cpuMsPerCapture() const;

    void take(SharedCapture capture) override;

signals:
    void statusChanged();

private:
    void setStatus(const QString &text, bool recording);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<SharedCapture> m_queue;
    qint64 m_queuedBytes = 0;
    bool m_stopping = false;
    bool m_recording = false;
    QString m_status;
    QString m_path;
    qint64 m_dropped = 0;
    qint64 m_written = 0;
    qint64 m_committed = 0;
    qint64 m_bytes = 0;
    qint64 m_cpuNs = 0;
    std::thread m_thread;
};
