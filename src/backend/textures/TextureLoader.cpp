#include "TextureLoader.h"

#include "Platform.h"

#include <QBuffer>
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
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

TextureLoader &TextureLoader::shared()
{
    static TextureLoader loader;
    return loader;
}

TextureLoader::Result TextureLoader::request(const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const Result *known = m_cache.object(path))
        return *known;
    if (!m_pending.contains(path) && int(m_queue.size()) < maxQueued && !m_stopping) {
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
                           [this] { return m_pending.isEmpty(); });
}

void TextureLoader::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cache.clear();
    ++m_epoch;
}

void TextureLoader::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        const QString path = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        auto *result = new Result(load(path));
        const bool decoded = result->state == State::Ready;
        lock.lock();
        m_cache.insert(path, result, costOf(*result));
        ++m_epoch;
        lock.unlock();
        // Announced before the file stops counting as pending, so that whoever waited for the
        // loader to be idle has had every announcement.
        Q_EMIT loaded(path, decoded);
        lock.lock();
        m_pending.remove(path);
        if (m_pending.isEmpty())
            m_idle.notify_all();
    }
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
