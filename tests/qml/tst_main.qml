import QtQuick
import QtTest
import ZorvyTco

TestCase {
    id: testCase
    name: "MainWindow"
    when: windowShown

    Component {
        id: backendComponent
        StandInBackend {}
    }
    Component {
        id: updaterComponent
        StandInUpdater {}
    }
    Component {
        id: mainComponent
        Main {}
    }


    property var backend
    property var updater
    property var win

    function init() {
        backend = createTemporaryObject(backendComponent, testCase);
        updater = createTemporaryObject(updaterComponent, testCase);
        win = createTemporaryObject(mainComponent, testCase, { "backend": backend, "updater": updater });
        verify(win, "Main is created with its two required properties");
        tryVerify(() => win.active || win.visible);
        waitForRendering(win.contentItem);
    }

    function child(name) {
        const found = findChild(win.contentItem, name);
        verify(found, "no item named " + name);
        return found;
    }

    function id16(n) {
        const hex = n.toString(16).toUpperCase();
        return "0".repeat(16 - hex.length) + hex;
    }

    function liveMap(extra) {
        const map = {
            "status": "Connecté · PID 4242", "live": true, "updated": "12:34:56.789",
            "trainCount": 1, "trackCount": 3, "stationCount": 1, "signalCount": 2, "baliseCount": 1,
            "page": 0, "pages": 1, "filteredCount": 1, "captureMs": 7,
            "trains": [], "tracks": [], "stations": []
        };
        for (const key in extra)
            map[key] = extra[key];
        return map;
    }

    function signalMap(id, fraction) {
        return { "id": id16(id), "kind": "Arrêt quai", "balise": false, "marker": false,
                 "fraction": fraction, "direction": 1, "aspect": "État natif 3",
                 "specificState": "Voie libre:VL", "stateAvailable": true, "texturePath": "",
                 "textureUrl": "" };
    }

    function trackMap(id, signals, trains) {
        return { "id": id16(id), "stationId": id16(26), "station": "Gare A", "limit": 81,
                 "signals": signals, "trains": trains };
    }

    function test_emptyDataMap() {
        backend.publish({});
        win.panelMode = false;
        compare(child("counter0").text, "0");
        compare(child("counter1").text, "0");
        compare(child("counter2").text, "0");
        compare(child("counter3").text, "0 / 0");
        compare(child("trainList").count, 0);
        compare(child("board").count, 0);
        const empty = child("emptyListText");
        verify(empty.visible);
        compare(empty.text, "En attente de données du jeu");
        compare(child("pagerText").text, "1 / 1 · 0 voies");
        verify(!child("previousPage").enabled);
        verify(!child("nextPage").enabled);
        compare(child("statusText").text, "Déconnecté");
        compare(child("versionLine").text, "ZorvyRailsSDK 0.6 · observation expérimentale · --:--:--");
        compare(child("liveBadgeText").text, "●  EN ATTENTE");
    }

    function test_statusOfTheMapIsShown() {
        backend.publish({ "status": "Connexion…", "live": false });
        compare(child("statusText").text, "Connexion…");
        backend.publish(liveMap({}));
        compare(child("statusText").text, "Connecté · PID 4242");
        compare(child("liveBadgeText").text, "●  EN DIRECT");
        compare(child("versionLine").text, "ZorvyRailsSDK 0.6 · observation expérimentale · 12:34:56.789");
        compare(child("counter3").text, "2 / 1");
    }

    function test_panelShowsTheUsageOfTheMap() {
        backend.publish(liveMap({ "selectedTrain": "IC 12", "reservationsAvailable": true,
                                  "mapReservations": [{}, {}, {}], "occupationsAvailable": true,
                                  "mapOccupations": [{}, {}] }));
        compare(child("selectionLine").text, "IC 12 · Réservations : 3");
        verify(child("legend").text.indexOf("(2 portions)") > 0);
        backend.publish(liveMap({ "selectedTrain": "IC 12", "usageStale": true }));
        compare(child("selectionLine").text, "IC 12 · Réservations : périmées");
        verify(child("legend").text.indexOf("(périmée)") > 0);
    }

    function test_pager() {
        win.panelMode = false;
        backend.publish(liveMap({ "page": 1, "pages": 3, "filteredCount": 1200 }));
        compare(child("pagerText").text, "2 / 3 · 1200 voies");
        waitForRendering(win.contentItem);
        verify(child("previousPage").enabled);
        verify(child("nextPage").enabled);
        backend.calls = [];
        mouseClick(child("nextPage"));
        compare(JSON.stringify(backend.callsNamed("setView")), JSON.stringify([{ "name": "setView", "args": [0, "", "", 2] }]));
        backend.calls = [];
        mouseClick(child("previousPage"));
        compare(JSON.stringify(backend.callsNamed("setView")), JSON.stringify([{ "name": "setView", "args": [0, "", "", 0] }]));
        backend.publish(liveMap({ "page": 2, "pages": 3, "filteredCount": 1200 }));
        verify(!child("nextPage").enabled);
    }

    function test_trainCardClickEndsInOneSelectionView() {
        const train = { "id": id16(5), "name": "IC 12", "speed": 45.25, "present": true,
                        "positioned": true, "track": id16(0x1234567890), "fraction": 0.4,
                        "direction": 1 };
        const lost = { "id": id16(6), "name": "TER 3", "speed": 0, "present": false,
                       "positioned": false, "track": id16(0x1234567890), "fraction": 0,
                       "direction": 0 };
        backend.publish(liveMap({ "trains": [train, lost],
                                  "stations": [{ "id": id16(26), "name": "Gare A" }] }));
        const list = child("trainList");
        tryCompare(list, "count", 2);
        // Something else chosen first, so that the card click has values to reset.
        const station = child("station");
        station.currentIndex = 1;
        station.activated(1);
        child("scope").currentIndex = 1;
        backend.calls = [];

        tryVerify(() => list.itemAtIndex(1) !== null);
        const card = list.itemAtIndex(0);
        compare(findChild(card, "trainSpeed").text, "45.3 km/h");
        compare(findChild(card, "trainTrack").text, "Voie …34567890");
        const lostCard = list.itemAtIndex(1);
        compare(findChild(lostCard, "trainSpeed").text, "Vitesse indisponible");
        compare(findChild(lostCard, "trainTrack").text, "Non localisé dans les états validés");

        mouseClick(card);
        compare(backend.calls[0], { "name": "selectTrain", "args": [id16(5)] });
        const views = backend.callsNamed("setView");
        verify(views.length >= 1);
        compare(views[views.length - 1].args, [3, "", id16(0x1234567890), 0]);
        compare(win.selectedTrack, id16(0x1234567890));
        compare(station.currentIndex, 0);
        compare(child("scope").currentIndex, 3);
        verify(card.highlighted);
        // Same track, but not positioned: never highlighted.
        verify(!lostCard.highlighted);
    }

    function test_choosingTheChosenStationSendsNothing() {
        backend.publish(liveMap({ "stations": [{ "id": id16(26), "name": "Gare A" },
                                               { "id": id16(27), "name": "Gare B" }] }));
        win.panelMode = false;
        const station = child("station");
        compare(station.count, 3);
        compare(station.textAt(0), "Toutes les gares");
        backend.calls = [];
        station.currentIndex = 2;
        station.activated(2);
        compare(backend.callsNamed("setView"), [{ "name": "setView", "args": [0, id16(27), "", 0] }]);
        backend.calls = [];
        station.activated(2);
        compare(backend.calls, []);
        // The same stations published again keep the chooser where it is.
        backend.publish(liveMap({ "stations": [{ "id": id16(26), "name": "Gare A" },
                                               { "id": id16(27), "name": "Gare B" }] }));
        compare(station.currentIndex, 2);
        compare(backend.calls, []);
    }

    function test_selectedSignalLeavesTheView() {
        win.panelMode = false;
        const withSignal = trackMap(1, [signalMap(100, 0.5)], []);
        backend.publish(liveMap({ "tracks": [withSignal] }));
        const board = child("board");
        tryCompare(board, "count", 1);
        tryVerify(() => board.itemAtIndex(0) !== null);
        const row = board.itemAtIndex(0);
        const symbol = findChild(row, "drawnSymbol");
        verify(symbol.visible, "a signal without texture is drawn");
        const zone = findChild(row, "signalZone");
        compare(zone.width, win.signalSize);
        compare(zone.height, win.signalSize + 12);
        mouseClick(zone);
        compare(win.selectedSignal, id16(100));
        compare(child("signalLine").text,
                "Arrêt quai · " + id16(100) + " · État natif 3 · Voie libre:VL");

        backend.publish(liveMap({ "tracks": [trackMap(1, [], [])] }));
        compare(child("signalLine").text, "Signal hors de la vue courante");

        // Losing the live state clears the selection.
        backend.publish({ "status": "Déconnecté", "live": false });
        compare(win.selectedSignal, "");
        compare(child("signalLine").text,
                "Voies et positions observées · états natifs des signaux dans la liste");
    }

    function test_listKeepsRowsWhileTheGamePublishes() {
        win.panelMode = false;
        const tracks = [];
        for (let i = 1; i <= 30; ++i)
            tracks.push(trackMap(i, [], []));
        backend.publish(liveMap({ "tracks": tracks }));
        const board = child("board");
        tryCompare(board, "count", 30);
        board.positionViewAtIndex(20, ListView.Beginning);
        const contentY = board.contentY;
        verify(contentY > 0);
        tracks[25] = trackMap(25, [signalMap(7, 0.25)], []);
        backend.publish(liveMap({ "tracks": tracks }));
        compare(board.contentY, contentY);
    }

    function test_newPageStartsAtTheTop() {
        win.panelMode = false;
        const tracks = [];
        for (let i = 1; i <= 30; ++i)
            tracks.push(trackMap(i, [], []));
        backend.publish(liveMap({ "tracks": tracks, "page": 0, "pages": 2, "filteredCount": 530 }));
        const board = child("board");
        tryCompare(board, "count", 30);
        board.positionViewAtIndex(20, ListView.Beginning);
        verify(board.contentY > 0);
        waitForRendering(win.contentItem);
        mouseClick(child("nextPage"));
        const next = [];
        for (let i = 31; i <= 60; ++i)
            next.push(trackMap(i, [], []));
        backend.publish(liveMap({ "tracks": next, "page": 1, "pages": 2, "filteredCount": 530 }));
        tryCompare(board, "contentY", board.originY);
    }

    function test_connectionControls() {
        mouseClick(child("connectButton"));
        compare(backend.callsNamed("connectGame"), [{ "name": "connectGame", "args": [""] }]);
        mouseClick(child("disconnectButton"));
        compare(backend.callsNamed("disconnectGame").length, 1);
        const field = child("pid");
        field.forceActiveFocus();
        field.text = "4242";
        keyClick(Qt.Key_Return);
        compare(backend.callsNamed("connectGame")[1].args, ["4242"]);
    }

    function test_updateButton() {
        const button = child("updateButton");
        compare(button.text, "Vérifier les mises à jour");
        mouseClick(button);
        compare(updater.calls, ["check"]);
        updater.ready = true;
        updater.status = "Mise à jour prête";
        compare(button.text, "Redémarrer et mettre à jour");
        compare(child("updateStatus").text, "Mise à jour prête");
        mouseClick(button);
        compare(updater.calls, ["check", "restart"]);
    }

    function test_modeButtonAndCaption() {
        backend.publish(liveMap({ "captureMs": 12 }));
        const mode = child("modeButton");
        compare(mode.text, "Liste");
        compare(child("caption").text, "Carte entière · caméra libre · capture 12 ms");
        verify(child("panel").visible);
        mouseClick(mode);
        compare(mode.text, "Panneau TCO");
        compare(child("caption").text, "Segments indépendants · positions en fraction de voie");
        verify(!child("panel").visible);
        verify(child("board").visible);
    }

    function test_panelTrainChoiceSelectsOnly() {
        const panel = child("panel");
        backend.calls = [];
        panel.trainSelected(id16(9));
        compare(backend.calls, [{ "name": "selectTrain", "args": [id16(9)] }]);
    }
}
