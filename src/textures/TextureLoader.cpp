#include "TextureLoader.h"

#include "Platform.h"

#include <QBuffer>
#include <QDateTime>
#include <QImageReader>

#include <chrono>
#include <climits>
#include <cstring>

namespace {

QString readFailure(Platform::FileRead outcome)
{
    switch (outcome) {
    case Platform::FileRead::Missing:
        return QStringLiteral("no such file");
    case Platform::FileRead::NotRegular:
        return QStringLiteral("not a regular file");
    case Platform::FileRead::TooLarge:
        return QStringLiteral("file larger than %1 bytes").arg(TextureLoader::maxFileBytes);
    case Platform::FileRead::Failed:
    case Platform::FileRead::Read:
        break;
    }
    return QStringLiteral("the file cannot be read");
}

qsizetype costOf(const TextureLoader::Result &result)
{
    return qMax<qsizetype>(256, result.image.sizeInBytes());
}

quint32 bigEndian16(const uchar *at)
{
    return quint32(at[0]) << 8 | at[1];
}

quint32 bigEndian32(const uchar *at)
{
    return bigEndian16(at) << 16 | bigEndian16(at + 2);
}

// What the image's own stream says, read without decoding: its format, its size and, for a JPEG,
// how many scans the decoder would have to walk. An error text when it cannot be told.
struct StreamHeader
{
    const char *format = nullptr; // "png" or "jpeg"
    QSize size;
    int scans = 0;
    qint64 scanBlocks = 0;
    QString error;
};

StreamHeader pngHeader(const uchar *bytes, qsizetype length)
{
    // The signature, then IHDR, always the first chunk: its length (13), its type, width, height.
    StreamHeader header;
    header.format = "png";
    if (length < 24 || bigEndian32(bytes + 8) != 13 || std::memcmp(bytes + 12, "IHDR", 4) != 0) {
        header.error = QStringLiteral("PNG without its header chunk");
        return header;
    }
    const quint32 width = bigEndian32(bytes + 16);
    const quint32 height = bigEndian32(bytes + 20);
    header.size = QSize(int(qMin<quint32>(width, INT_MAX)), int(qMin<quint32>(height, INT_MAX)));
    return header;
}

// Walks the JPEG's markers: the frame header (SOFn) gives the size, each SOS starts a scan whose
// entropy-coded data runs up to the next marker that is neither a stuffed byte nor a restart.
StreamHeader jpegHeader(const uchar *bytes, qsizetype length)
{
    StreamHeader header;
    header.format = "jpeg";
    qsizetype at = 2;
    while (at < length) {
        if (bytes[at] != 0xFF) {
            header.error = QStringLiteral("damaged JPEG: no marker where one belongs");
            return header;
        }
        while (at < length && bytes[at] == 0xFF) // fill bytes
            ++at;
        if (at >= length)
            break;
        const uchar marker = bytes[at++];
        if (marker == 0xD9) // end of image
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) // markers without a segment
            continue;
        if (at + 2 > length)
            break;
        const qsizetype segment = bigEndian16(bytes + at);
        if (segment < 2 || at + segment > length) {
            header.error = QStringLiteral("damaged JPEG: a segment runs past the file");
            return header;
        }
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && !header.size.isValid() && segment >= 7)
            header.size = QSize(int(bigEndian16(bytes + at + 5)), int(bigEndian16(bytes + at + 3)));
        const int scanComponents = segment > 2 ? bytes[at + 2] : 0;
        at += segment;
        if (marker != 0xDA)
            continue;
        if (!header.size.isValid()) {
            header.error = QStringLiteral("damaged JPEG: a scan before the frame header");
            return header;
        }
        if (++header.scans > TextureLoader::maxScans) {
            header.error =
                QStringLiteral("JPEG of more than %1 scans").arg(TextureLoader::maxScans);
            return header;
        }
        // Each scan passes over every block of each of its components (counted at full size).
        const qint64 blocks =
            (qint64(header.size.width()) + 7) / 8 * ((header.size.height() + 7) / 8);
        header.scanBlocks += blocks * qMax(scanComponents, 1);
        if (header.scanBlocks > TextureLoader::maxScanBlocks) {
            header.error = QStringLiteral("JPEG whose scans pass over more than %1 blocks")
                               .arg(TextureLoader::maxScanBlocks);
            return header;
        }
        for (;;) {
            const void *found = std::memchr(bytes + at, 0xFF, size_t(length - at));
            if (!found) {
                at = length;
                break;
            }
            at = static_cast<const uchar *>(found) - bytes;
            if (at + 1 >= length)
                break;
            const uchar next = bytes[at + 1];
            if (next != 0x00 && next != 0xFF && (next < 0xD0 || next > 0xD7))
                break;
            at += next == 0xFF ? 1 : 2;
        }
    }
    if (!header.size.isValid())
        header.error = QStringLiteral("JPEG without a frame header");
    return header;
}

// Only the formats whose cost can be told before decoding are read, told by their first bytes.
StreamHeader streamHeader(const QByteArray &content)
{
    const auto *bytes = reinterpret_cast<const uchar *>(content.constData());
    const qsizetype length = content.size();
    if (length >= 8 && std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8) == 0)
        return pngHeader(bytes, length);
    if (length >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        return jpegHeader(bytes, length);
    StreamHeader header;
    header.error = QStringLiteral("neither a PNG nor a JPEG image");
    return header;
}

} // namespace

TextureLoader::TextureLoader(QObject *parent) : QObject(parent), m_cache(cacheBytes) {}

