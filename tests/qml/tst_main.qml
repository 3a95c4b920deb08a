import QtQuick
import QtTest
import ZorvyTco

TestCase {
    id: testCase
    name: "MainWindow"
    when: windowShown

    // Plays the Backend: publishes the maps a test gives it and records the calls it receives.
    Component {
        id: backendComponent
        QtObject {
            property var data: ({ "status": "Déconnecté", "live": false })
            property var calls: []
            signal changed()
            function publish(map) { data = map; changed(); }
            function record(name, args) { calls = calls.concat([{ "name": name, "args": args }]); }
            function connectGame(pid) { record("connectGame", [pid]); }
            function disconnectGame() { record("disconnectGame", []); }
            function setView(scope, station, track, page) { record("setView", [scope, station, track, page]); }
            function selectTrain(train) { record("selectTrain", [train]); }
        }
    }
    Component {
        id: updaterComponent
        QtObject {
            property string status: ""
            property bool ready: false
            signal changed()
            function check() {}
            function restart() {}
        }
    }
    Component {
        id: mainComponent
        Main {}
    }

    property var backend
    property var win

    function init() {
        backend = createTemporaryObject(backendComponent, testCase);
        win = createTemporaryObject(mainComponent, testCase,
                                    { "backend": backend, "updater": createTemporaryObject(updaterComponent, testCase) });
        verify(win);
        tryVerify(() => win.active || win.visible);
        waitForRendering(win.contentItem);
        win.panelMode = false;
    }

    function child(name) {
        const found = findChild(win.contentItem, name);
        verify(found, "no item named " + name);
        return found;
    }

    function id16(n) {
        return n.toString(16).toUpperCase().padStart(16, "0");
    }

    function liveMap(extra) {
        return Object.assign({ "status": "Connecté · PID 4242", "live": true, "updated": "12:34:56.789",
                               "page": 0, "pages": 1, "filteredCount": 1, "trains": [], "tracks": [],
                               "stations": [{ "id": id16(26), "name": "Gare A" }, { "id": id16(27), "name": "Gare B" }] },
                             extra);
    }

    function test_emptyDataMap() {
        backend.publish({});
        for (let i = 0; i < 3; ++i)
            compare(child("counter" + i).text, "0");
        compare(child("counter3").text, "0 / 0");
        compare(child("emptyListText").text, "En attente de données du jeu");
        verify(child("emptyListText").visible);
        compare(child("pagerText").text, "1 / 1 · 0 voies");
        verify(!child("previousPage").enabled);
        verify(!child("nextPage").enabled);
        compare(child("statusText").text, "Déconnecté");
        compare(child("versionLine").text, "ZorvyRailsSDK 0.6 · observation expérimentale · --:--:--");
    }

    function test_trainCardClickEndsInOneSelectionView() {
        const train = { "id": id16(5), "name": "IC 12", "speed": 45.25, "present": true,
                        "positioned": true, "track": id16(0x1234567890), "fraction": 0.4, "direction": 1 };
        backend.publish(liveMap({ "trains": [train] }));
        const list = child("trainList");
        tryVerify(() => list.itemAtIndex(0) !== null);
        // Something else chosen first, so that the card click has values to reset.
        const station = child("station");
        station.currentIndex = 1;
        station.activated(1);
        child("scope").currentIndex = 1;
        backend.calls = [];
        mouseClick(list.itemAtIndex(0));
        compare(backend.calls[0], { "name": "selectTrain", "args": [id16(5)] });
        const views = backend.calls.filter(call => call.name === "setView");
        compare(views[views.length - 1].args, [3, "", id16(0x1234567890), 0]);
    }

    function test_choosingTheChosenStationSendsNothing() {
        backend.publish(liveMap({}));
        const station = child("station");
        station.currentIndex = 2;
        station.activated(2);
        compare(backend.calls, [{ "name": "setView", "args": [0, id16(27), "", 0] }]);
        backend.calls = [];
        station.activated(2);
        compare(backend.calls, []);
    }

    function test_selectedSignalLeavesTheView() {
        const signal = { "id": id16(100), "kind": "Arrêt quai", "balise": false, "marker": false,
                         "fraction": 0.5, "direction": 1, "aspect": "État natif 3",
                         "specificState": "Voie libre:VL", "stateAvailable": true, "texturePath": "", "textureUrl": "" };
        const track = signals => ({ "id": id16(1), "stationId": id16(26), "station": "Gare A",
                                    "limit": 81, "signals": signals, "trains": [] });
        backend.publish(liveMap({ "tracks": [track([signal])] }));
        const board = child("board");
        tryVerify(() => board.itemAtIndex(0) !== null);
        mouseClick(findChild(board.itemAtIndex(0), "signalZone"));
        compare(win.selectedSignal, id16(100));
        backend.publish(liveMap({ "tracks": [track([])] }));
        compare(child("signalLine").text, "Signal hors de la vue courante");
    }
}
