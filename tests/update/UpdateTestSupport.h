#pragma once

#include "HostileFiles.h"
#include "UpdatePlatform.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

#include <memory>

// An HTTP/1.1 responder over TLS on 127.0.0.1 that serves scripted replies by path, one request per
// connection, and records the paths asked for. Its certificate is the fixture for 127.0.0.1.
class HttpsTestServer
{
public:
    QHash<QByteArray, QByteArray> replies;   // body by path
    QHash<QByteArray, QByteArray> redirects; // "Location" by path, answered with 302
    QSet<QByteArray> trickled;               // paths whose body goes out one byte a second
    QList<QByteArray> requests;

    static QString fixture(const char *name) { return ZORVY_UPDATE_FIXTURES + QString("/") + name; }
    // Makes this process trust the fixture certificate, besides the default ones.
    static bool trustTestCertificate()
    {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        if (!tls.addCaCertificates(fixture("localhost.cert.pem")))
            return false;
        QSslConfiguration::setDefaultConfiguration(tls);
        return true;
    }

    bool start()
    {
        QFile key(fixture("localhost.key.pem"));
        if (!key.open(QIODevice::ReadOnly))
            return false;
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate::fromPath(fixture("localhost.cert.pem")).value(0));
        tls.setPrivateKey(QSslKey(&key, QSsl::Rsa));
        m_server.setSslConfiguration(tls);
        QObject::connect(&m_server, &QTcpServer::pendingConnectionAvailable, [this] {
            while (auto *socket = qobject_cast<QSslSocket *>(m_server.nextPendingConnection())) {
                socket->setParent(&m_server);
                QObject::connect(socket, &QSslSocket::readyRead, [=] { answer(socket); });
                QObject::connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
                answer(socket);
            }
        });
        return m_server.listen(QHostAddress::LocalHost, 0);
    }

    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }

private:
    void answer(QSslSocket *socket)
    {
        if (!socket->peek(socket->bytesAvailable()).contains("\r\n\r\n"))
            return;
        const QByteArray path = socket->readAll().split(' ').value(1);
        requests.append(path);
        const QByteArray body = replies.value(path), location = redirects.value(path);
        const QByteArray head = location.isEmpty()
                                    ? "HTTP/1.1 200 OK\r\n"
                                    : "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\n";
        const QByteArray header = head + "Content-Length: " + QByteArray::number(body.size()) +
                                  "\r\nConnection: close\r\n\r\n";
        if (!trickled.contains(path)) {
            socket->write(header + body);
            socket->disconnectFromHost();
            return;
        }
        // Each byte in time for any per-byte time-out, the whole far too late.
        socket->write(header);
        auto *pace = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        QObject::connect(pace, &QTimer::timeout, socket, [socket, body, sent] {
            if (*sent < body.size())
                socket->write(body.mid((*sent)++, 1));
        });
        pace->start(1000);
    }

    QSslServer m_server;
};

// A manifest that the updater accepts for the given installer.
inline QJsonObject soundManifest(const QUrl &installerUrl, const QByteArray &installer)
{
    return {
        {"schema", 1},
        {"product", "ZorvyTco"},
        {"platform", QString(UpdatePlatform::manifestPlatform)},
        {"version", "0.5.0"},
        {"url", installerUrl.toString()},
        {"sha256", QString::fromLatin1(
                       QCryptographicHash::hash(installer, QCryptographicHash::Sha256).toHex())},
        {"size", double(installer.size())}};
}

using HostileFiles::writeFile;

// The updater's files next to the test programs. The test programs share that folder, so every test
// that writes them holds the CTest lock "zorvy_update_config".
inline bool writeApplicationFile(const QString &name, const QByteArray &content)
{
    return writeFile(QCoreApplication::applicationDirPath() + QLatin1Char('/') + name, content);
}

inline QByteArray feedJson(const QUrl &feed)
{
    return QJsonDocument(QJsonObject{{"feed", feed.toString()}}).toJson();
}

inline void removeApplicationFiles()
{
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/update.json"));
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/.kvd-project.json"));
}
