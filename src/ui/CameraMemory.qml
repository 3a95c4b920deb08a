import QtQuick
import Zorvy.Map 1.0
import ZorvyTco

// The map's camera remembered with its railway (MapPreferences): taken back when the railway
// last shown is found again (once: later the map keeps its own camera), and remembered a moment
// after it moves.
Item {
    id: memory

    required property RailMap map
    property bool taken: false

    Connections {
        target: memory.map
        function onRailwayChanged() {
            if (memory.taken || memory.map.railway === "")
                return;
            memory.taken = true;
            memory.map.restoreCamera(MapPreferences.camera);
        }
        function onCameraChanged() {
            remember.restart();
        }
    }
    Timer {
        id: remember
        interval: 1000
        onTriggered: if (memory.map.railway !== "") MapPreferences.camera = memory.map.camera()
    }
}
