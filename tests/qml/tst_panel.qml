import QtQuick
import QtTest
import ZorvyTco

Item {
    id: root
    width: 800
    height: 600

TestCase {
    id: testCase
    name: "NetworkPanel"
    when: windowShown

    Component {
        id: panelComponent
        Panel {}
    }

    property var panel
    property var map
    property var mouse
    property var chosen: []

    function train(id, name) {
        return { "id": id, "name": name };
    }

    function makePanel(width, height, liveData) {
        panel = createTemporaryObject(panelComponent, root,
                                      { "liveData": liveData || {}, "width": width, "height": height });
        verify(panel);
        map = findChild(panel, "map");
        mouse = findChild(panel, "mapMouse");
        chosen = [];
        panel.trainSelected.connect(id => chosen = chosen.concat([id]));
        waitForRendering(panel);
    }

    function picker() {
        return findChild(panel, "trainPicker");
    }

    function test_mapLeavesRoomForTheBars() {
        makePanel(600, 400);
        compare(map.y, 48);
        compare(map.height, 400 - 48 - 42);
        compare(map.width, 600);
        compare(mouse.y, map.y);
        compare(mouse.height, map.height);
    }

    function test_dragThreshold_data() {
        return [
            { "tag": "5 px is a click", "distance": 5, "selected": ["T1"], "moves": 0 },
            { "tag": "6 px pans", "distance": 6, "selected": [], "moves": 1 }
        ];
    }

    function test_dragThreshold(data) {
        makePanel(600, 400);
        map.trainSpots = [{ "x": 100, "y": 100, "radius": 12, "trains": [train("T1", "IC 1")] }];
        mousePress(mouse, 100, 100, Qt.LeftButton);
        mouseMove(mouse, 103, 100, 0, Qt.LeftButton);
        mouseMove(mouse, 100, 100 + data.distance, 0, Qt.LeftButton);
        mouseRelease(mouse, 100, 100 + data.distance, Qt.LeftButton);
        compare(chosen, data.selected);
        const moves = map.callsNamed("moveView");
        compare(moves.length, data.moves);
        if (data.moves > 0)
            compare(moves[0].args, [0, data.distance]);
        verify(!picker().opened);
    }

    function test_onceMovedEveryMovePans() {
        makePanel(600, 400);
        mousePress(mouse, 50, 50, Qt.LeftButton);
        mouseMove(mouse, 60, 50, 0, Qt.LeftButton);
        mouseMove(mouse, 61, 50, 0, Qt.LeftButton);
        mouseRelease(mouse, 61, 50, Qt.LeftButton);
        const moves = map.callsNamed("moveView");
        compare(moves.length, 2);
        compare(moves[0].args, [10, 0]);
        compare(moves[1].args, [1, 0]);
        compare(map.callsNamed("trainsAt").length, 0);
    }

    function test_clickOnEmptyMapDoesNothing() {
        makePanel(600, 400);
        mouseClick(mouse, 300, 200);
        compare(map.callsNamed("trainsAt").length, 1);
        compare(chosen, []);
        verify(!picker().opened);
    }

    function test_overlappingTrainsOpenThePicker() {
        makePanel(600, 400);
        map.trainSpots = [{ "x": 100, "y": 100, "radius": 12,
                            "trains": [train("T1", "IC 1"), train("T2", "TER 2")] }];
        mouseClick(mouse, 100, 100);
        const popup = picker();
        tryCompare(popup, "opened", true);
        compare(chosen, []);
        compare(findChild(popup.contentItem, "pickerTitle").text, "Choisir un train (2)");
        compare(popup.width, 340);
        compare(popup.height, 128);
        compare(popup.x, 100);
        compare(popup.y, 100);

        const list = findChild(popup.contentItem, "pickerList");
        tryCompare(list, "count", 2);
        tryVerify(() => list.itemAtIndex(1) !== null);
        const second = list.itemAtIndex(1);
        compare(second.height, 40);
        compare(second.text, "TER 2 · T2");
        mouseClick(second);
        compare(chosen, ["T2"]);
        tryCompare(popup, "opened", false);
    }

    function test_pickerClosesOnTheNextPress() {
        makePanel(600, 400);
        map.trainSpots = [{ "x": 100, "y": 100, "radius": 12,
                            "trains": [train("T1", "IC 1"), train("T2", "TER 2")] }];
        mouseClick(mouse, 100, 100);
        tryCompare(picker(), "opened", true);
        mousePress(mouse, 500, 300, Qt.LeftButton);
        tryCompare(picker(), "opened", false);
        mouseRelease(mouse, 500, 300, Qt.LeftButton);
    }

    function test_pickerPlacementInALowPanel() {
        makePanel(300, 200);
        const five = [];
        for (let i = 1; i <= 5; ++i)
            five.push(train("T" + i, "Train " + i));
        map.trainSpots = [{ "x": 290, "y": 5, "radius": 12, "trains": five }];
        mouseClick(mouse, 290, 5);
        const popup = picker();
        tryCompare(popup, "opened", true);
        compare(popup.width, 300);
        compare(popup.height, 110);
        compare(popup.x, 0);
        compare(popup.y, 48);
    }

    function test_wheelAndDoubleClickZoom() {
        makePanel(600, 400);
        mouseWheel(mouse, 200, 100, 0, 120);
        mouseWheel(mouse, 200, 100, 120, 0);
        mouseWheel(mouse, 200, 100, 0, -120);
        const zooms = map.callsNamed("zoomAt");
        compare(zooms.length, 3);
        compare(zooms[0].args, [1.3, 200, 100]);
        compare(zooms[1].args, [1 / 1.3, 200, 100]);
        compare(zooms[2].args, [1 / 1.3, 200, 100]);
        map.calls = [];
        mouseDoubleClickSequence(mouse, 150, 120);
        const doubled = map.callsNamed("zoomAt");
        compare(doubled.length, 1);
        compare(doubled[0].args, [2, 150, 120]);
        verify(map.callsNamed("trainsAt").length >= 1, "the first click of a double click is a click");
    }

    function test_headerAndFooterWordings_data() {
        return [
            { "tag": "no train", "map": {},
              "header": "Aucun train · Réservations : indisponibles", "occupation": "indisponible",
              "focus": false },
            { "tag": "available", "map": { "selectedTrain": "IC 12", "selectedTrackId": "000000000000000A",
                  "reservationsAvailable": true, "mapReservations": [{}, {}, {}],
                  "occupationsAvailable": true, "mapOccupations": [{}, {}] },
              "header": "IC 12 · Réservations : 3", "occupation": "2 portions", "focus": true },
            { "tag": "stale", "map": { "selectedTrain": "IC 12", "usageStale": true,
                  "reservationsAvailable": true, "mapReservations": [{}],
                  "occupationsAvailable": true, "mapOccupations": [{}] },
              "header": "IC 12 · Réservations : périmées", "occupation": "périmée", "focus": false }
        ];
    }

    function test_headerAndFooterWordings(data) {
        makePanel(800, 400, data.map);
        compare(findChild(panel, "selectionLine").text, data.header);
        compare(findChild(panel, "legend").text,
                "Vert : réservations du train sélectionné · rouge : occupation de tous les trains ("
                + data.occupation + ") · doré : Path optionnel\n"
                + "Signaux : textures du jeu et des mods · E<n> si image indisponible · aucune donnée ≠ voie libre · molette : zoom, glisser : déplacement");
        compare(findChild(panel, "focusButton").enabled, data.focus);
    }

    function test_buttonsAndPathToggle() {
        makePanel(800, 400, { "selectedTrackId": "000000000000000A", "pathAvailable": true, "pathSize": 4 });
        mouseClick(findChild(panel, "fitButton"));
        compare(map.callsNamed("fit").length, 1);
        mouseClick(findChild(panel, "focusButton"));
        compare(map.callsNamed("focusTrain").length, 1);
        const toggle = findChild(panel, "pathToggle");
        verify(!toggle.checked);
        verify(!map.showCalculatedPath);
        compare(toggle.toolTipText, "4 voies calculées — ne prouve pas une réservation");
        mouseClick(toggle);
        verify(map.showCalculatedPath);
        panel.liveData = {};
        compare(toggle.toolTipText, "Path indisponible");
        panel.signalSize = 40;
        compare(map.signalSize, 40);
    }
}
}
