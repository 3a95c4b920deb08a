import QtQuick

// Stand-in for the painted map item: records the camera operations and answers trainsAt() with
// the trains a test places under a point.
Item {
    property var snapshotData
    property var dataSource
    property bool showCalculatedPath
    property real signalSize
    property int signalLayer
    property bool showStationNames
    property bool detailByDensity: true
    property size fitMargins
    property var trainSpots: [] // [{ "x", "y", "trains": [train maps] }], 12 px around the point
    // Every camera operation in order: ["move", dx, dy], ["zoom", factor, x, y], ["fit"], ["focus"],
    // ["restore", railway].
    property var operations: []

    property string railway: ""
    property var cameraState: ({ "x": 0, "y": 0, "scale": 1 })

    signal dataChanged()
    signal cameraChanged()

    function camera() {
        return { "railway": railway, "x": cameraState.x, "y": cameraState.y, "scale": cameraState.scale };
    }
    function restoreCamera(camera) {
        operations = operations.concat([["restore", camera.railway]]);
        cameraState = { "x": camera.x, "y": camera.y, "scale": camera.scale };
        return true;
    }

    function moveView(dx, dy) { operations = operations.concat([["move", dx, dy]]); }
    function zoomAt(factor, x, y) { operations = operations.concat([["zoom", factor, x, y]]); }
    function fit() { operations = operations.concat([["fit"]]); }
    function focusTrain() { operations = operations.concat([["focus"]]); }
    function describeAt(x, y) {
        const trains = trainsAt(x, y);
        return trains.length ? trains[0].name : "";
    }
    function trainsAt(x, y) {
        const spot = trainSpots.find(s => Math.hypot(s.x - x, s.y - y) <= 12);
        return spot ? spot.trains : [];
    }
}
