import QtQuick
import QtTest
import ZorvyTco

// The window over a stand-in Backend: what it shows of a data map, choosing trains, stations and
// signals, the keys, the search and the order of the train list, and the choices a next window
// starts with.
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
            function setAlertDelay(seconds) {}
            function clearTrain() { record("clearTrain", []); }
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
    // Plays a Replay with one alert marked halfway; records where it is asked to go.
    Component {
        id: replayComponent
        QtObject {
            property string fileName: "session.zrec"
            property bool playing: false
            property int speed: 1
            property double seconds: 0
            property double lengthSeconds: 60
            property string timeText: ""
            property var alertMarks: [{ "seconds": 30, "state": "deadlock", "text": "IC 12 · interblocage" }]
            property var sought: []
            property var stepped: []
            function step(captures) { stepped = stepped.concat([captures]); }
            function seek(to) { sought = sought.concat([to]); }
        }
    }
    Component {
        id: recorderComponent
        QtObject {
            property bool recording: false
            property string status: ""
            property var calls: []
            function startInFolder() { calls = calls.concat(["start"]); recording = true; status = "Enregistrement en cours · s.zrec"; }
            function stop() { calls = calls.concat(["stop"]); recording = false; }
        }
    }
    Component {
        id: mainComponent
        Main {}
    }

    property var backend
    property var win

    function makeWindow(backendObject) {
        return createTemporaryObject(mainComponent, testCase,
                                     { "backend": backendObject, "updater": createTemporaryObject(updaterComponent, testCase) });
    }

    function init() {
        // The tests run without persistence: the choices live in memory, shared by the windows.
        WindowPreferences.reset();
        backend = createTemporaryObject(backendComponent, testCase);
        win = makeWindow(backend);
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
        compare([0, 1, 2, 3].map(i => child("counter" + i).text), ["0", "0", "0", "0 / 0"]);
        compare(child("emptyListText").text, "En attente de données du jeu");
        verify(child("emptyListText").visible);
        compare(child("pagerText").text, "1 / 1 · 0 voies");
        verify(!child("previousPage").enabled && !child("nextPage").enabled);
        compare(child("statusText").text, "Déconnecté");
        compare(child("versionLine").text, "ZorvyRailsSDK 0.6 · observation expérimentale · --:--:--");
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

    // The station chosen again sends nothing; the filter stays shown while another PID connects,
    // and is dropped only when a live game lacks the station.
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
        child("scope").currentIndex = ListScope.AllTracks;
        backend.calls = [];
        const station = child("station");
        station.currentIndex = 2;
        station.activated(2);
        compare(backend.calls, [{ "name": "setView", "args": [ListScope.AllTracks, id16(27), "", 0] }]);
        station.activated(2);
        compare(backend.calls.length, 1);
        // Another PID: the Backend publishes maps without stations meanwhile.
        backend.publish({ "status": "Connexion…", "live": false });
        compare(station.displayText, "Gare B");
        compare(win.stationFilter, id16(27));
        const names = { "Gare A": 26, "Gare B": 27, "Gare C": 40 };
        backend.publish(liveMap({ "stations": data.stations.map(name => ({ "id": id16(names[name]), "name": name })) }));
        compare(station.displayText, data.shown);
        compare(win.stationFilter, data.filter);
        compare(lastView(), [ListScope.AllTracks, data.filter, "", 0]);
    }

    // A card chosen: the Backend selects its train and shows its track alone ("Sélection", no
    // station). The selection is the train: followed from track to track, even while the search
    // hides its card, until the Backend selects another.
    function test_selectionIsTheTrainAcrossTracks() {
        backend.publish(liveMap({ "trains": [trainMap(5, 100), trainMap(6, 200)] }));
        const list = child("trainList");
        tryVerify(() => list.itemAtIndex(1) !== null);
        const station = child("station");
        station.currentIndex = 1;
        station.activated(1);
        child("scope").currentIndex = ListScope.WithSignals;
        backend.calls = [];
        mouseClick(list.itemAtIndex(0));
        compare(backend.calls[0], { "name": "selectTrain", "args": [id16(5)] });
        compare(lastView(), [ListScope.Selection, "", id16(100), 0]);
        // The train runs on to the next track; the other train comes onto its old one.
        backend.publish(liveMap({ "trains": [trainMap(5, 101), trainMap(6, 100)] }));
        verify(list.itemAtIndex(0).highlighted);
        verify(!list.itemAtIndex(1).highlighted);
        compare(win.selectedTrack, id16(101));
        compare(lastView(), [ListScope.Selection, "", id16(101), 0]);
        child("trainSearch").forceActiveFocus();
        keyClick(Qt.Key_6);
        compare(list.count, 1);
        backend.publish(liveMap({ "trains": [trainMap(5, 102), trainMap(6, 100)] }));
        compare(lastView(), [ListScope.Selection, "", id16(102), 0]);
        verify(!list.itemAtIndex(0).highlighted);
        backend.publish(liveMap({ "trains": [trainMap(5, 102), trainMap(6, 100)], "selectedTrainId": id16(6) }));
        verify(list.itemAtIndex(0).highlighted);
        compare(lastView(), [ListScope.Selection, "", id16(100), 0]);
    }

    // Picked on the map: selected, its card highlighted and scrolled into view; a card chosen
    // while the map is shown centres the map on its train.
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
        verify(card.y >= list.contentY && card.y + card.height <= list.contentY + list.height + 0.5);
        const map = child("map");
        map.operations = [];
        mouseClick(card);
        compare(map.operations, [["focus"]]);
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
        for (const key of [Qt.Key_4, Qt.Key_A, Qt.Key_2, Qt.Key_Minus, Qt.Key_Space, Qt.Key_7])
            keyClick(key);
        compare(pid.text, "427");
        keyClick(Qt.Key_Return);
        compare(backend.calls[backend.calls.length - 1], { "name": "connectGame", "args": ["427"] });
    }

    function namedTrains() {
        return [trainMap(1, 101, { "name": "TGV Étoile", "speed": 120 }),
                trainMap(2, 102, { "name": "RER école", "speed": 0 }),
                trainMap(3, 103, { "name": "Intercités Nord", "speed": 80 }),
                trainMap(4, 104, { "name": "TER Ecluse", "present": false }),
                trainMap(5, 105, { "name": "Fret 12", "speed": -95 })];
    }

    function shownTrainNames() {
        const list = child("trainList");
        const names = [];
        for (let row = 0; row < list.count; ++row) {
            list.positionViewAtIndex(row, ListView.Contain);
            names.push(list.itemAtIndex(row).train.name);
        }
        return names;
    }

    function test_searchAndSort_data() {
        return [
            { "tag": "game order", "search": "", "order": 0,
              "names": ["TGV Étoile", "RER école", "Intercités Nord", "TER Ecluse", "Fret 12"] },
            { "tag": "accents and case ignored", "search": "ECO", "order": 0, "names": ["RER école"] },
            { "tag": "accented search", "search": "étoi", "order": 0, "names": ["TGV Étoile"] },
            { "tag": "no match", "search": "zz", "order": 0, "names": [] },
            { "tag": "by name", "search": "", "order": 1,
              "names": ["Fret 12", "Intercités Nord", "RER école", "TER Ecluse", "TGV Étoile"] },
            { "tag": "by speed, fastest first, either direction", "search": "", "order": 2,
              "names": ["TGV Étoile", "Fret 12", "Intercités Nord", "RER école", "TER Ecluse"] },
            { "tag": "stopped first, then game order", "search": "", "order": 3,
              "names": ["RER école", "TER Ecluse", "TGV Étoile", "Intercités Nord", "Fret 12"] },
            { "tag": "search and order together", "search": "e", "order": 1,
              "names": ["Fret 12", "Intercités Nord", "RER école", "TER Ecluse", "TGV Étoile"] }
        ];
    }

    function test_searchAndSort(data) {
        backend.publish(liveMap({ "trains": namedTrains() }));
        child("trainSort").currentIndex = data.order;
        const search = child("trainSearch");
        search.forceActiveFocus();
        // Typed as a user would, the list narrows as the text grows.
        for (const c of data.search) {
            if (c.charCodeAt(0) < 128)
                keyClick(c);
            else
                search.insert(search.cursorPosition, c); // no key for it on the test keyboard
        }
        compare(search.text, data.search);
        compare(shownTrainNames(), data.names);
        // A new map keeps the search and the order.
        backend.publish(liveMap({ "trains": namedTrains() }));
        compare(shownTrainNames(), data.names);
    }

    // "Carte seule" (M, remembered) gives the map at least 85 % of a 1280 × 720 window; a framed
    // view is framed again at the new size.
    function test_mapOnlyGivesTheMapTheWindow() {
        win.panelMode = true;
        win.width = 1280;
        win.height = 720;
        const map = child("map");
        child("panel").forceActiveFocus();
        keyClick(Qt.Key_M);
        verify(WindowPreferences.mapOnly);
        tryVerify(() => map.width * map.height >= 0.85 * 1280 * 720);
        verify(!child("trainList").visible);
        // The floating summary says what the header said: a replay is no live game.
        backend.publish(liveMap({}));
        verify(child("mapSummaryText").text.startsWith("EN DIRECT"));
        win.replay = createTemporaryObject(replayComponent, testCase);
        verify(child("mapSummaryText").text.startsWith("RELECTURE"));
        win.replay = null;
        keyClick(Qt.Key_M);
        verify(!WindowPreferences.mapOnly);
        tryVerify(() => map.width * map.height < 0.5 * 1280 * 720);
    }

    function test_mapKeys_data() {
        return [
            { "tag": "+", "key": Qt.Key_Plus, "operation": ["zoom", 1.3] },
            { "tag": "=", "key": Qt.Key_Equal, "operation": ["zoom", 1.3] },
            { "tag": "-", "key": Qt.Key_Minus, "operation": ["zoom", 1 / 1.3] },
            { "tag": "left", "key": Qt.Key_Left, "operation": ["move", 80, 0] },
            { "tag": "right", "key": Qt.Key_Right, "operation": ["move", -80, 0] },
            { "tag": "up", "key": Qt.Key_Up, "operation": ["move", 0, 80] },
            { "tag": "down", "key": Qt.Key_Down, "operation": ["move", 0, -80] },
            { "tag": "down in the search moves in the list", "key": Qt.Key_Down, "operation": [],
              "focus": "trainSearch" },
            { "tag": "F fits", "key": Qt.Key_F, "operation": ["fit"] },
            { "tag": "C centres", "key": Qt.Key_C, "operation": ["focus"] }
        ];
    }

    function test_mapKeys(data) {
        win.panelMode = true;
        const map = child("map");
        map.operations = [];
        child(data.focus || "panel").forceActiveFocus();
        keyClick(data.key);
        compare(map.operations.length, data.operation.length ? 1 : 0);
        if (!data.operation.length)
            return;
        const done = map.operations[0];
        compare(done.slice(0, data.operation.length), data.operation);
        if (done[0] === "zoom")
            compare(done.slice(2), [map.width / 2, map.height / 2]);
    }

    // Outside the search field S follows the train and F fits. The field (reached with Ctrl+F)
    // keeps the letters typed into it, until a card is chosen or the map is pressed.
    function test_lettersActOnTheMapOutsideTheSearch_data() {
        return [{ "tag": "a card is chosen", "target": "card" }, { "tag": "the map is pressed", "target": "map" }];
    }

    function test_lettersActOnTheMapOutsideTheSearch(data) {
        backend.publish(liveMap({ "trains": [trainMap(5, 100, { "name": "SF 5" })] }));
        win.panelMode = true;
        const panel = child("panel");
        const map = child("map");
        win.contentItem.forceActiveFocus();
        keyClick(Qt.Key_S);
        verify(panel.following);
        keyClick(Qt.Key_S);
        verify(!panel.following);
        child("pid").forceActiveFocus();
        keyClick(Qt.Key_F, Qt.ControlModifier);
        const search = child("trainSearch");
        verify(search.activeFocus);
        map.operations = [];
        keyClick(Qt.Key_S);
        keyClick(Qt.Key_F);
        compare(search.text, "sf");
        verify(!panel.following);
        compare(map.operations, []);
        const list = child("trainList");
        tryVerify(() => list.itemAtIndex(0) !== null);
        mouseClick(data.target === "card" ? list.itemAtIndex(0) : child("mapMouse"));
        keyClick(Qt.Key_S);
        compare(search.text, "sf");
        verify(panel.following);
    }

    function test_pageKeysPageTheList_data() {
        return [{ "tag": "segment list", "panelMode": false, "list": "board", "pages": 1 },
                { "tag": "segment list of three pages", "panelMode": false, "list": "board", "pages": 3 },
                { "tag": "train list beside the map", "panelMode": true, "list": "trainList", "pages": 3 }];
    }

    function test_pageKeysPageTheList(data) {
        const trains = [];
        const tracks = [];
        for (let n = 1; n <= 40; ++n) {
            trains.push(trainMap(n, 100 + n));
            tracks.push({ "id": id16(100 + n), "station": "Gare A", "limit": 80, "signals": [], "trains": [] });
        }
        backend.publish(liveMap({ "trains": trains, "tracks": tracks, "page": data.pages > 1 ? 1 : 0,
                                  "pages": data.pages }));
        win.panelMode = data.panelMode;
        const list = child(data.list);
        tryVerify(() => list.count === 40);
        tryVerify(() => list.contentHeight > 2 * list.height);
        const top = list.contentY;
        win.contentItem.forceActiveFocus();
        backend.calls = [];
        keyClick(Qt.Key_PageDown);
        compare(list.contentY, top + list.height);
        keyClick(Qt.Key_PageUp);
        compare(list.contentY, top);
        compare(backend.calls, []);
        // From the top of a page of the segment list, to the previous page; from its bottom, to
        // the next one.
        const paged = !data.panelMode && data.pages > 1;
        keyClick(Qt.Key_PageUp);
        compare(list.contentY, top);
        compare(lastView(), paged ? [ListScope.Trains, "", "", 0] : null);
        for (let i = 0; i < 60 && !(paged && lastView()[3] === 2); ++i)
            keyClick(Qt.Key_PageDown);
        compare(lastView(), paged ? [ListScope.Trains, "", "", 2] : null);
        // The page field goes to any page, the last one at most.
        if (paged) {
            const field = child("pageField");
            field.text = "9";
            field.accepted();
            compare(lastView(), [ListScope.Trains, "", "", 2]);
        }
    }

    // Return chooses the focused card. Escape then empties the search field first, then clears
    // the train, the track and the signal. The cards the search hid come back at the list's next
    // layout, not at once.
    function test_returnChoosesAndEscapeClears() {
        backend.publish(liveMap({ "trains": [trainMap(5, 100), trainMap(6, 200)] }));
        const list = child("trainList");
        tryVerify(() => list.itemAtIndex(1) !== null);
        list.currentIndex = 1;
        list.forceActiveFocus();
        keyClick(Qt.Key_Return);
        compare(backend.calls[0], { "name": "selectTrain", "args": [id16(6)] });
        verify(list.itemAtIndex(1).highlighted);
        win.selectedSignal = id16(77);
        const search = child("trainSearch");
        search.forceActiveFocus();
        keyClick(Qt.Key_X);
        backend.calls = [];
        keyClick(Qt.Key_Escape);
        compare(search.text, "");
        compare(win.selectedTrain, id16(6));
        tryVerify(() => list.itemAtIndex(1) !== null && list.itemAtIndex(1).train.id === id16(6));
        verify(list.itemAtIndex(1).highlighted);
        keyClick(Qt.Key_Escape);
        compare([win.selectedTrain, win.selectedTrack, win.selectedSignal], ["", "", ""]);
        verify(!list.itemAtIndex(1).highlighted);
        // No train chosen, rather than the first one chosen in its place.
        compare(backend.calls.filter(call => call.name.endsWith("Train")), [{ "name": "clearTrain", "args": [] }]);
    }

    // The next window starts as this one was left, shows the station before the game lists it,
    // and sends that view at once; with nothing stored it starts in the initial state.
    function test_nextWindowStartsAsThisOneWasLeft_data() {
        return [{ "tag": "choices stored", "stored": true }, { "tag": "first start", "stored": false }];
    }

    function test_nextWindowStartsAsThisOneWasLeft(data) {
        backend.publish(liveMap({}));
        win.signalSize = 40;
        child("scope").currentIndex = ListScope.AllTracks;
        const station = child("station");
        station.currentIndex = 2;
        station.activated(2);
        win.close();
        if (!data.stored)
            WindowPreferences.reset();
        const next = createTemporaryObject(backendComponent, testCase);
        const again = makeWindow(next);
        compare([again.panelMode, again.signalSize, again.width, again.height,
                 findChild(again.contentItem, "scope").currentIndex,
                 findChild(again.contentItem, "station").displayText],
                data.stored ? [false, 40, win.width, win.height, ListScope.AllTracks, "Gare B"]
                            : [true, 64, 1440, 900, 0, "Toutes les gares"]);
        const views = next.calls.filter(call => call.name === "setView").map(call => call.args);
        compare(views.slice(-1), data.stored ? [[ListScope.AllTracks, id16(27), "", 0]] : []);
    }

    function test_severalGamesAreOfferedInTheStatusLine_data() {
        const today = new Date();
        today.setHours(14, 2, 7);
        const eight = [11, 12, 13, 14, 15, 16, 17, 18].map(pid => ({ "pid": pid, "started": 0 }));
        return [
            { "tag": "two, started today and at an unknown time",
              "games": [{ "pid": 4242, "started": today.getTime() }, { "pid": 4343, "started": 0 }],
              "texts": ["PID 4242 · lancé à 14:02:07", "PID 4343"], "more": undefined, "moreText": "" },
            { "tag": "started on another day",
              "games": [{ "pid": 7, "started": new Date(2026, 0, 3, 9, 5, 0).getTime() }, { "pid": 8, "started": 0 }],
              "texts": ["PID 7 · lancé le 03/01 à 09:05", "PID 8"], "more": undefined, "moreText": "" },
            { "tag": "eight and one more", "games": eight, "texts": eight.map(game => "PID " + game.pid),
              "more": 1, "moreText": "… et 1 autre" },
            { "tag": "eight and 992 more", "games": eight, "texts": eight.map(game => "PID " + game.pid),
              "more": 992, "moreText": "… et 992 autres" }
        ];
    }

    function test_severalGamesAreOfferedInTheStatusLine(data) {
        // At its narrowest the window still shows the header's connection bar whole.
        win.width = win.minimumWidth;
        const status = "Plusieurs jeux détectés · choisir le PID du jeu à observer";
        backend.publish({ "status": status, "live": false, "gameProcesses": data.games,
                          "moreGameProcesses": data.more });
        compare(child("statusText").text, status);
        const buttons = findChildren(win.contentItem, "gameButton");
        compare(buttons.map(button => button.text), data.texts);
        compare(findChildren(win.contentItem, "moreGames").map(more => more.text),
                data.moreText ? [data.moreText] : []);
        waitForRendering(win.contentItem);
        for (const name of ["pid", "connectButton", "disconnectButton"]) {
            const control = child(name);
            const place = control.mapToItem(win.contentItem, 0, 0);
            verify(place.x >= 0 && place.x + control.width <= win.width, name);
        }
        backend.calls = [];
        mouseClick(buttons[1]);
        const chosen = String(data.games[1].pid);
        compare(backend.calls, [{ "name": "connectGame", "args": [chosen] }]);
        compare(child("pid").text, chosen);
        // Connected: the list goes.
        backend.publish(liveMap({}));
        compare(findChildren(win.contentItem, "gameButton"), []);
        compare(findChildren(win.contentItem, "moreGames"), []);
    }

    // The chosen game has ended: one click asks for the automatic search. A game started while
    // connected: a quiet notice, which the user may set aside until another one starts.
    function test_endedAndNewGames() {
        child("pid").text = "77";
        backend.publish({ "status": "Le jeu PID 77 s’est arrêté · relancer la recherche automatique ou saisir un autre PID",
                          "live": false, "endedGame": 77 });
        const search = child("autoSearchButton");
        verify(search.visible);
        backend.calls = [];
        mouseClick(search);
        compare(backend.calls, [{ "name": "connectGame", "args": [""] }]);
        compare(child("pid").text, "");
        backend.publish(liveMap({ "newGameProcesses": [{ "pid": 88, "started": 0 }] }));
        verify(!search.visible);
        const notice = child("newGameNotice");
        verify(notice.visible);
        compare(child("newGameText").text, "Autre jeu lancé : PID 88");
        mouseClick(child("dismissNewGames"));
        verify(!notice.visible);
        backend.publish(liveMap({ "newGameProcesses": [{ "pid": 88, "started": 0 }, { "pid": 99, "started": 0 }] }));
        compare(child("newGameText").text, "Autre jeu lancé : PID 99");
        verify(notice.visible);
    }

    // Typing in the station list keeps the stations whose name holds the text, in the game's
    // order; namesakes show the end of their id; Enter and a click choose.
    function test_stationChooserFiltersAndTellsNamesakesApart() {
        const stations = [{ "id": "00000000000000A1", "name": "Gare Nord" },
                          { "id": "00000000000000B2", "name": "Écluse" },
                          { "id": "00000000000010A1", "name": "Gare Nord" },
                          { "id": "00000000000000C3", "name": "Gare Sud" }];
        backend.publish(liveMap({ "stations": stations }));
        win.panelMode = false;
        waitForRendering(win.contentItem);
        const station = child("station");
        const list = station.filteredList;
        const shown = () => {
            const texts = [];
            for (let i = 0; i < list.count; ++i)
                texts.push(station.labelled[list.model[i]].label);
            return texts;
        };
        mouseClick(station);
        tryVerify(() => station.popup.opened);
        verify(station.filterField.activeFocus);
        compare(shown(), ["Toutes les gares", "Gare Nord · …00A1", "Écluse", "Gare Nord · …10A1", "Gare Sud"]);
        keyClick(Qt.Key_N);
        keyClick(Qt.Key_O);
        compare(shown(), ["Toutes les gares", "Gare Nord · …00A1", "Gare Nord · …10A1"]);
        station.filterField.text = "ecl";
        compare(shown(), ["Toutes les gares", "Écluse"]);
        station.filterField.text = "10a";
        compare(shown(), ["Toutes les gares", "Gare Nord · …10A1"]);
        // Page Down moves in the list, not in the segment list's pages.
        backend.calls = [];
        keyClick(Qt.Key_PageUp);
        keyClick(Qt.Key_PageDown);
        compare(backend.calls, []);
        keyClick(Qt.Key_Return);
        verify(!station.popup.visible);
        compare(station.displayText, "Gare Nord · …10A1");
        compare(backend.calls, [{ "name": "setView", "args": [ListScope.Trains, "00000000000010A1", "", 0] }]);
    }

    function findChildren(item, name) {
        let found = [];
        for (let i = 0; i < item.children.length; ++i) {
            const c = item.children[i];
            if (c.objectName === name && c.visible)
                found.push(c);
            found = found.concat(findChildren(c, name));
        }
        return found;
    }

    // Plays the RecordingShelf: two recordings listed; one opens (shown through its own Backend),
    // a bad one is refused with the reason.
    Component {
        id: shelfComponent
        QtObject {
            property string folder: "/enregistrements"
            property var entries: [
                { "path": "/enregistrements/a.zrec", "fileName": "a.zrec", "game": "PID 8", "start": "06/12/2026 10:00:00",
                  "length": "1 min 05 s", "size": "4,1 Mo", "problem": "", "busy": false },
                { "path": "/enregistrements/b.zrec", "fileName": "b.zrec", "game": "", "start": "", "length": "",
                  "size": "2 Ko", "problem": "ce n’est pas un enregistrement (pas un fichier SQLite)", "busy": false }]
            property bool loading: false
            property string listNote: ""
            property string error: ""
            property string opening: ""
            property var replay: null
            property var backend: null
            property var replayBackend: null
            property var replayObject: null
            signal opened()
            function refresh() {}
            function clearError() { error = ""; }
            // Opens on the next call to finish() (a file that takes a moment to read).
            property string openingPath: ""
            function open(path) {
                openingPath = path;
                opening = path.split("/").pop();
                return true;
            }
            function finish() {
                if (openingPath !== "/enregistrements/a.zrec") {
                    error = "Enregistrement illisible (" + openingPath + ") : ce n’est pas un fichier SQLite";
                    opening = "";
                    return;
                }
                opening = "";
                replay = replayObject;
                backend = replayBackend;
                opened();
            }
            function close() { backend = null; replay = null; }
        }
    }

    // A recording opened from the window is shown in place of the live game, which goes on (its
    // Backend is left alone), with the window's choices; "Retour au direct" shows the live game
    // again; a bad file leaves the live view as it was and says why.
    function test_recordingOpenedFromTheWindow() {
        const replayBackend = createTemporaryObject(backendComponent, testCase);
        const shelf = createTemporaryObject(shelfComponent, testCase, {
            "replayBackend": replayBackend, "replayObject": createTemporaryObject(replayComponent, testCase, { "fileName": "a.zrec", "alertMarks": [] }) });
        win.recordings = shelf;
        backend.publish(liveMap({ "trainCount": 3 }));
        mouseClick(child("openRecordingButton"));
        let entries = null;
        tryVerify(() => (entries = findChild(win, "recordingEntries")) && entries.itemAtIndex(1) !== null);
        verify(!findChild(entries.itemAtIndex(1), "recordingOpen").enabled);

        mouseClick(findChild(entries.itemAtIndex(0), "recordingOpen"));
        // While the file is read the list says so and opens nothing else; the live view stays.
        compare(findChild(win, "recordingOpeningText").text, "Ouverture de « a.zrec »…");
        verify(!findChild(entries.itemAtIndex(0), "recordingOpen").enabled);
        compare(child("openRecordingButton").text, "Ouverture de l’enregistrement…");
        compare(child("liveBadgeText").text, "●  EN DIRECT");
        shelf.finish();
        verify(!findChild(win, "recordingOpeningText").visible);
        compare(child("liveBadgeText").text, "●  RELECTURE");
        verify(child("replayBanner").visible);
        verify(child("backToLiveButton").visible);
        verify(replayBackend.calls.some(call => call.name === "setView"));
        replayBackend.publish(liveMap({ "trainCount": 7 }));
        compare(child("counter0").text, "7");
        backend.publish(liveMap({ "trainCount": 4 }));
        compare(child("counter0").text, "7");

        mouseClick(child("backToLiveButton"));
        compare(child("liveBadgeText").text, "●  EN DIRECT");
        compare(child("counter0").text, "4");
        verify(!child("backToLiveButton").visible);

        mouseClick(child("openRecordingButton"));
        let path = null;
        tryVerify(() => (path = findChild(win, "recordingPath")) && path.visible);
        path.text = "/ailleurs/pas-un.zrec";
        mouseClick(findChild(win, "recordingOpenPath"));
        shelf.finish();
        const error = findChild(win, "recordingError");
        verify(error.visible);
        compare(error.text, "Enregistrement illisible (/ailleurs/pas-un.zrec) : ce n’est pas un fichier SQLite");
        compare(child("liveBadgeText").text, "●  EN DIRECT");
        compare(child("counter0").text, "4");
    }

    // "Détails du train" opens the selected train's details; the train it waits for is chosen
    // from there, Escape closes them and D opens them again.
    function test_trainDetails_data() {
        const since = Date.now() - 125000;
        const waiting = { "id": id16(5), "state": "held", "since": since, "time": since + 125000, "station": "",
                          "waitsFor": id16(6), "waitsForName": "Train 6" };
        return [
            { "tag": "held, waiting, with its path", "attention": waiting, "path": [id16(100), id16(101), id16(102)],
              "expected": { "detailsName": "Train 5", "detailsId": id16(5), "detailsSpeed": "40.0 km/h",
                            "detailsPlace": id16(100) + " · hors gare", "detailsState": ["retenu au signal depuis ", "(2 min)"],
                            "detailsReservations": id16(101) + " → " + id16(102), "detailsPath": id16(100) + " → " + id16(101) + " → " + id16(102) } },
            { "tag": "at a platform, waiting for none, no path", "path": null,
              "attention": { "id": id16(5), "state": "platform", "since": since, "time": since + 9000, "station": "Gare A", "waitsFor": "" },
              "expected": { "detailsPlace": id16(100) + " · Gare A", "detailsState": ["à quai depuis ", "(9 s)"],
                            "detailsPath": "inconnu" } },
            { "tag": "the state of another train is not this one's", "path": null,
              "attention": Object.assign({}, waiting, { "id": id16(6) }),
              "expected": { "detailsState": "inconnu" } }
        ];
    }

    function test_trainDetails(data) {
        backend.publish(liveMap({ "trains": [trainMap(5, 100), trainMap(6, 101)], "selectedTrainId": id16(5),
                                  "selectedAttention": data.attention,
                                  "mapReservations": [{ "train": id16(5), "track": id16(101) }, { "train": id16(5), "track": id16(102) }],
                                  "pathAvailable": data.path !== null, "mapPath": data.path || [] }));
        const button = child("detailsButton");
        tryVerify(() => button.enabled);
        mouseClick(button);
        const pane = findChild(win, "trainDetails");
        tryVerify(() => pane.opened);
        for (const name in data.expected) {
            const text = findChild(win, name).text;
            for (const part of [].concat(data.expected[name]))
                verify(text.indexOf(part) >= 0, name + ": " + text);
        }
        const waitsFor = findChild(win, "detailsWaitsFor");
        compare(waitsFor.visible, data.attention.waitsFor !== "" && data.attention.id === id16(5));
        if (waitsFor.visible) {
            backend.calls = [];
            mouseClick(waitsFor);
            compare(backend.calls.filter(call => call.name === "selectTrain"), [{ "name": "selectTrain", "args": [id16(6)] }]);
            compare(win.selectedTrain, id16(6));
        }
        keyClick(Qt.Key_Escape);
        tryVerify(() => !pane.opened);
        keyClick(Qt.Key_D);
        tryVerify(() => pane.opened);
    }

    // While the black box runs, "Enregistrer" starts a recording of the window's own, and the
    // button stops only that one; the status is the recording's, else the black box's.
    function test_recordButtonBesideTheBlackBox() {
        const recorder = createTemporaryObject(recorderComponent, testCase);
        const blackBox = createTemporaryObject(recorderComponent, testCase,
            { "recording": true, "status": "Boîte noire · les 15 dernières minutes sont gardées" });
        win.recorder = recorder;
        win.blackBox = blackBox;
        const button = child("recordButton");
        compare(button.text, "Enregistrer");
        compare(child("recorderStatus").text, blackBox.status);
        mouseClick(button);
        compare(button.text, "Arrêter l’enregistrement");
        compare(child("recorderStatus").text, "Enregistrement en cours · s.zrec");
        mouseClick(button);
        compare(recorder.calls, ["start", "stop"]);
        compare(blackBox.calls, []);
    }

    // The recording's alerts are marked on the time bar; a click goes there.
    function test_replayMarksGoToTheirAlert() {
        const replay = createTemporaryObject(replayComponent, testCase);
        win.replay = replay;
        const mark = child("replayMark");
        const slider = child("replayPosition");
        tryVerify(() => mark.width > 0 && slider.width > 0);
        const middle = mark.mapToItem(slider, mark.width / 2, 0).x;
        fuzzyCompare(middle, slider.leftPadding + slider.availableWidth / 2, 1);
        mouseClick(mark);
        compare(replay.sought, [30]);
    }

    function test_replayKeys() {
        const replay = createTemporaryObject(replayComponent, testCase);
        win.replay = replay;
        tryVerify(() => child("replayBanner").visible);
        keyClick(Qt.Key_Space);
        verify(replay.playing);
        keyClick(Qt.Key_Comma);
        keyClick(Qt.Key_Period);
        compare(replay.stepped, [-1, 1]);
        keyClick(Qt.Key_Space);
        verify(!replay.playing);
    }

    function test_everyControlIsReachedWithTab_data() {
        return [
            { "tag": "map", "panelMode": true,
              "names": ["pid", "connectButton", "disconnectButton", "trainSearch", "trainSort", "trainList",
                        "modeButton", "sizeSlider", "pathToggle", "signalLayerChoice", "stationNamesToggle",
                        "followToggle", "fitButton", "updateButton"] },
            { "tag": "list", "panelMode": false,
              "names": ["pid", "connectButton", "disconnectButton", "trainSearch", "trainSort", "trainList",
                        "modeButton", "scope", "station", "symbols", "sizeSlider", "board", "updateButton"] }
        ];
    }

    function test_everyControlIsReachedWithTab(data) {
        backend.publish(liveMap({ "trains": [trainMap(5, 100)],
                                  "tracks": [{ "id": id16(100), "station": "Gare A", "limit": 80, "signals": [], "trains": [] }] }));
        win.panelMode = data.panelMode;
        child("pid").forceActiveFocus();
        const reached = [];
        for (let i = 0; i < 40; ++i) {
            // The focused item and the named items around it (a card within the train list).
            for (let item = win.activeFocusItem; item; item = item.parent) {
                if (item.objectName !== "" && reached.indexOf(item.objectName) < 0)
                    reached.push(item.objectName);
            }
            keyClick(Qt.Key_Tab);
        }
        for (const name of data.names)
            verify(reached.indexOf(name) >= 0, name + " is not reached; reached: " + reached.join(", "));
    }
}
