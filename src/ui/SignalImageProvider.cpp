#include "SignalImageProvider.h"

#include "TextureLoader.h"

#include <QMetaObject>
#include <QPointer>
#include <QUrl>

namespace {

class SignalImageResponse : public QQuickImageResponse
{
public:
    SignalImageResponse(TextureLoader &loader, const QString &path, const QSize &requestedSize)
        : m_path(path), m_requestedSize(requestedSize)
    {
        // Connected before asking, so an image that arrives in between is not missed.
        connect(&loader, &TextureLoader::loaded, this, [this, &loader](const QString &arrived) {
            if (arrived == m_path && !m_done)
                take(loader.request(m_path));
        });
        const TextureLoader::Result result = loader.request(m_path);
        if (result.state != TextureLoader::State::Pending) {
            // finished() is not to be emitted before the engine holds the response.
            QMetaObject::invokeMethod(
                this, [this, result] { take(result); }, Qt::QueuedConnection);
        }
    }

    QQuickTextureFactory *textureFactory() const override
    {
        return QQuickTextureFactory::textureFactoryForImage(m_image);
    }

    QString errorString() const override { return m_error; }

private:
    void take(const TextureLoader::Result &result)
    {
        if (m_done || result.state == TextureLoader::State::Pending)
            return;
        m_done = true;
        if (result.state == TextureLoader::State::Ready) {
            m_image = result.image;
            if (m_requestedSize.isValid() && !m_requestedSize.isEmpty() &&
                (m_image.width() > m_requestedSize.width() ||
                 m_image.height() > m_requestedSize.height()))
                m_image =
                    m_image.scaled(m_requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        } else {
            m_error = QStringLiteral("%1: %2").arg(m_path, result.error);
        }
        Q_EMIT finished();
    }

    const QString m_path;
    const QSize m_requestedSize;
    QImage m_image;
    QString m_error;
    bool m_done = false;
};

} // namespace

SignalImageProvider::SignalImageProvider(TextureLoader &loader) : m_loader(loader) {}

QQuickImageResponse *SignalImageProvider::requestImageResponse(const QString &id,
                                                               const QSize &requestedSize)
{
    return new SignalImageResponse(m_loader, pathOf(id), requestedSize);
}

QString SignalImageProvider::pathOf(const QString &id)
{
    return QUrl::fromPercentEncoding(id.toUtf8());
}
