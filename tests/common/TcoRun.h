#pragma once

// Running the real program from the tests that drive it end to end, the signal images they hand
// to the game and a small world for it to play.

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

struct Run
{
    int exitCode = -1;
    QStringList lines; // standard output
    QString log;       // standard error (the message log)
    QString verify() const { return lines.value(lines.size() - 2); } // the VERIFY line
    QStringList live() const { return lines.filter(QRegularExpression("^LIVE ")); }
};

// A program still running after timeoutMs is killed and gives the exit code -1.
inline Run runTco(const QStringList &arguments, int timeoutMs = 60000)
{
    QProcess process; // killed when it dies
    process.start(QCoreApplication::applicationDirPath() + "/ZorvyTco", arguments);
    Run run;
    if (process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    run.log = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Writes n (at most four) images signal<i>.png of different colours into dir.
inline QStringList writeTextures(const QString &dir, int n)
{
    QStringList paths;
    const QColor colours[] = {Qt::red, Qt::green, Qt::yellow, Qt::blue};
    for (int i = 0; i < n && i < 4; ++i) {
        QImage image(32, 48, QImage::Format_ARGB32);
        image.fill(colours[i]);
        paths << QDir(dir).filePath(QString("signal%1.png").arg(i));
        if (!image.save(paths.last()))
            qFatal("cannot write %s", qPrintable(paths.last()));
    }
    return paths;
}

// A small frozen world: one positioned train with a reservation and an occupation, four
// signals whose states blink 9, 9, 10, 10, the first ones with the textures given.
inline QJsonObject frozenWorld(const QStringList &textures)
{
    QJsonObject world = QJsonDocument::fromJson(R"({
  "stations": [{"id": 26, "name": "Gare A"}],
  "tracks": [{"id": 1, "stationId": 26, "speedLimit": 22.5},
             {"id": 2, "stationId": 26, "speedLimit": 30.0}],
  "nodes": [{"id": 1, "neighbour1": 2, "x": 0.0, "y": 0.0},
            {"id": 2, "neighbour1": 1, "x": 400.0, "y": 0.0}],
  "trains": [{"id": 5, "name": "IC 12", "trackId": 1, "speed": 12.5, "fraction": 0.457,
              "sense": 1, "flags": 3, "path": [1, 2]}],
  "signals": [{"id": 100, "trackId": 1, "fraction": 0.2, "sense": 1, "kind": 1},
              {"id": 101, "trackId": 2, "fraction": 0.4, "sense": 1, "kind": 1},
              {"id": 102, "trackId": 1, "fraction": 0.6, "sense": 1, "kind": 1},
              {"id": 103, "trackId": 2, "fraction": 0.8, "sense": 1, "kind": 1}],
  "signalStates": [
    {"signalId": 100, "flags": 6, "nativeState": 9, "label1": "Voie libre", "label2": "VL"},
    {"signalId": 101, "flags": 6, "nativeState": 9, "label1": "Voie libre", "label2": "VL"},
    {"signalId": 102, "flags": 6, "nativeState": 10, "label1": "Voie libre", "label2": "VL"},
    {"signalId": 103, "flags": 6, "nativeState": 10, "label1": "Voie libre", "label2": "VL"}],
  "reservations": [{"trainId": 5, "trackId": 2, "begin": 0.0, "end": 1.0}],
  "occupations": [{"trainId": 5, "trackId": 1, "begin": 0.3, "end": 0.6}]})")
                            .object();
    QJsonArray textureList;
    for (int i = 0; i < textures.size(); ++i)
        textureList.append(
            QJsonObject{{"signalId", 100 + i}, {"flags", 2}, {"path", textures.at(i)}});
    world["signalTextures"] = textureList;
    return world;
}
