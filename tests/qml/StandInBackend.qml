import QtQuick

// Plays the Backend: publishes the maps a test gives it and records every call it receives.
QtObject {
    property var data: ({ "status": "Déconnecté", "live": false })
    property var calls: []

    signal changed()

    function publish(map) {
        data = map;
        changed();
    }
    function record(name, args) {
        calls = calls.concat([{ "name": name, "args": args }]);
    }
    function callsNamed(name) {
        return calls.filter(call => call.name === name);
    }
    function connectGame(pid) { record("connectGame", [pid]); }
    function disconnectGame() { record("disconnectGame", []); }
    function setView(scope, station, track, page) { record("setView", [scope, station, track, page]); }
    function selectTrain(train) { record("selectTrain", [train]); }
}
