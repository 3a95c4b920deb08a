#include "RecordingList.h"

#include "Platform.h"
#include "RecordingFormat.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <sqlite3.h>

#include <algorithm>

namespace RecordingList {

namespace {

// A listing waits this long at most for a file another program holds locked.
constexpr int busyWaitMs = 200;
// No file is read longer than this (a hostile file may ask for a scan of a huge table).
constexpr qint64 fileReadMs = 500;

// What SQLite's progress handler looks at: the file's deadline and the caller's cancellation.
struct ReadLimit
{
    QDeadlineTimer deadline;
    const std::atomic<bool> *cancel;
};

int stopReading(void *limit)
{
    const auto *read = static_cast<const ReadLimit *>(limit);
    return read->deadline.hasExpired() || (read->cancel && read->cancel->load()) ? 1 : 0;
}
constexpr char sqliteMagic[] = "SQLite format 3";

QString walPath(const QString &path)
{
    return path + QStringLiteral("-wal");
}

QString shmPath(const QString &path)
{
    return path + QStringLiteral("-shm");
}

bool isBusy(const QFileInfo &info, const QStringList &busyPaths)
{
    const QString absolute = info.absoluteFilePath();
    return std::any_of(busyPaths.begin(), busyPaths.end(), [&](const QString &busy) {
        return !busy.isEmpty() && QFileInfo(busy).absoluteFilePath() == absolute;
    });
}

// What the first 100 bytes say is wrong: not SQLite, or shorter than the pages it announces.
QString headerProblem(const QString &path, qint64 size)
{
    // Read through a handle that is only opened on a regular file: a file swapped for a pipe
    // after it was looked at by name cannot stall the listing.
    Platform::ReadOnlyFile file;
    switch (file.open(path.toStdWString())) {
    case Platform::ReadOnlyFile::Status::Opened:
        break;
    case Platform::ReadOnlyFile::Status::NotRegular:
        return QStringLiteral("ce n’est pas un fichier ordinaire");
    default:
        return QStringLiteral("illisible");
    }
    QByteArray header(100, '\0');
    if (file.read(header.data(), std::size_t(header.size())) < 100 ||
        !header.startsWith(QByteArray(sqliteMagic, sizeof sqliteMagic)))
        return QStringLiteral("ce n’est pas un enregistrement (pas un fichier SQLite)");
    qint64 pageSize = qFromBigEndian<quint16>(header.constData() + 16);
    if (pageSize == 1)
        pageSize = 65536;
    const quint32 changes = qFromBigEndian<quint32>(header.constData() + 24);
    const quint32 pages = qFromBigEndian<quint32>(header.constData() + 28);
    const quint32 validFor = qFromBigEndian<quint32>(header.constData() + 92);
    // The page count is only to be trusted when the file was last written by a program that
    // keeps it (the two counters agree).
    if (changes == validFor && pages > 0 && size < qint64(pages) * pageSize)
        return QStringLiteral("fichier tronqué (%1 octets sur %2)")
            .arg(size)
            .arg(qint64(pages) * pageSize);
    return QString();
}

// What SQLite's last failure on db means for the user.
QString sqliteProblem(sqlite3 *db)
{
    const int code = sqlite3_errcode(db) & 0xff;
    if (code == SQLITE_NOTADB)
        return QStringLiteral("ce n’est pas un enregistrement (pas un fichier SQLite)");
    if (code == SQLITE_CORRUPT)
        return QStringLiteral("fichier endommagé");
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// The captures' summary, or what is wrong, into entry.
void readCaptures(sqlite3 *db, Entry &entry)
{
    sqlite3_stmt *statement = nullptr;
    auto query = [&](const char *sql) {
        sqlite3_finalize(statement);
        statement = nullptr;
        return sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
               sqlite3_step(statement) == SQLITE_ROW;
    };
    qint64 version = 0;
    if (!query("PRAGMA user_version")) {
        entry.problem = sqliteProblem(db);
    } else if (version = sqlite3_column_int64(statement, 0);
               version > RecordingFormat::schemaVersion) {
        entry.problem = QStringLiteral("version %1, plus récente que celle que ce programme lit "
                                       "(%2)")
                            .arg(version)
                            .arg(RecordingFormat::schemaVersion);
    } else if (version < 1) {
        entry.problem = QStringLiteral("ce n’est pas un enregistrement Zorvy TCO");
    } else if (!query("SELECT count(*) FROM captures")) {
        entry.problem = sqliteProblem(db);
    } else if ((entry.captures = sqlite3_column_int64(statement, 0)) == 0) {
        entry.problem = QStringLiteral("aucune capture");
    } else if (!query("SELECT time_ms, process_id FROM captures ORDER BY number LIMIT 1")) {
        entry.problem = sqliteProblem(db);
    } else {
        entry.startMs = sqlite3_column_int64(statement, 0);
        entry.game = QStringLiteral("PID %1").arg(sqlite3_column_int64(statement, 1));
        if (query("SELECT time_ms FROM captures ORDER BY number DESC LIMIT 1"))
            entry.lengthMs =
                std::max<qint64>(0, sqlite3_column_int64(statement, 0) - entry.startMs);
        else
            entry.problem = sqliteProblem(db);
    }
    sqlite3_finalize(statement);
}

} // namespace

Entry describe(const QString &path, const QStringList &busyPaths, const std::atomic<bool> *cancel)
{
    Entry entry;
    const QFileInfo info(path);
    entry.path = info.absoluteFilePath();
    entry.fileName = info.fileName();
    entry.busy = isBusy(info, busyPaths);
    if (!info.exists() && !info.isSymLink()) {
        entry.problem = QStringLiteral("fichier introuvable");
        return entry;
    }
    if (info.isDir()) {
        entry.problem = QStringLiteral("c’est un dossier");
        return entry;
    }
    if (!info.isFile()) {
        entry.problem = QStringLiteral("ce n’est pas un fichier ordinaire");
        return entry;
    }
    entry.bytes = info.size() + QFileInfo(walPath(path)).size();
    entry.problem = headerProblem(path, info.size());
    if (!entry.problem.isEmpty())
        return entry;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        entry.problem = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("illisible");
    } else {
        sqlite3_busy_timeout(db, busyWaitMs);
        ReadLimit limit{QDeadlineTimer(fileReadMs), cancel};
        sqlite3_progress_handler(db, 1000, stopReading, &limit);
        readCaptures(db, entry);
        if (limit.deadline.hasExpired() && !entry.problem.isEmpty())
            entry.problem = QStringLiteral("lecture abandonnée : fichier trop long à lire");
    }
    sqlite3_close_v2(db);
    return entry;
}

Listing read(const QString &folder, const QStringList &busyPaths, int limit,
             const std::atomic<bool> *cancel)
{
    Listing listing;
    const QFileInfo info(folder);
    if (!info.exists())
        return listing; // nothing recorded yet
    if (!info.isDir() || !info.isReadable()) {
        listing.error = QStringLiteral("Le dossier %1 ne peut être lu").arg(folder);
        return listing;
    }
    QDirIterator files(folder, {QStringLiteral("*") + QLatin1String(extension)},
                       QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    while (files.hasNext()) {
        const QString path = files.next();
        if (int(listing.entries.size()) >= limit || (cancel && cancel->load())) {
            listing.truncated = true;
            break;
        }
        listing.entries.push_back(describe(path, busyPaths, cancel));
    }
    std::stable_sort(listing.entries.begin(), listing.entries.end(),
                     [](const Entry &a, const Entry &b) {
                         if (a.problem.isEmpty() != b.problem.isEmpty())
                             return a.problem.isEmpty();
                         if (a.startMs != b.startMs)
                             return a.startMs > b.startMs;
                         return a.fileName < b.fileName;
                     });
    return listing;
}

QString checkRename(const QString &path, const QString &newName, const QStringList &busyPaths)
{
    const QFileInfo info(path);
    if (isBusy(info, busyPaths))
        return QStringLiteral("« %1 » est en cours d’écriture ou affiché : il ne peut être renommé")
            .arg(info.fileName());
    const QString name = newName.trimmed();
    if (name.isEmpty())
        return QStringLiteral("Le nom est vide");
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return QStringLiteral("Le nom ne peut contenir ni « / » ni « \\ »");
    if (name.startsWith(QLatin1Char('.')))
        return QStringLiteral("Le nom ne peut commencer par un point");
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            QStringLiteral("<>:\"|?*").contains(c))
            return QStringLiteral("Le nom ne peut contenir de caractère de contrôle ni aucun de "
                                  "ceux-ci : < > : \" | ? *");
    }
    const QString target =
        name.endsWith(QLatin1String(extension)) ? name : name + QLatin1String(extension);
    if (target.size() > maxNameLength)
        return QStringLiteral("Le nom est trop long (%1 caractères au plus)").arg(maxNameLength);
    if (!info.isFile())
        return QStringLiteral("« %1 » n’existe plus").arg(info.fileName());
    if (target == info.fileName())
        return QStringLiteral("C’est déjà son nom");
    const QString targetPath = info.dir().filePath(target);
    if (QFileInfo::exists(targetPath) || QFileInfo(targetPath).isSymLink() ||
        QFileInfo::exists(walPath(targetPath)))
        return QStringLiteral("Un fichier « %1 » existe déjà").arg(target);
    return QString();
}

