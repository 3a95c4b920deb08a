#pragma once

#include <QQuickAsyncImageProvider>

class TextureLoader;

// The list's signal images, as "image://signal/<path>" with the file path percent-encoded
// (encodeURIComponent in QML): served by the shared texture loader, so the window never reads a
// file itself. A refused or undecodable file ends in an error, and the list draws its symbol.
class SignalImageProvider : public QQuickAsyncImageProvider
{
public:
    static constexpr char providerId[] = "signal";

    explicit SignalImageProvider(TextureLoader &loader);

    QQuickImageResponse *requestImageResponse(const QString &id,
                                              const QSize &requestedSize) override;

    // The file path of an image id; the engine has decoded part of the encoding already, never
    // a "%", so one more decoding gives the path.
    static QString pathOf(const QString &id);

private:
    TextureLoader &m_loader;
};
