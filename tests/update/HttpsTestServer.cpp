#include "HttpsTestServer.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

#include <memory>

HttpsTestServer::HttpsTestServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, &HttpsTestServer::accept);
}

QString HttpsTestServer::certificatePath()
{
    return QStringLiteral(ZORVY_UPDATE_FIXTURES "/localhost.cert.pem");
}

QString HttpsTestServer::privateKeyPath()
{
    return QStringLiteral(ZORVY_UPDATE_FIXTURES "/localhost.key.pem");
}

bool HttpsTestServer::trustTestCertificate()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (!configuration.addCaCertificates(certificatePath()))
        return false;
    QSslConfiguration::setDefaultConfiguration(configuration);
    return true;
}

bool HttpsTestServer::start()
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(certificatePath());
    QFile keyFile(privateKeyPath());
    if (certificates.isEmpty() || !keyFile.open(QIODevice::ReadOnly))
        return false;
    const QSslKey key(&keyFile, QSsl::Rsa);
    if (key.isNull())
        return false;

    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificates.first());
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_server.setSslConfiguration(configuration);
    return m_server.listen(QHostAddress::LocalHost, 0);
}

quint16 HttpsTestServer::port() const
{
    return m_server.serverPort();
}

QUrl HttpsTestServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(port()).arg(path));
}

void HttpsTestServer::setResponse(const QByteArray &path, const Response &response)
{
    m_routes.insert(path, response);
}

void HttpsTestServer::reset()
{
    m_routes.clear();
    m_requests.clear();
}

void HttpsTestServer::accept()
{
    while (m_server.hasPendingConnections()) {
        auto *socket = qobject_cast<QSslSocket *>(m_server.nextPendingConnection());
        if (!socket)
            continue;
        socket->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QSslSocket::readyRead, this,
                [this, socket, buffer] { answer(socket, buffer.get()); });
        connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            answer(socket, buffer.get());
    }
}

void HttpsTestServer::answer(QSslSocket *socket, QByteArray *buffer)
{
    buffer->append(socket->readAll());
    if (!buffer->contains("\r\n\r\n"))
        return;
    const QList<QByteArray> requestLine = buffer->left(buffer->indexOf("\r\n")).split(' ');
    buffer->clear();
    const QByteArray path = requestLine.size() >= 2 ? requestLine.at(1) : QByteArray();
    m_requests.append(path);

    Response response;
    response.status = 404;
    response = m_routes.value(path, response);
    const qint64 length =
        response.contentLength < 0 ? response.body.size() : response.contentLength;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
    head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    if (!response.location.isEmpty())
        head += "Location: " + response.location + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head + response.body);
    if (!response.holdOpen)
        socket->disconnectFromHost();
}
