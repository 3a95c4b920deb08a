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

    function trainMap(n, track, extra) {
        return Object.assign({ "id": id16(n), "name": "Train " + n, "speed": 40, "present": true,
                               "positioned": true, "track": id16(track), "fraction": 0.5, "direction": 1 },
                             extra || {});
    }

    function lastView() {
        const views = backend.calls.filter(call => call.name === "setView");
        return views.length ? views[views.length - 1].args : null;
    }

    function test_stationFilterStaysShown_data() {
        return [
            { "tag": "same game back: the chosen station is shown again", "stations": ["Gare A", "Gare B"],
              "shown": "Gare B", "filter": id16(27) },
            { "tag": "another game without it: the filter is dropped", "stations": ["Gare C"],
              "shown": "Toutes les gares", "filter": "" }
        ];
    }

    function test_stationFilterStaysShown(data) {
        backend.publish(liveMap({}));
        child("scope").currentIndex = 2;
        const station = child("station");
        station.currentIndex = 2;
        station.activated(2);
        // Another PID: the Backend publishes maps without stations meanwhile.
        backend.publish({ "status": "Connexion…", "live": false });
        compare(station.displayText, "Gare B");
        compare(win.stationFilter, id16(27));
        const names = { "Gare A": 26, "Gare B": 27, "Gare C": 40 };
        backend.publish(liveMap({ "stations": data.stations.map(name => ({ "id": id16(names[name]), "name": name })) }));
        compare(station.displayText, data.shown);
        compare(win.stationFilter, data.filter);
        compare(lastView(), [2, data.filter, "", 0]);
    }

    function test_selectionIsTheTrainAcrossTracks() {
        backend.publish(liveMap({ "trains": [trainMap(5, 100), trainMap(6, 200)] }));
        const list = child("trainList");
        tryVerify(() => list.itemAtIndex(1) !== null);
        mouseClick(list.itemAtIndex(0));
        compare(lastView(), [3, "", id16(100), 0]);
        // The train runs on to the next track; the other train comes onto its old one.
        backend.publish(liveMap({ "trains": [trainMap(5, 101), trainMap(6, 100)] }));
        verify(list.itemAtIndex(0).highlighted);
        verify(!list.itemAtIndex(1).highlighted);
        compare(win.selectedTrack, id16(101));
        compare(lastView(), [3, "", id16(101), 0]);
    }

    function test_backendSelectionShowsOnItsCard() {
        backend.publish(liveMap({ "trains": [trainMap(5, 100), trainMap(6, 200)], "selectedTrainId": id16(6) }));
        const list = child("trainList");
        tryVerify(() => list.itemAtIndex(1) !== null);
        verify(!list.itemAtIndex(0).highlighted);
        verify(list.itemAtIndex(1).highlighted);
    }

    function test_trainPickedOnTheMapIsSelectedInTheList() {
        const trains = [];
        for (let n = 1; n <= 30; ++n)
            trains.push(trainMap(n, 100 + n));
        backend.publish(liveMap({ "trains": trains }));
        win.panelMode = true;
        const list = child("trainList");
        child("panel").trainSelected(id16(30));
        compare(backend.calls[backend.calls.length - 1], { "name": "selectTrain", "args": [id16(30)] });
        tryVerify(() => list.itemAtIndex(29) !== null && list.itemAtIndex(29).visible);
        const card = list.itemAtIndex(29);
        verify(card.highlighted);
        // Scrolled into view.
        verify(card.y >= list.contentY && card.y + card.height <= list.contentY + list.height + 0.5);
    }

    function test_updateButtonSaysWhatHappened() {
        const note = child("updateCheckNote");
        verify(!note.visible);
        mouseClick(child("updateButton"));
        verify(note.visible);
        verify(/^· vérifié à \d\d:\d\d:\d\d$/.test(note.text), note.text);
    }

    function test_pidTakesDigitsOnly() {
        const pid = child("pid");
        pid.forceActiveFocus();
        keyClick(Qt.Key_4);
        keyClick(Qt.Key_A);
        keyClick(Qt.Key_2);
        keyClick(Qt.Key_Minus);
        keyClick(Qt.Key_Space);
        keyClick(Qt.Key_7);
        compare(pid.text, "427");
        keyClick(Qt.Key_Return);
        compare(backend.calls[backend.calls.length - 1], { "name": "connectGame", "args": ["427"] });
    }
}
