#include "Sqlite.h"

namespace Sqlite {

void Database::open(const QString &path, int flags, const QString &context)
{
    close();
    m_context = context;
    const int status = sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr);
    if (status != SQLITE_OK) {
        const QString text = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db))
                                  : QString::fromUtf8(sqlite3_errstr(status));
        close();
        throw RecordingFormat::Error(QStringLiteral("%1 : %2").arg(context, text));
    }
    sqlite3_extended_result_codes(m_db, 1);
    // A reader that another process holds up waits a little instead of failing at once.
    sqlite3_busy_timeout(m_db, 2000);
}

void Database::close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void Database::fail(const QString &what) const
{
    const int code = m_db ? sqlite3_errcode(m_db) : SQLITE_MISUSE;
    QString text = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("fermé");
    if ((code & 0xff) == SQLITE_NOTADB)
        text = QStringLiteral("ce n’est pas un fichier SQLite (%1)").arg(text);
    else if ((code & 0xff) == SQLITE_CORRUPT)
        text = QStringLiteral("fichier endommagé (%1)").arg(text);
    else if ((code & 0xff) == SQLITE_FULL)
        text = QStringLiteral("disque plein (%1)").arg(text);
    throw RecordingFormat::Error(what.isEmpty()
                                     ? QStringLiteral("%1 : %2").arg(m_context, text)
                                     : QStringLiteral("%1 : %2 : %3").arg(m_context, what, text));
}

void Database::exec(const char *sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QString());
}

Statement::Statement(Database &db, const char *sql) : m_db(db)
{
    if (sqlite3_prepare_v2(db.handle(), sql, -1, &m_statement, nullptr) != SQLITE_OK)
        db.fail(QString());
}

Statement &Statement::bind(int index, qint64 value)
{
    if (sqlite3_bind_int64(m_statement, index, value) != SQLITE_OK)
        m_db.fail(QString());
    return *this;
}

Statement &Statement::bindBlob(int index, const QByteArray &value)
{
    if (sqlite3_bind_blob64(m_statement, index, value.constData(), sqlite3_uint64(value.size()),
                            SQLITE_TRANSIENT) != SQLITE_OK)
        m_db.fail(QString());
    return *this;
}

Statement &Statement::bindText(int index, const QByteArray &value)
{
    if (sqlite3_bind_text64(m_statement, index, value.constData(), sqlite3_uint64(value.size()),
                            SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK)
        m_db.fail(QString());
    return *this;
}

bool Statement::step()
{
    const int status = sqlite3_step(m_statement);
    if (status == SQLITE_ROW)
        return true;
    if (status == SQLITE_DONE)
        return false;
    sqlite3_reset(m_statement);
    m_db.fail(QString());
}

void Statement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

QByteArray Statement::blob(int column) const
{
    const void *data = sqlite3_column_blob(m_statement, column);
    const int size = sqlite3_column_bytes(m_statement, column);
    return QByteArray(static_cast<const char *>(data), size);
}

} // namespace Sqlite
