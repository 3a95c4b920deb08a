#include "RecordingExport.h"

#include "DataMapJson.h"
#include "RecordingReader.h"
#include "SnapshotConverter.h"

#include <QSaveFile>

#include <cmath>

QString exportCaptureJson(const QString &recordingPath, double seconds, const QString &outPath)
{
    if (!std::isfinite(seconds) || seconds < 0)
        return QStringLiteral("Export impossible : le temps doit être un nombre de secondes "
                              "positif");
    QByteArray json;
    try {
        RecordingReader reader(recordingPath);
        if (reader.captures().empty())
            return QStringLiteral(
                "Export impossible : l’enregistrement ne contient aucune capture");
        CapturedRecords capture;
        reader.load(reader.indexAt(qint64(seconds * 1000.0)), capture);
        QVariantMap map = convertRecords(capture.records, capture.processId, ViewParameters{});
        stampCapture(map, capture.durationMs, capture.timeMs + capture.durationMs);
        json = DataMapJson::toJson(map);
    } catch (const RecordingFormat::Error &error) {
        return error.text();
    }
    QSaveFile file(outPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        return QStringLiteral("Export impossible dans %1 : %2").arg(outPath, file.errorString());
    return QString();
}
