#pragma once

#include "RecordingFormat.h"

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

// Thin owners of SQLite's connection and statements; every failure throws RecordingFormat::Error
// with the context given and SQLite's own text.
namespace Sqlite {

class Database
{
public:
    Database() = default;
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;
    ~Database() { close(); }

    // flags as sqlite3_open_v2's; context names the file in errors.
    void open(const QString &path, int flags, const QString &context);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    sqlite3 *handle() const { return m_db; }
    [[noreturn]] void fail(const QString &what) const;
    void exec(const char *sql);
    QString context() const { return m_context; }

private:
    sqlite3 *m_db = nullptr;
    QString m_context;
};

class Statement
{
public:
    Statement(Database &db, const char *sql);
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    ~Statement() { sqlite3_finalize(m_statement); }

    Statement &bind(int index, qint64 value);
    Statement &bindBlob(int index, const QByteArray &value);
    Statement &bindText(int index, const QByteArray &value);
    // True while a row is there; throws on failure.
    bool step();
    void reset();

    qint64 integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    QByteArray blob(int column) const;
    qint64 bytes(int column) const { return sqlite3_column_bytes(m_statement, column); }
    bool isNull(int column) const
    {
        return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
    }

private:
    Database &m_db;
    sqlite3_stmt *m_statement = nullptr;
};

} // namespace Sqlite
