#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QSslServer>
#include <QUrl>

class QSslSocket;

// An HTTP/1.1 responder over TLS on 127.0.0.1 that serves scripted responses by path, one request
// per connection, and remembers the paths it was asked for. Its certificate is the test fixture
// for "localhost" and 127.0.0.1; clients trust it through trustTestCertificate().
class HttpsTestServer : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        QByteArray location;       // sent as "Location" when not empty
        qint64 contentLength = -1; // announced length; the body's own size when negative
        bool holdOpen = false;     // keep the connection open after the body (a stalled transfer)
    };

    explicit HttpsTestServer(QObject *parent = nullptr);

    bool start();
    QUrl url(const QString &path) const;
    quint16 port() const;

    void setResponse(const QByteArray &path, const Response &response);
    void reset();
    QList<QByteArray> requests() const { return m_requests; }

    static QString certificatePath();
    static QString privateKeyPath();
    // Adds the test certificate to this process's default TLS configuration, and to nothing else.
    static bool trustTestCertificate();

private:
    void accept();
    void answer(QSslSocket *socket, QByteArray *buffer);

    QSslServer m_server;
    QHash<QByteArray, Response> m_routes;
    QList<QByteArray> m_requests;
};

Q_DECLARE_METATYPE(HttpsTestServer::Response)
