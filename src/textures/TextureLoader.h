#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// The game's signal images, read and decoded on a thread of their own so that no file can stall
// the window: the map, the list's images and the verification run all ask this one loader.
//
// A file is read only when it is a regular file of at most 8 MiB, and decoded only when it is a
// PNG or a JPEG, told by its first bytes whatever its name: the formats whose decoding work the
// loader can bound before it starts. Their dimensions are read from the image stream itself (the
// PNG's IHDR, the JPEG's frame header), never from a container around it, and an image above
// 4096×4096 is refused before any pixel is decoded. A JPEG is walked marker by marker first: each
// scan of a progressive JPEG makes the decoder pass over every 8×8 block of the components it
// names, so a file of many empty scans would keep the thread busy for minutes (milliseconds a scan
// at 4096×4096) while encoders write about ten. It is refused beyond 100 scans, or when its scans
// together pass over more blocks than 24 scans of one 4096×4096 component: so no accepted image
// costs more than about 24 passes over the largest accepted picture. The image is decoded at no
// more than 192 pixels a side, and a decoded image larger than that is refused too. An image whose
// header announces a large decoding is put back behind the files still waiting, once, so that the
// cheap ones come first. A refused or undecodable file is kept as a failure with its reason,
// so it is read once; whoever draws shows the fallback symbol for it, as for a signal without an
// image.
//
// request() never waits: it answers from the cache, or queues the file and answers Pending.
// loaded() follows, from the loader's thread, once the file is decoded or refused.
class TextureLoader : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maxFileBytes = 8 * 1024 * 1024;
    static constexpr int maxSide = 4096;
    static constexpr int decodeSize = 192;
    static constexpr int maxScans = 100;
    static constexpr qint64 maxScanBlocks = 24 * (maxSide / 8) * (maxSide / 8);
    // What the decoded images may hold in memory; the oldest go first.
    static constexpr qint64 cacheBytes = 64 * 1024 * 1024;
    // Files waiting to be read; a request beyond it fails at once ("too many images waiting"),
    // without being remembered, so that it can be asked again.
    static constexpr int maxQueued = 4096;
    // Decoding work (pixels, times the passes of a JPEG's scans) above which an image waits
    // behind the files queued after it.
    static constexpr qint64 deferredWork = 2048 * 2048;
    // A file that was missing or could not be read is read again when asked this long after.
    static constexpr int defaultRetryAfterMs = 10000;

    enum class State { Pending, Ready, Failed };
    struct Result
    {
        State state = State::Pending;
        QImage image;  // Ready: at most decodeSize a side
        QString error; // Failed: why, in words for a log line
        // Failed for a cause that may pass (the file missing or unreadable for now): the failure
        // is forgotten after the retry interval.
        bool transient = false;
        qint64 failedAtMs = 0;
    };

    explicit TextureLoader(QObject *parent = nullptr);
    ~TextureLoader() override;

    // The loader of this process.
    static TextureLoader &shared();

    Result request(const QString &path);

    // Loads finished so far; a drawing that depends on them is stale when it changes.
    quint64 epoch() const;
    int pendingCount() const;
    // Waits until nothing is queued or being read (tests and benchmarks only: it blocks).
    bool waitForIdle(int timeoutMs);
    // Forgets every decoded image and failure.
    void clear();
    void setRetryAfterMs(int milliseconds);
    // Ends the loader's thread before the program's objects go: true when it ended within
    // timeoutMs (a read that hangs in the file system may keep it); later requests fail.
    bool stop(int timeoutMs);

    // The whole work on one file, on the calling thread.
    static Result load(const QString &path);

Q_SIGNALS:
    void loaded(const QString &path, bool decoded);

private:
    void run();
    // load(), but with deferAbove ≥ 0 an image whose decoding work is larger is only inspected:
    // the answer is then Pending.
    static Result load(const QString &path, qint64 deferAbove);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<QString> m_queue;
    QSet<QString> m_pending;  // queued or being read
    QSet<QString> m_deferred; // put back behind the others once already
    int m_announcing = 0;     // read, their loaded() not yet sent
    QCache<QString, Result> m_cache;
    quint64 m_epoch = 0;
    int m_retryAfterMs = defaultRetryAfterMs;
    bool m_stopping = false;
    bool m_threadEnded = false;
    std::condition_variable m_ended;
    std::thread m_thread;
};
