#include "Updater.h"

#include "Platform.h"
#include "UpdatePlatform.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>
#include <QVersionNumber>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr qint64 maxConfigurationBytes = 65535;
constexpr qint64 maxManifestBytes = 65536;
constexpr qint64 maxInstallerBytes = 536870912;
constexpr int transferTimeoutMs = 30000;
constexpr int firstCheckDelayMs = 3000;
constexpr int checkPeriodMs = 21600000;

const char deadlineProperty[] = "zorvyTransferDeadlinePassed";

Updater::TransferDeadlines &transferDeadlines()
{
    static Updater::TransferDeadlines deadlines;
    return deadlines;
}

QString updatesDirectory()
{
    const QString location = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    // Without a data location the path would fall back to "/updates" at the file system's root.
    return location.isEmpty() ? QString() : location + QStringLiteral("/updates");
}

// A file beside the program; empty when the program's folder cannot be told, so that nothing is
// looked for at the file system's root.
QString applicationFile(const QString &name)
{
    const QString folder = QString::fromStdWString(Platform::programFolder().files);
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + name;
}

QString notConfiguredText()
{
    return QStringLiteral("Mises à jour : serveur non configuré");
}

// Whole-text matches: "$" alone would also accept a trailing line feed.
const QRegularExpression &versionPattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("[0-9]{1,4}\\.[0-9]{1,4}\\.[0-9]{1,4}")));
    return pattern;
}

const QRegularExpression &digestPattern()
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[a-f0-9]{64}")));
    return pattern;
}

// Hands the installer over to the system; its outcome is not examined.
void startInstaller(const QString &program, const QStringList &arguments)
{
    std::vector<std::wstring> wide;
    for (const QString &argument : arguments)
        wide.push_back(argument.toStdWString());
    Platform::startDetached(program.toStdWString(), wide);
}

// Called once the installer's copy is verified, just before it starts (tests only).
void (*&beforeInstallerStarts())()
{
    static void (*hook)() = nullptr;
    return hook;
}

} // namespace

// What one download needs between its reply's signals; shared by the two handlers, so it dies
// with the last of them, after the reply. An uncommitted target file discards itself then.
struct Updater::Download
{
    QSaveFile targetFile;
    QCryptographicHash digest{QCryptographicHash::Sha256};
    qint64 received = 0;
    UpdateManifest manifest;
    QString targetPath;
};

Updater::Updater(QObject *parent) : QObject(parent)
{
    if (QFile::exists(applicationFile(QStringLiteral(".kvd-project.json")))) {
        setStatus(QStringLiteral("Mises à jour gérées par KVD Hub"));
        return;
    }

    // Only a regular file (after links), checked on the open file: opening a FIFO would wait for
    // a writer for ever, and a device reports a size of 0 whatever it holds. A file larger than
    // the limit is not read at all, whatever size it claims.
    std::string content;
    if (Platform::readRegularFile(applicationFile(QStringLiteral("update.json")).toStdWString(),
                                  std::size_t(maxConfigurationBytes),
                                  content) == Platform::FileRead::Read) {
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(content)).object();
        m_feed = QUrl(object.value(QLatin1String("feed")).toString(), QUrl::TolerantMode);
    }
    removeEarlierInstallers(updatesDirectory());

    if (isAcceptableUrl(m_feed))
        setStatus(QStringLiteral("TCO %1").arg(QCoreApplication::applicationVersion()));
    else
        setStatus(notConfiguredText());

    auto *periodicCheck = new QTimer(this);
    connect(periodicCheck, &QTimer::timeout, this, &Updater::check);
    periodicCheck->start(checkPeriodMs);
    QTimer::singleShot(firstCheckDelayMs, this, &Updater::check);
}

// Running replies die with the network manager without running their handlers; an abandoned
// download's state goes with them and discards its temporary file.
Updater::~Updater() = default;

void Updater::setTransferDeadlines(const TransferDeadlines &deadlines)
{
    transferDeadlines() = deadlines;
}

