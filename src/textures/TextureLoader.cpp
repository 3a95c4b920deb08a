#include "TextureLoader.h"

#include "Platform.h"

#include <QBuffer>
#include <QDateTime>
#include <QImageReader>

#include <chrono>

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
        lock.unlock();
        auto *result = new Result(load(path));
        if (result->transient)
            result->failedAtMs = QDateTime::currentMSecsSinceEpoch();
        const bool decoded = result->state == State::Ready;
        lock.lock();
        // Known and no longer pending in one step: a request from now on is answered, whatever
        // happens to the cache before the announcement.
        m_cache.insert(path, result, costOf(*result));
        m_pending.remove(path);
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
    QBuffer buffer(&content);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer); // the format is told by the content, whatever the file's name
    const QSize fileSize = reader.size();
    if (!fileSize.isValid() || fileSize.isEmpty()) {
        result.error = reader.canRead() ? QStringLiteral("the image does not tell its size")
                                        : reader.errorString();
        return result;
    }
    if (fileSize.width() > maxSide || fileSize.height() > maxSide) {
        result.error = QStringLiteral("image of %1×%2 pixels, above %3×%3")
                           .arg(fileSize.width())
                           .arg(fileSize.height())
                           .arg(maxSide);
        return result;
    }
    if (fileSize.width() > decodeSize || fileSize.height() > decodeSize)
        reader.setScaledSize(fileSize.scaled(decodeSize, decodeSize, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (image.isNull()) {
        result.error = reader.errorString();
        return result;
    }
    result.state = State::Ready;
    result.image = std::move(image);
    return result;
}
