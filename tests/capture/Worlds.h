#pragma once

// The scenario worlds the conversion tests share with the game's end-to-end tests.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace Worlds {

// Every edge of names, kinds, states, textures and selection. Station 27's name is 257 bytes, the
// whole array without a NUL; station 28's ends in an invalid UTF-8 byte. Train 6's path names a
// track that does not exist.
inline QJsonObject edges()
{
    return QJsonDocument::fromJson(QString(R"({
  "stations": [{"id": 26, "name": ""}, {"id": 27, "nameHex": "%1"},
               {"id": 28, "nameHex": "56C3A96C6FFF00"}],
  "tracks": [{"id": 1, "stationId": 26, "speedLimit": 22.5}, {"id": 2}, {"id": 3, "stationId": 99},
             {"id": 4, "stationId": 27}, {"id": "0xFFFFFFFFFFFFFFF0", "stationId": 28}],
  "nodes": [{"id": 1, "x": 10, "y": 4, "neighbour1": 2}, {"id": 2, "neighbour1": 1},
            {"id": 2, "y": -1.5}, {"id": 3, "neighbour2": 4}],
  "trains": [
    {"id": 5, "name": "IC 12", "trackId": 1, "speed": 12.5, "fraction": 0.457, "sense": 1,
     "flags": 3, "path": [1, 2, 3]},
    {"id": 6, "name": "Fret 6", "trackId": 2, "flags": 1, "path": [4, 888]},
    {"id": 7, "name": "TER 7", "trackId": 4, "flags": 10},
    {"id": "0x8000000000000005", "name": "Nuit", "trackId": 1, "flags": 3, "path": []}],
  "signals": [{"id": 100, "trackId": 1, "fraction": 0.5, "sense": 1, "kind": 2},
              {"id": 101, "trackId": 1, "kind": 3}, {"id": 102, "trackId": 2, "kind": 6},
              {"id": 103, "trackId": 3}, {"id": 104, "trackId": 77, "kind": 1}],
  "signalStates": [
    {"signalId": 100, "flags": 6, "nativeState": -1, "label1": "Voie libre", "label2": "VL"},
    {"signalId": 100, "flags": 6, "nativeState": 5, "label1": "Second"},
    {"signalId": 101, "flags": 2, "nativeState": 3, "label1": "Avert"},
    {"signalId": 103, "flags": 4, "nativeState": 9}],
  "signalTextures": [{"signalId": 100, "flags": 2, "path": "/tmp/zorvy/a.png"},
                     {"signalId": 100, "flags": 2, "path": "/tmp/zorvy/other.png"},
                     {"signalId": 101, "flags": 1, "path": "/tmp/zorvy/b.png"},
                     {"signalId": 102, "flags": 3, "path": ""},
                     {"signalId": 103, "flags": 6, "path": "/tmp/zorvy/d.png"}],
  "reservations": [{"trainId": 5, "trackId": 2, "end": 1.0},
                   {"trainId": 6, "trackId": 3, "begin": 0.2, "end": 0.4},
                   {"trainId": 5, "trackId": 3, "begin": 0.5, "end": 0.9}],
  "occupations": [{"trainId": 5, "trackId": 1, "begin": 0.3, "end": 0.6},
                  {"trainId": 7, "trackId": 4, "end": 1.0}]})")
                                       .arg(QString("41").repeated(257))
                                       .toUtf8())
        .object();
}

// One positioned train without a path, and no usage data at all (the library answers 8).
inline QJsonObject unavailable()
{
    return QJsonDocument::fromJson(R"({"tracks": [{"id": 1}],
  "trains": [{"id": 6, "name": "Fret 6", "trackId": 1, "flags": 3}],
  "reservations": null, "occupations": null})")
        .object();
}

// 501 tracks of two stations and nothing else.
inline QJsonObject manyTracks()
{
    QJsonArray tracks;
    for (int i = 1; i <= 501; ++i)
        tracks.append(QJsonObject{{"id", i}, {"stationId", i <= 500 ? 1 : 2}});
    return QJsonObject{{"tracks", tracks},
                       {"stations", QJsonArray{QJsonObject{{"id", 1}, {"name", "Nord"}},
                                               QJsonObject{{"id", 2}, {"name", "Sud"}}}}};
}

// Records whose ids name nothing: a train, a signal and usage on tracks that do not exist, a state
// and a texture of no signal, a track of no station, nodes whose neighbours are no node.
inline QJsonObject danglingIds()
{
    return QJsonDocument::fromJson(R"({
  "stations": [{"id": 2, "name": "Nord"}, {"id": 1, "name": "Est"}],
  "tracks": [{"id": 10, "stationId": 1}, {"id": 11, "stationId": 42}],
  "nodes": [{"id": 10, "neighbour1": 1234, "neighbour2": 11, "x": 1, "y": 2},
            {"id": 11, "neighbour1": 10, "x": 3, "y": 4}],
  "trains": [{"id": 5, "name": "Perdu", "trackId": 99, "flags": 3, "path": [99]}],
  "signals": [{"id": 100, "trackId": 77, "kind": 6}],
  "signalStates": [{"signalId": 555, "flags": 6, "nativeState": 4, "label1": "X"}],
  "signalTextures": [{"signalId": 555, "flags": 2, "path": "/tmp/zorvy/x.png"}],
  "reservations": [{"trainId": 31, "trackId": 32, "end": 1.0}],
  "occupations": [{"trainId": 31, "trackId": 32, "end": 1.0}]})")
        .object();
}

} // namespace Worlds