// Aborts the reply once the time is up, marking it so that its end names the reason. The timer
// dies with the reply.
void Updater::abortAtDeadline(QNetworkReply *reply, int milliseconds)
{
    QTimer::singleShot(milliseconds, reply, [reply] {
        reply->setProperty(deadlineProperty, true);
        reply->abort();
    });
}

bool Updater::passedDeadline(const QNetworkReply *reply)
{
    return reply->property(deadlineProperty).toBool();
}

// An installer is handed over only as the program quits, so at start every file downloaded by an
// earlier run is spent or abandoned: finished installers and the temporary files of interrupted
// downloads alike, and the private folders of earlier hand-offs (an installer still running from
// one may refuse to go; it is left for a later start). Nothing else in the folder is touched: a
// link named like a hand-off folder is left alone, never followed.
void Updater::removeEarlierInstallers(const QString &directory)
{
    if (directory.isEmpty())
        return;
    QDir folder(directory);
    const QStringList names =
        folder.entryList({QStringLiteral("setup-*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names)
        folder.remove(name);
    const QStringList handoffs = folder.entryList(
        {QStringLiteral("handoff-*")}, QDir::Dirs | QDir::NoSymLinks | QDir::Hidden | QDir::System);
    for (const QString &name : handoffs) {
        // A junction is a link too, though Windows does not call it one.
        if (!QFileInfo(folder.filePath(name)).isJunction())
            QDir(folder.filePath(name)).removeRecursively();
    }
}

void Updater::setStatus(const QString &text)
{
    m_status = text;
    emit changed();
}

bool Updater::isAcceptableUrl(const QUrl &url)
{
    return url.isValid() && url.scheme() == QLatin1String("https") &&
           !url.host(QUrl::FullyDecoded).isEmpty() && url.userInfo().isEmpty();
}

QNetworkRequest Updater::makeRequest(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

void Updater::check()
{
    if (m_busy || ready())
        return;
    if (!isAcceptableUrl(m_feed)) {
        setStatus(notConfiguredText());
        return;
    }
    m_busy = true;
    setStatus(QStringLiteral("Recherche de mise à jour…"));

    QNetworkReply *reply = m_network.get(makeRequest(m_feed));
    abortAtDeadline(reply, transferDeadlines().manifestMs);
    auto buffer = std::make_shared<QByteArray>();
    connect(reply, &QNetworkReply::readyRead, this,
            [this, reply, buffer] { onManifestReadyRead(reply, buffer.get()); });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, buffer] { onManifestFinished(reply, buffer.get()); });
}

void Updater::onManifestReadyRead(QNetworkReply *reply, QByteArray *buffer)
{
    buffer->append(reply->readAll());
    if (buffer->size() > maxManifestBytes)
        reply->abort(); // finished follows at once and reports the failure
}

void Updater::onManifestFinished(QNetworkReply *reply, QByteArray *buffer)
{
    if (reply->isOpen()) // an aborted reply is closed and has nothing left
        buffer->append(reply->readAll());
    const bool good = reply->error() == QNetworkReply::NoError &&
                      buffer->size() <= maxManifestBytes && isAcceptableUrl(reply->url());
    reply->deleteLater();
    m_busy = false;
    if (passedDeadline(reply)) {
        setStatus(QStringLiteral("Serveur de mises à jour trop lent : recherche abandonnée"));
        return;
    }
    if (!good) {
        setStatus(QStringLiteral("Serveur de mises à jour indisponible"));
        return;
    }

    const QJsonDocument document = QJsonDocument::fromJson(*buffer);
    if (!document.isObject()) {
        setStatus(QStringLiteral("Manifest de mise à jour invalide"));
        return;
    }
    const QJsonObject object = document.object();
    const QString currentVersion = QCoreApplication::applicationVersion();
    UpdateManifest record;
    if (validateManifest(object, currentVersion, &record)) {
        startDownload(record);
        return;
    }
    if (object.value(QLatin1String("version")).toString() == currentVersion)
        setStatus(QStringLiteral("TCO et SDK à jour"));
    else
        setStatus(QStringLiteral("Mise à jour incompatible ou invalide"));
}

bool Updater::validateManifest(const QJsonObject &object, const QString &currentVersion,
                               UpdateManifest *record)
{
    record->version = object.value(QLatin1String("version")).toString();
    record->url = QUrl(object.value(QLatin1String("url")).toString(), QUrl::TolerantMode);
    record->sha256 = object.value(QLatin1String("sha256")).toString().toLatin1().toLower();
    const QJsonValue sizeValue = object.value(QLatin1String("size"));
    const double size = sizeValue.isDouble() ? sizeValue.toDouble() : -1.0;
    record->size = size > 0.0 && size <= double(maxInstallerBytes) ? qint64(size) : 0;

    if (object.value(QLatin1String("schema")).toInt(0) != 1)
        return false;
    if (object.value(QLatin1String("product")).toString() != QLatin1String("ZorvyTco"))
        return false;
    if (object.value(QLatin1String("platform")).toString() != UpdatePlatform::manifestPlatform)
        return false;
    if (!versionPattern().match(record->version).hasMatch())
        return false;
    if (QVersionNumber::compare(QVersionNumber::fromString(record->version),
                                QVersionNumber::fromString(currentVersion)) <= 0)
        return false;
    if (!isAcceptableUrl(record->url))
        return false;
    if (!digestPattern().match(QString::fromLatin1(record->sha256)).hasMatch())
        return false;
    return record->size > 0 && double(record->size) == size;
}

void Updater::startDownload(const UpdateManifest &record)
{
    const QString directory = updatesDirectory();
    if (directory.isEmpty() || !QDir().mkpath(directory)) {
        setStatus(QStringLiteral("Impossible de préparer la mise à jour"));
        return;
    }

    auto download = std::make_shared<Download>();
    download->manifest = record;
    download->targetPath = directory + QStringLiteral("/setup-") +
                           QUuid::createUuid().toString(QUuid::WithoutBraces) +
                           UpdatePlatform::installerSuffix;
    download->targetFile.setFileName(download->targetPath);
    if (!download->targetFile.open(QIODevice::WriteOnly)) {
        setStatus(QStringLiteral("Impossible de préparer la mise à jour"));
        return;
    }

    m_busy = true;
    setStatus(QStringLiteral("Téléchargement du TCO et du SDK…"));

    QNetworkReply *reply = m_network.get(makeRequest(record.url));
    abortAtDeadline(reply, transferDeadlines().installerMs);
    connect(reply, &QNetworkReply::readyRead, this,
            [this, reply, download] { onDownloadReadyRead(reply, download.get()); });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, download] { onDownloadFinished(reply, download.get()); });
}

