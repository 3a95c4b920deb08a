import QtQuick

// Stand-in for the painted map item in the Qt Quick tests: it records the calls the panel makes
// and answers trainsAt() with the trains a test places under a point.
Item {
    property var snapshotData: ({})
    property var dataSource: null
    property bool showCalculatedPath: false
    property real signalSize: 64

    // [{ "x": .., "y": .., "radius": .., "trains": [train maps] }]
    property var trainSpots: []
    property var calls: []

    function record(name, args) {
        calls = calls.concat([{ "name": name, "args": args }]);
    }
    function callsNamed(name) {
        return calls.filter(call => call.name === name);
    }
    function moveView(dx, dy) { record("moveView", [dx, dy]); }
    function zoomAt(factor, x, y) { record("zoomAt", [factor, x, y]); }
    function fit() { record("fit", []); }
    function focusTrain() { record("focusTrain", []); }
    function trainsAt(x, y) {
        record("trainsAt", [x, y]);
        for (const spot of trainSpots) {
            if (Math.hypot(spot.x - x, spot.y - y) <= spot.radius)
                return spot.trains;
        }
        return [];
    }
}
