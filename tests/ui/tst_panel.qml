import QtQuick
import QtTest
import ZorvyTco

// The network panel over the stand-in map item: click or drag, the tooltip, the train picker, the header's
// wordings, the layer choices, following a train and the remembered camera.
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

    function makePanel(width, height, liveData) {
        panel = createTemporaryObject(panelComponent, root, { "liveData": liveData || {}, "width": width, "height": height });
        map = findChild(panel, "map");
        mouse = findChild(panel, "mapMouse");
        chosen = [];
        panel.trainSelected.connect(id => chosen = chosen.concat([id]));
        waitForRendering(panel);
    }

    function test_dragThreshold_data() {
        return [
            { "tag": "5 px is a click", "distance": 5, "selected": ["T1"], "moves": [] },
            { "tag": "6 px pans", "distance": 6, "selected": [], "moves": [["move", 0, 6]] },
            { "tag": "a double click zooms", "double": true, "selected": [], "moves": [["zoom", 2, 100, 100]] }
        ];
    }

    function test_dragThreshold(data) {
        makePanel(600, 400);
        map.trainSpots = [{ "x": 100, "y": 100, "trains": [{ "id": "T1", "name": "IC 1" }] }];
        if (data.double) {
            mouseDoubleClickSequence(mouse, 100, 100);
            verify(!mouse.picking); // the click waiting for a second one picks nothing
        } else {
            mousePress(mouse, 100, 100, Qt.LeftButton);
            mouseMove(mouse, 103, 100, 0, Qt.LeftButton);
            mouseMove(mouse, 100, 100 + data.distance, 0, Qt.LeftButton);
            mouseRelease(mouse, 100, 100 + data.distance, Qt.LeftButton);
        }
        tryVerify(() => !mouse.picking);
        compare(chosen, data.selected);
        compare(map.operations, data.moves);
    }

    // The picker is 340 wide and 48 + 40 per train high, at the click, kept inside the map.
    function test_overlappingTrainsOpenThePicker_data() {
        return [
            { "tag": "at the click", "w": 600, "h": 400, "x": 100, "y": 100, "count": 2, "place": [340, 128, 100, 100] },
            { "tag": "low panel", "w": 300, "h": 200, "x": 290, "y": 5, "count": 5, "place": [300, 110, 0, 48] }
        ];
    }

    function test_overlappingTrainsOpenThePicker(data) {
        makePanel(data.w, data.h);
        const trains = [];
        for (let i = 1; i <= data.count; ++i)
            trains.push({ "id": "T" + i, "name": "Train " + i });
        map.trainSpots = [{ "x": data.x, "y": data.y, "trains": trains }];
        // Resting over them names the nearest in a tooltip.
        mouseMove(mouse, data.x, data.y);
        const tip = findChild(panel, "mapTip");
        tryCompare(tip, "opened", true);
        compare(tip.text, "Train 1");
        mouseClick(mouse, data.x, data.y);
        const popup = findChild(panel, "trainPicker");
        tryCompare(popup, "opened", true);
        compare(chosen, []);
        compare([popup.width, popup.height, popup.x, popup.y], data.place);
        const list = findChild(popup.contentItem, "pickerList");
        tryVerify(() => list.itemAtIndex(1) !== null);
        mouseClick(list.itemAtIndex(1));
        compare(chosen, ["T2"]);
    }

    function test_headerAndFooterWordings_data() {
        return [
            { "tag": "no train", "map": {}, "header": "Aucun train · Réservations : indisponibles",
              "occupation": "(indisponible)" },
            { "tag": "stale", "map": { "selectedTrain": "IC 12", "usageStale": true, "reservationsAvailable": true,
                  "mapReservations": [{}], "occupationsAvailable": true, "mapOccupations": [{}] },
              "header": "IC 12 · Réservations : périmées", "occupation": "(périmée)" }
        ];
    }

    function test_headerAndFooterWordings(data) {
        makePanel(800, 400, data.map);
        compare(findChild(panel, "selectionLine").text, data.header);
        verify(findChild(panel, "legend").text.indexOf("occupation de tous les trains " + data.occupation) > 0);
    }

    // The layer choices reach the map and are kept while the panel lives; the defaults come first.
    function test_layerChoicesReachTheMap() {
        makePanel(1000, 400);
        const choice = findChild(panel, "signalLayerChoice");
        const names = findChild(panel, "stationNamesToggle");
        compare([map.signalLayer, map.showStationNames, choice.currentText], [3, true, "Signaux : auto"]);
        choice.currentIndex = 3;
        choice.activated(3);
        mouseClick(names);
        compare([map.signalLayer, map.showStationNames, choice.currentText], [2, false, "Signaux : masqués"]);
        choice.currentIndex = 1;
        choice.activated(1);
        mouseClick(names);
        compare([map.signalLayer, map.showStationNames, choice.currentText], [0, true, "Signaux : images"]);
    }

    function test_followKeepsTheTrainCentredUntilAPan() {
        makePanel(1100, 400, { "selectedTrackId": "0000000000000001" });
        mouseClick(findChild(panel, "followToggle"));
        verify(panel.following);
        compare(map.operations, [["focus"]]);
        // Each new map centres again; a zoom while following stays about the middle and is kept.
        map.dataChanged();
        compare(map.operations, [["focus"], ["focus"]]);
        mouseWheel(mouse, 50, 50, 0, 120);
        map.dataChanged();
        const middle = [map.width / 2, map.height / 2];
        compare(map.operations.slice(2), [["zoom", 1.3, middle[0], middle[1]], ["focus"],
                                          ["zoom", 1.3, middle[0], middle[1]]]);
        // A pan by hand ends the following; later maps leave the view alone.
        mousePress(mouse, 100, 100, Qt.LeftButton);
        mouseMove(mouse, 100, 130, 0, Qt.LeftButton);
        mouseRelease(mouse, 100, 130, Qt.LeftButton);
        verify(!panel.following);
        verify(!findChild(panel, "followToggle").checked);
        const count = map.operations.length;
        map.dataChanged();
        compare(map.operations.length, count);
        // So does a move through the overview inset.
        mouseClick(findChild(panel, "followToggle"));
        verify(panel.following);
        findChild(panel, "overviewInset").viewMoved();
        verify(!panel.following);
    }

    // The camera remembered comes back once, when a railway first shows (the map item refuses it
    // for another railway); a moved camera is remembered.
    function test_cameraRememberedForTheRailway() {
        MapPreferences.camera = { "railway": "R1", "x": 5, "y": -7, "scale": 0.25 };
        makePanel(800, 400);
        map.railway = "R1";
        compare(map.operations, [["restore", "R1"]]);
        compare(map.cameraState.scale, 0.25);
        map.railway = "";
        map.railway = "R2"; // later railways: the map keeps its own camera
        compare(map.operations, [["restore", "R1"]]);

        map.cameraState = { "x": 1, "y": 2, "scale": 3 };
        map.cameraChanged();
        tryCompare(MapPreferences, "camera", { "railway": "R2", "x": 1, "y": 2, "scale": 3, "framed": false });
        MapPreferences.camera = {};
    }
}
}