QString rename(const QString &path, const QString &newName, const QStringList &busyPaths)
{
    const QString problem = checkRename(path, newName, busyPaths);
    if (!problem.isEmpty())
        return problem;
    const QString name = newName.trimmed();
    const QFileInfo info(path);
    const QString target = info.dir().filePath(
        name.endsWith(QLatin1String(extension)) ? name : name + QLatin1String(extension));
    if (!QFile::rename(path, target))
        return QStringLiteral("« %1 » ne peut être renommé").arg(info.fileName());
    // The log holds committed captures of a recording that was not closed: it goes along.
    if (QFileInfo::exists(walPath(path)) && !QFile::rename(walPath(path), walPath(target))) {
        QFile::rename(target, path);
        return QStringLiteral("Le journal de « %1 » ne peut être renommé").arg(info.fileName());
    }
    QFile::remove(shmPath(path)); // an index of the log, rebuilt when needed
    return QString();
}

QString remove(const QString &path, const QStringList &busyPaths)
{
    const QFileInfo info(path);
    if (isBusy(info, busyPaths))
        return QStringLiteral(
                   "« %1 » est en cours d’écriture ou affiché : il ne peut être supprimé")
            .arg(info.fileName());
    if (info.isDir())
        return QStringLiteral("« %1 » est un dossier : il n’est pas supprimé").arg(info.fileName());
    if (!QFile::remove(path))
        return QStringLiteral("« %1 » ne peut être supprimé").arg(info.fileName());
    QFile::remove(walPath(path));
    QFile::remove(shmPath(path));
    return QString();
}

} // namespace RecordingList