TextureLoader::~TextureLoader()
{
    stop(-1);
}

bool TextureLoader::stop(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stopping = true;
    m_queue.clear();
    m_wake.notify_all();
    if (!m_thread.joinable())
        return true;
    const auto ended = [this] { return m_threadEnded; };
    if (timeoutMs < 0)
        m_ended.wait(lock, ended);
    else if (!m_ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended))
        return false;
    lock.unlock();
    m_thread.join();
    return true;
}

TextureLoader &TextureLoader::shared()
{
    static TextureLoader loader;
    return loader;
}

TextureLoader::Result TextureLoader::request(const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const Result *known = m_cache.object(path)) {
        if (!known->transient ||
            QDateTime::currentMSecsSinceEpoch() - known->failedAtMs < m_retryAfterMs)
            return *known;
        m_cache.remove(path);
    }
    if (m_stopping || (!m_pending.contains(path) && int(m_queue.size()) >= maxQueued)) {
        Result refused;
        refused.state = State::Failed;
        refused.error = m_stopping ? QStringLiteral("the loader has stopped")
                                   : QStringLiteral("too many images waiting");
        return refused;
    }
    if (!m_pending.contains(path)) {
        m_pending.insert(path);
        m_queue.push_back(path);
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
        m_wake.notify_one();
    }
    return Result();
}

quint64 TextureLoader::epoch() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_epoch;
}

int TextureLoader::pendingCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_pending.size());
}

bool TextureLoader::waitForIdle(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return m_pending.isEmpty() && m_announcing == 0; });
}

void TextureLoader::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cache.clear();
    ++m_epoch;
}

void TextureLoader::setRetryAfterMs(int milliseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_retryAfterMs = milliseconds;
}

void TextureLoader::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            break;
        const QString path = m_queue.front();
        m_queue.pop_front();
        // A large decoding waits behind the files queued so far, once.
        const qint64 deferAbove = m_queue.empty() || m_deferred.contains(path) ? -1 : deferredWork;
        lock.unlock();
        Result loadedNow = load(path, deferAbove);
        if (loadedNow.state == State::Pending) {
            lock.lock();
            m_deferred.insert(path);
            m_queue.push_back(path);
            continue;
        }
        auto *result = new Result(std::move(loadedNow));
        if (result->transient)
            result->failedAtMs = QDateTime::currentMSecsSinceEpoch();
        const bool decoded = result->state == State::Ready;
        lock.lock();
        // Known and no longer pending in one step: a request from now on is answered, whatever
        // happens to the cache before the announcement.
        m_cache.insert(path, result, costOf(*result));
        m_pending.remove(path);
        m_deferred.remove(path);
        ++m_epoch;
        ++m_announcing;
        lock.unlock();
        Q_EMIT loaded(path, decoded);
        lock.lock();
        --m_announcing;
        if (m_pending.isEmpty() && m_announcing == 0)
            m_idle.notify_all();
    }
    m_threadEnded = true;
    m_ended.notify_all();
}

TextureLoader::Result TextureLoader::load(const QString &path)
{
    return load(path, -1);
}

TextureLoader::Result TextureLoader::load(const QString &path, qint64 deferAbove)
{
    Result result;
    result.state = State::Failed;
    std::string bytes;
    const Platform::FileRead outcome =
        Platform::readRegularFile(path.toStdWString(), std::size_t(maxFileBytes), bytes);
    if (outcome != Platform::FileRead::Read) {
        result.error = readFailure(outcome);
        result.transient =
            outcome == Platform::FileRead::Missing || outcome == Platform::FileRead::Failed;
        return result;
    }

    QByteArray content = QByteArray::fromStdString(bytes);
    bytes = std::string();
    const StreamHeader header = streamHeader(content);
    if (!header.error.isEmpty()) {
        result.error = header.error;
        return result;
    }
    const QSize fileSize = header.size;
    if (fileSize.isEmpty()) {
        result.error =
            QStringLiteral("image of %1×%2 pixels").arg(fileSize.width()).arg(fileSize.height());
        return result;
    }
    if (fileSize.width() > maxSide || fileSize.height() > maxSide) {
        result.error = QStringLiteral("image of %1×%2 pixels, above %3×%3")
                           .arg(fileSize.width())
                           .arg(fileSize.height())
                           .arg(maxSide);
        return result;
    }
    if (deferAbove >= 0 &&
        qMax(qint64(fileSize.width()) * fileSize.height(), header.scanBlocks * 64) > deferAbove)
        return Result(); // Pending: decoded later
    QBuffer buffer(&content);
    buffer.open(QIODevice::ReadOnly);
    // The format the stream was read as, and no other reader tried behind its back.
    QImageReader reader(&buffer, header.format);
    reader.setAutoDetectImageFormat(false);
    QSize target = fileSize;
    if (fileSize.width() > decodeSize || fileSize.height() > decodeSize)
        target = fileSize.scaled(decodeSize, decodeSize, Qt::KeepAspectRatio);
    reader.setScaledSize(target);
    QImage image = reader.read();
    if (image.isNull()) {
        result.error = reader.errorString();
        return result;
    }
    // Whatever the decoder made of the stream, nothing larger than asked is kept.
    if (image.width() > qMax(target.width(), target.height()) ||
        image.height() > qMax(target.width(), target.height())) {
        result.error = QStringLiteral("decoded to %1×%2 pixels, more than its header said")
                           .arg(image.width())
                           .arg(image.height());
        return result;
    }
    result.state = State::Ready;
    result.image = std::move(image);
    return result;
}
