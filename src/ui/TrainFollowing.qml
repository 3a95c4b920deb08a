import QtQuick
import Zorvy.Map 1.0

// The map's camera operations while a train may be followed: while active, each new map centres
// the selected train again and a zoom stays about the middle and is kept; moving the view by hand
// or framing the network ends the following.
Item {
    id: following

    required property RailMap map
    property bool active: false
    // The zoom asked for while following, over the scale that centring on the train sets.
    property real zoom: 1

    // The view moved by hand or framed: the following ends.
    signal ended()

    function zoomBy(factor: real) {
        following.map.zoomAt(factor, following.map.width / 2, following.map.height / 2);
        if (following.active)
            following.zoom *= factor;
    }
    // A zoom about a point of the map, about its middle while following.
    function zoomAt(factor: real, x: real, y: real) {
        if (following.active)
            following.zoomBy(factor);
        else
            following.map.zoomAt(factor, x, y);
    }
    function pan(dx: real, dy: real) {
        following.ended();
        following.map.moveView(dx, dy);
    }
    function fitAll() {
        following.ended();
        following.map.fit();
    }
    function centreTrain() {
        following.zoom = 1;
        following.map.focusTrain();
    }
    function keepTrainCentred() {
        following.map.focusTrain();
        if (following.zoom !== 1)
            following.map.zoomAt(following.zoom, following.map.width / 2, following.map.height / 2);
    }

    // Only a new data map: the layer choices and sizes have signals of their own.
    Connections {
        target: following.map
        enabled: following.active
        function onDataChanged() {
            following.keepTrainCentred();
        }
    }
}
