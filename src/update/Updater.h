#pragma once

#include "Platform.h"
#include "UpdateManifest.h"

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

// Keeps the program and its observation library current from an HTTPS feed: reads the feed
// address next to the executable (unless a package hub manages the installation), checks the
// manifest at start and every six hours, downloads and verifies the installer it names, and hands
// the installer over when the application quits.
class Updater : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString status READ status NOTIFY changed)
    Q_PROPERTY(bool ready READ ready NOTIFY changed)

public:
    explicit Updater(QObject *parent = nullptr);
    ~Updater() override;

    QString status() const { return m_status; }
    bool ready() const { return !m_installerPath.isEmpty(); }

    Q_INVOKABLE void check();
    Q_INVOKABLE void restart();

    // Starts the verified installer, if one is ready, as the program ends. The program calls it
    // once the reader has stopped (or given up waiting for it), never while it still observes.
    void installOnQuit();

    // Called after the copy of the installer is verified, just before that copy starts; null by
    // default. Tests replace the downloaded file there to see that it is not what starts.
    static void setBeforeInstallerStarts(void (*hook)());

    // How long one transfer may take in all, whatever its pace: a server that keeps sending a
    // byte now and then must not keep a check or a download busy for ever.
    struct TransferDeadlines
    {
        int manifestMs = 60000;    // one minute for at most 64 KiB
        int installerMs = 1800000; // half an hour: 512 MiB need about 300 KB/s
    };
    // Applies to the transfers started afterwards (tests shorten them).
    static void setTransferDeadlines(const TransferDeadlines &deadlines);

signals:
    void changed();

private:
    void setStatus(const QString &text);
    static bool isAcceptableUrl(const QUrl &url);
    static QNetworkRequest makeRequest(const QUrl &url);
    static bool validateManifest(const QJsonObject &object, const QString &currentVersion,
                                 UpdateManifest *record);
    void onManifestReadyRead(QNetworkReply *reply, QByteArray *buffer);
    void onManifestFinished(QNetworkReply *reply, QByteArray *buffer);
    void startDownload(const UpdateManifest &record);
    struct Download;
    static bool takeDownloadBytes(QNetworkReply *reply, Download *download);
    void onDownloadReadyRead(QNetworkReply *reply, Download *download);
    void onDownloadFinished(QNetworkReply *reply, Download *download);
    static void abortAtDeadline(QNetworkReply *reply, int milliseconds);
    static bool passedDeadline(const QNetworkReply *reply);
    static void removeEarlierInstallers(const QString &directory);
    // Copies the downloaded installer into a new folder that only the user may enter, then hashes
    // the copy through a handle held open (m_heldInstaller); the copy's path when its bytes are
    // the verified ones, else empty and nothing is left behind.
    QString privateCopyOfInstaller();

    QNetworkAccessManager m_network;
    QUrl m_feed;
    QString m_status;
    QString m_installerPath;
    QByteArray m_installerDigest;
    std::unique_ptr<Platform::ReadOnlyFile> m_heldInstaller; // until the program ends
    bool m_busy = false;
    bool m_relaunch = false;
};