// Writes what the reply has now and feeds it to the digest; false when the bytes exceed the
// announced size or could not all be written.
bool Updater::takeDownloadBytes(QNetworkReply *reply, Download *download)
{
    const QByteArray chunk = reply->readAll();
    download->received += chunk.size();
    if (download->received > download->manifest.size)
        return false;
    if (download->targetFile.write(chunk) != chunk.size())
        return false;
    download->digest.addData(chunk);
    return true;
}

void Updater::onDownloadReadyRead(QNetworkReply *reply, Download *download)
{
    if (!takeDownloadBytes(reply, download))
        reply->abort(); // finished follows at once and rejects the download
}

void Updater::onDownloadFinished(QNetworkReply *reply, Download *download)
{
    bool good = reply->error() == QNetworkReply::NoError && takeDownloadBytes(reply, download) &&
                isAcceptableUrl(reply->url()) && download->received == download->manifest.size &&
                download->digest.result().toHex() == download->manifest.sha256;
    reply->deleteLater();
    m_busy = false;

    if (good && UpdatePlatform::markInstallerExecutable)
        good = download->targetFile.setPermissions(QFileDevice::ReadOwner |
                                                   QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (good && download->targetFile.commit()) {
        m_installerPath = download->targetPath;
        m_installerDigest = download->manifest.sha256;
        setStatus(QStringLiteral("Mise à jour prête · installation à la fermeture"));
        return;
    }
    download->targetFile.cancelWriting();
    if (passedDeadline(reply))
        setStatus(QStringLiteral("Mise à jour rejetée : téléchargement trop lent"));
    else
        setStatus(QStringLiteral(
            "Mise à jour rejetée : téléchargement incomplet ou empreinte incorrecte"));
}

void Updater::restart()
{
    if (!ready())
        return;
    m_relaunch = true;
    QCoreApplication::quit();
}

void Updater::setBeforeInstallerStarts(void (*hook)())
{
    beforeInstallerStarts() = hook;
}

void Updater::installOnQuit()
{
    if (!ready())
        return;
    // The file in the updates folder may be replaced at any moment by another process of the user:
    // only a private copy of the verified bytes is started.
    const QString installer = privateCopyOfInstaller();
    if (installer.isEmpty())
        return;
    if (void (*hook)() = beforeInstallerStarts())
        hook();

    QStringList arguments{QStringLiteral("/VERYSILENT"), QStringLiteral("/SUPPRESSMSGBOXES"),
                          QStringLiteral("/NORESTART"),
                          QStringLiteral("/DIR=") +
                              QString::fromStdWString(Platform::programFolder().path)};
    if (m_relaunch)
        arguments << QStringLiteral("/RELAUNCH");
    startInstaller(QDir::toNativeSeparators(installer), arguments);
}

QString Updater::privateCopyOfInstaller()
{
    QFile source(m_installerPath);
    if (!QFileInfo(m_installerPath).isFile() || !source.open(QIODevice::ReadOnly))
        return QString();
    // A new folder for this hand-off alone, which only its owner may enter (QTemporaryDir creates
    // it so; the permissions are set again in case the umask or the platform differ).
    QTemporaryDir folder(updatesDirectory() + QStringLiteral("/handoff-XXXXXX"));
    if (!folder.isValid() ||
        !QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner))
        return QString();
    const QString target = folder.filePath(QFileInfo(m_installerPath).fileName());
    QFile copy(target);
    if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return QString();
    // A source that grows past the largest installer is given up.
    std::vector<char> buffer(1 << 16);
    qint64 copied = 0;
    for (;;) {
        const qint64 read = source.read(buffer.data(), qint64(buffer.size()));
        if (read < 0)
            return QString();
        if (read == 0)
            break;
        copied += read;
        if (copied > maxInstallerBytes || copy.write(buffer.data(), read) != read)
            return QString();
    }
    if (!copy.flush())
        return QString();
    copy.close();
    QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (UpdatePlatform::markInstallerExecutable)
        permissions |= QFileDevice::ExeOwner;
    if (!copy.setPermissions(permissions))
        return QString();

    // The copy is verified through a handle that stays open until the program ends: on Windows
    // nobody may write, rename or delete the file meanwhile, so what starts is what was hashed.
    auto held = std::make_unique<Platform::ReadOnlyFile>();
    if (held->open(target.toStdWString(), Platform::ReadOnlyFile::Sharing::DenyWrites) !=
        Platform::ReadOnlyFile::Status::Opened)
        return QString();
    QCryptographicHash digest(QCryptographicHash::Sha256);
    qint64 hashed = 0;
    for (;;) {
        const long long read = held->read(buffer.data(), buffer.size());
        if (read < 0)
            return QString();
        if (read == 0)
            break;
        hashed += read;
        if (hashed > maxInstallerBytes)
            return QString();
        digest.addData(QByteArrayView(buffer.data(), qsizetype(read)));
    }
    if (digest.result().toHex() != m_installerDigest)
        return QString();
    m_heldInstaller = std::move(held);
    // The installer runs after this program has ended: the folder stays.
    folder.setAutoRemove(false);
    return target;
}
