#pragma once

#include "RecordStream.h"
#include "Sqlite.h"

#include <QElapsedTimer>
#include <QSet>

#include <memory>
#include <optional>

// Writes captures into a new recording file, on the thread that calls it. Every failure (the file
// cannot be created, the disk is full) throws RecordingFormat::Error with a French text; the
// captures committed until then stay readable.
class RecordingWriter
{
public:
    // Creates the file; an existing file is never overwritten.
    explicit RecordingWriter(const QString &path);
    ~RecordingWriter();

    // Adds one capture to the open transaction (one is begun if needed). The shared form keeps
    // the capture until the next instead of copying its records.
    void append(const CapturedRecords &capture);
    void append(SharedCapture capture);
    // Commits what was appended since the last commit.
    void commit();
    bool hasUncommitted() const { return m_inTransaction; }

    qint64 captureCount() const { return m_number; }
    // The bytes of compressed lists and files written so far.
    qint64 bytesWritten() const { return m_bytes; }

private:
    void storeFiles(const SnapshotRecords &records);

    Sqlite::Database m_db;
    std::optional<Sqlite::Statement> m_insertCapture, m_insertList, m_insertFile;
    bool m_inTransaction = false;
    qint64 m_number = 0;
    qint64 m_lastKeyMs = 0;
    qint64 m_bytes = 0;
    // The records of the previous capture, to store only the lists that changed.
    void write(const CapturedRecords &capture);
    SharedCapture m_previous;
    QSet<QByteArray> m_seenFiles;
    QByteArray m_difference; // memory for the differences, kept from capture to capture
};
