#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// One update as the feed describes it, filled from the manifest JSON before it is judged.
struct UpdateManifest
{
    QString version;
    QUrl url;
    QByteArray sha256; // lower-case hexadecimal
    qint64 size = 0;   // bytes; 0 when the manifest gave no acceptable whole number
};
