#pragma once

#include "RecordingReader.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// The image files kept in a recording, written to a folder the first time a capture names them;
// rewrite() makes a capture's texture records name those copies instead. A file that was not kept,
// or that cannot be written, leaves the recorded path as it is.
class RecordedImages
{
public:
    // The copies go to folder (which must exist), named prefix, a number and the file's suffix.
    RecordedImages(QString folder, QString prefix)
        : m_folder(std::move(folder)), m_prefix(std::move(prefix))
    {
    }

    void rewrite(SnapshotRecords &records, RecordingReader &reader);

private:
    QString m_folder;
    QString m_prefix;
    QHash<QByteArray, QByteArray> m_extracted; // recorded path -> copy (empty: not kept)
};
