#pragma once

#include "SdkRecords.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

class RecordingReader;

// The image files kept in a recording, written to a folder the first time a texture record names
// them; rewrite() makes a record name that copy instead, restore() gives it its recorded path
// back. A file that was not kept, or that cannot be written, leaves the recorded path as it is.
class RecordedImages
{
public:
    // The copies go to folder (which must exist), named prefix, a number and the file's suffix.
    RecordedImages(QString folder, QString prefix)
        : m_folder(std::move(folder)), m_prefix(std::move(prefix))
    {
    }

    // Makes texture name the copy of its image; returns the id restore() takes to give it its
    // recorded path back, or -1 when it was left as recorded.
    qint32 rewrite(SdkSignalTexture &texture, RecordingReader &reader);
    void restore(SdkSignalTexture &texture, qint32 id) const;
    // What rewrite() does for a record that names exactly the recorded path field of id (as a
    // record in its place did before), without looking the path up; false, and texture left as
    // it is, when it names another.
    bool reuse(SdkSignalTexture &texture, qint32 id) const;

private:
    QByteArray copyOf(const QByteArray &path, RecordingReader &reader);

    QString m_folder;
    QString m_prefix;
    QHash<QByteArray, QByteArray> m_extracted; // recorded path -> copy (empty: not kept)
    // The recorded path fields of the records rewritten (without their trailing zero bytes), by id.
    QHash<QByteArray, qint32> m_ids;
    std::vector<QByteArray> m_recorded;
    std::vector<QByteArray> m_copies; // by id: the copy the recorded path names
};
