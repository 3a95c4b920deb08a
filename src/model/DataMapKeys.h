#pragma once

#include <QString>

// The keys of the data map, made once for the whole program: thousands of small maps are built and
// read per capture, and converting each key from a C string at every insert or look-up costs more
// than the insert itself.
namespace DataMapKeys {

// What needs attention (live maps of the reader thread only): "attentionCounts" the positioned
// trains by state (the keys running, platform, held, stalled, locked); "attentionEvents" the
// alerts that started or ended with this capture, in order (each: started, state, id, name,
// place, text, time, since, cycle); "attentionTrains" the trains held, stalled or locked (id,
// state, since, track, waitsFor); "deadlocks" the reported wait cycles, each a list of train ids;
// "selectedAttention" the selected train's state (id, state, since, track, station, waitsFor,
// waitsForName, and time: the capture's wall clock in ms), empty when not known. A replay's events
// carry "replay"; "attentionRestart" tells that the events start again from the recording's
// beginning (a replay that went back).
inline const QString attentionCountsKey = QStringLiteral("attentionCounts");
inline const QString attentionEventsKey = QStringLiteral("attentionEvents");
inline const QString attentionTrainsKey = QStringLiteral("attentionTrains");
inline const QString attentionRestartKey = QStringLiteral("attentionRestart");
inline const QString selectedAttentionKey = QStringLiteral("selectedAttention");
inline const QString replayKey = QStringLiteral("replay");
inline const QString waitsForNameKey = QStringLiteral("waitsForName");
inline const QString cycleKey = QStringLiteral("cycle");
inline const QString deadlocksKey = QStringLiteral("deadlocks");
inline const QString placeKey = QStringLiteral("place");
inline const QString sinceKey = QStringLiteral("since");
inline const QString startedKey = QStringLiteral("started");
inline const QString stateKey = QStringLiteral("state");
inline const QString textKey = QStringLiteral("text");
inline const QString timeKey = QStringLiteral("time");
inline const QString waitsForKey = QStringLiteral("waitsFor");
inline const QString aspectKey = QStringLiteral("aspect");
inline const QString baliseKey = QStringLiteral("balise");
inline const QString baliseCountKey = QStringLiteral("baliseCount");
inline const QString beginKey = QStringLiteral("begin");
inline const QString captureMsKey = QStringLiteral("captureMs");
inline const QString directionKey = QStringLiteral("direction");
inline const QString endKey = QStringLiteral("end");
inline const QString filteredCountKey = QStringLiteral("filteredCount");
inline const QString fractionKey = QStringLiteral("fraction");
// The running games when an automatic search found several: the first few by start time, each a
// map of "pid" and "started" (milliseconds since 1970, 0 when unknown); how many more run beside
// them. While connected, the games started since the connection, in the same form.
inline const QString gameProcessesKey = QStringLiteral("gameProcesses");
inline const QString moreGameProcessesKey = QStringLiteral("moreGameProcesses");
inline const QString newGameProcessesKey = QStringLiteral("newGameProcesses");
inline const QString pidKey = QStringLiteral("pid");
// The process id chosen by the user when no game runs under it.
inline const QString endedGameKey = QStringLiteral("endedGame");
inline const QString idKey = QStringLiteral("id");
inline const QString kindKey = QStringLiteral("kind");
inline const QString limitKey = QStringLiteral("limit");
inline const QString liveKey = QStringLiteral("live");
inline const QString mapGeometryKey = QStringLiteral("mapGeometry");
inline const QString mapOccupationsKey = QStringLiteral("mapOccupations");
inline const QString mapPathKey = QStringLiteral("mapPath");
inline const QString mapReservationsKey = QStringLiteral("mapReservations");
inline const QString mapSignalsKey = QStringLiteral("mapSignals");
inline const QString mapStationsKey = QStringLiteral("mapStations");
inline const QString markerKey = QStringLiteral("marker");
inline const QString nameKey = QStringLiteral("name");
inline const QString occupationsAvailableKey = QStringLiteral("occupationsAvailable");
inline const QString pageKey = QStringLiteral("page");
inline const QString pagesKey = QStringLiteral("pages");
inline const QString pathAvailableKey = QStringLiteral("pathAvailable");
inline const QString pathSizeKey = QStringLiteral("pathSize");
inline const QString pathStaleKey = QStringLiteral("pathStale");
inline const QString positionedKey = QStringLiteral("positioned");
inline const QString positionedCountKey = QStringLiteral("positionedCount");
inline const QString presentKey = QStringLiteral("present");
inline const QString reservationsAvailableKey = QStringLiteral("reservationsAvailable");
inline const QString selectedTrackIdKey = QStringLiteral("selectedTrackId");
inline const QString selectedTrainKey = QStringLiteral("selectedTrain");
inline const QString selectedTrainIdKey = QStringLiteral("selectedTrainId");
inline const QString signalCountKey = QStringLiteral("signalCount");
inline const QString signalStateCountKey = QStringLiteral("signalStateCount");
inline const QString signalTextureCountKey = QStringLiteral("signalTextureCount");
inline const QString signalsKey = QStringLiteral("signals");
inline const QString specificStateKey = QStringLiteral("specificState");
inline const QString speedKey = QStringLiteral("speed");
inline const QString stateAvailableKey = QStringLiteral("stateAvailable");
inline const QString stationKey = QStringLiteral("station");
inline const QString stationCountKey = QStringLiteral("stationCount");
inline const QString stationIdKey = QStringLiteral("stationId");
inline const QString stationsKey = QStringLiteral("stations");
inline const QString statusKey = QStringLiteral("status");
inline const QString texturePathKey = QStringLiteral("texturePath");
inline const QString textureStateKey = QStringLiteral("textureState");
inline const QString textureUrlKey = QStringLiteral("textureUrl");
inline const QString trackKey = QStringLiteral("track");
inline const QString trackCountKey = QStringLiteral("trackCount");
inline const QString tracksKey = QStringLiteral("tracks");
inline const QString trainKey = QStringLiteral("train");
inline const QString trainCountKey = QStringLiteral("trainCount");
inline const QString trainsKey = QStringLiteral("trains");
inline const QString updatedKey = QStringLiteral("updated");
inline const QString usageStaleKey = QStringLiteral("usageStale");
inline const QString viewRevisionKey = QStringLiteral("viewRevision");
inline const QString xKey = QStringLiteral("x");
inline const QString yKey = QStringLiteral("y");

} // namespace DataMapKeys
