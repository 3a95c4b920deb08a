#include "RecordingShelf.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QUrl>

namespace {

QString sizeText(qint64 bytes)
{
    const QLocale french(QLocale::French);
    if (bytes < 1024)
        return QStringLiteral("%1 o").arg(bytes);
    if (bytes < (qint64(1) << 20))
        return QStringLiteral("%1 Ko").arg(french.toString(double(bytes) / 1024, 'f', 0));
    if (bytes < (qint64(1) << 30))
        return QStringLiteral("%1 Mo").arg(french.toString(double(bytes) / (1 << 20), 'f', 1));
    return QStringLiteral("%1 Go").arg(french.toString(double(bytes) / (1 << 30), 'f', 2));
}

QString lengthText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
    return QStringLiteral("%1 h %2 min")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QChar('0'));
}

QVariantMap entryMap(const RecordingList::Entry &entry)
{
    const bool good = entry.problem.isEmpty();
    return {
        {QStringLiteral("path"), entry.path},
        {QStringLiteral("fileName"), entry.fileName},
        {QStringLiteral("game"), entry.game},
        {QStringLiteral("start"), good ? QDateTime::fromMSecsSinceEpoch(entry.startMs)
                                             .toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"))
                                       : QString()},
        {QStringLiteral("length"), good ? lengthText(entry.lengthMs) : QString()},
        {QStringLiteral("size"), sizeText(entry.bytes)},
        {QStringLiteral("problem"), entry.problem},
        {QStringLiteral("busy"), entry.busy},
    };
}

QString localPath(const QString &pathOrUrl)
{
    const QUrl url(pathOrUrl);
    return url.isLocalFile() ? url.toLocalFile() : pathOrUrl;
}

} // namespace

RecordingShelf::RecordingShelf(std::vector<std::shared_ptr<Recorder>> recorders,
                               const QString &startupReplay, QObject *parent)
    : QObject(parent), m_recorders(std::move(recorders)),
      m_startupReplay(startupReplay.isEmpty() ? QString()
                                              : QFileInfo(startupReplay).absoluteFilePath())
{
}

RecordingShelf::~RecordingShelf()
{
    if (m_openThread) {
        m_openThread->wait();
        delete m_openThread;
    }
    if (m_scan) {
        m_cancelScan = true;
        m_scan->wait();
        delete m_scan;
    }
    m_backend.reset();
    m_replay.reset();
}

QStringList RecordingShelf::busyPaths() const
{
    QStringList paths{m_startupReplay, m_shownPath};
    for (const std::shared_ptr<Recorder> &recorder : m_recorders) {
        if (recorder)
            paths.append(recorder->path());
    }
    return paths;
}

void RecordingShelf::refresh()
{
    if (m_scan) {
        m_rescan = true;
        return;
    }
    const QString folder = Recorder::folder();
    const QStringList busy = busyPaths();
    m_scan =
        QThread::create([this, folder, busy] { m_listing = RecordingList::read(folder, busy); });
    connect(m_scan, &QThread::finished, this, &RecordingShelf::takeListing);
    m_scan->start(QThread::LowPriority);
    emit entriesChanged();
}

void RecordingShelf::takeListing()
{
    m_scan->wait();
    m_scan->deleteLater();
    m_scan = nullptr;
    m_entries.clear();
    for (const RecordingList::Entry &entry : m_listing.entries)
        m_entries.append(entryMap(entry));
    m_listNote =
        !m_listing.error.isEmpty() ? m_listing.error
        : m_listing.truncated
            ? QStringLiteral("Seuls les %1 premiers enregistrements du dossier sont listés")
                  .arg(RecordingList::maxEntries)
            : QString();
    m_listing = {};
    emit entriesChanged();
    if (std::exchange(m_rescan, false))
        refresh();
}

bool RecordingShelf::open(const QString &pathOrUrl)
{
    if (m_openThread)
        return false;
    m_openingPath = localPath(pathOrUrl.trimmed());
    m_opening = QFileInfo(m_openingPath).fileName();
    if (m_opening.isEmpty())
        m_opening = m_openingPath;
    m_openThread = QThread::create([this, path = m_openingPath] {
        try {
            m_openedReader = std::make_unique<RecordingReader>(path);
        } catch (const RecordingFormat::Error &failure) {
            m_openError = failure.text();
        }
    });
    connect(m_openThread, &QThread::finished, this, &RecordingShelf::takeOpened);
    m_openThread->start();
    setError(QString());
    emit openingChanged();
    return true;
}

void RecordingShelf::takeOpened()
{
    m_openThread->wait();
    m_openThread->deleteLater();
    m_openThread = nullptr;
    const QString path = std::exchange(m_openingPath, QString());
    std::unique_ptr<RecordingReader> reader = std::move(m_openedReader);
    QString error = std::exchange(m_openError, QString());
    std::shared_ptr<Replay> replay;
    if (reader) {
        try {
            replay = std::make_shared<Replay>(path, std::move(reader));
        } catch (const RecordingFormat::Error &failure) {
            error = failure.text();
        }
    }
    m_opening.clear();
    emit openingChanged();
    if (!replay) {
        setError(error);
        return;
    }
    show(std::move(replay), path);
}

void RecordingShelf::show(std::shared_ptr<Replay> replay, const QString &path)
{
    close();
    m_replay = std::move(replay);
    m_shownPath = QFileInfo(path).absoluteFilePath();
    // The Backend's reader thread reads the replay: the Backend keeps it until it is gone.
    m_backend = std::shared_ptr<Backend>(new Backend,
                                         [replay = m_replay](Backend *backend) { delete backend; });
    m_backend->setRecordSource(m_replay);
    m_backend->connectGame(QString());
    setError(QString());
    emit shownChanged();
    emit opened();
    refresh(); // the file shown is now busy
}

void RecordingShelf::close()
{
    if (!m_backend)
        return;
    // The window lets go of them first; their reader thread then ends outside its handlers.
    std::shared_ptr<Backend> backend = std::move(m_backend);
    m_replay.reset();
    m_shownPath.clear();
    emit shownChanged();
    QMetaObject::invokeMethod(
        this, [backend = std::move(backend)]() mutable { backend.reset(); }, Qt::QueuedConnection);
    refresh();
}

QString RecordingShelf::rename(const QString &path, const QString &newName)
{
    // The rename box shows the reason itself.
    const QString problem = RecordingList::rename(path, newName, busyPaths());
    refresh();
    return problem;
}

QString RecordingShelf::remove(const QString &path)
{
    const QString problem = RecordingList::remove(path, busyPaths());
    setError(problem);
    refresh();
    return problem;
}

void RecordingShelf::setError(const QString &text)
{
    if (text == m_error)
        return;
    m_error = text;
    emit errorChanged();
}
