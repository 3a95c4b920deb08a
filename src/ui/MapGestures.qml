import QtQuick
import QtQuick.Controls
import Zorvy.Map 1.0

// The mouse over the map: a drag pans (once the pointer is 6 px from the press), a click picks
// the trains under it (once no second click made it a double click), the wheel and a double click
// zoom. Resting over a train or a signal shows what it is in a tooltip.
MouseArea {
    id: gestures

    required property RailMap map
    property real lastX: 0
    property real lastY: 0
    property real pressX: 0
    property real pressY: 0
    property bool moved: false

    signal pressedOnMap()
    signal dragged(real dx, real dy)
    signal zoomRequested(real factor, real x, real y)
    signal trainClicked(string trainId)
    // More than one train under the click.
    signal trainsOverlap(var trains, real x, real y)

    objectName: "mapMouse"
    acceptedButtons: Qt.LeftButton
    hoverEnabled: true
    cursorShape: pressed ? Qt.ClosedHandCursor : Qt.OpenHandCursor

    onPressed: event => {
        hover.stop();
        tip.close();
        gestures.lastX = event.x;
        gestures.lastY = event.y;
        gestures.pressX = event.x;
        gestures.pressY = event.y;
        gestures.moved = false;
        gestures.pressedOnMap();
    }
    Timer {
        id: hover
        property real x: 0
        property real y: 0
        interval: 400
        onTriggered: {
            tip.text = gestures.map.describeAt(hover.x, hover.y);
            tip.x = hover.x + 14;
            tip.y = hover.y + 14;
            if (tip.text !== "")
                tip.open();
        }
    }
    ToolTip {
        id: tip
        objectName: "mapTip"
    }
    onExited: {
        hover.stop();
        tip.close();
    }

    onPositionChanged: event => {
        if (!gestures.pressed) {
            tip.close();
            hover.x = event.x;
            hover.y = event.y;
            hover.restart();
            return;
        }
        if (!gestures.moved && Math.hypot(event.x - gestures.pressX, event.y - gestures.pressY) < 6)
            return;
        gestures.moved = true;
        gestures.dragged(event.x - gestures.lastX, event.y - gestures.lastY);
        gestures.lastX = event.x;
        gestures.lastY = event.y;
    }
    // A click waiting for a second one before it picks.
    readonly property bool picking: pick.running

    Timer {
        id: pick
        property real x: 0
        property real y: 0
        interval: Qt.styleHints.mouseDoubleClickInterval // qmllint disable
        onTriggered: {
            const found = gestures.map.trainsAt(pick.x, pick.y);
            if (found.length === 1)
                gestures.trainClicked(found[0].id);
            else if (found.length > 1)
                gestures.trainsOverlap(found, pick.x, pick.y);
        }
    }

    onClicked: event => {
        if (gestures.moved)
            return;
        pick.x = event.x;
        pick.y = event.y;
        pick.restart();
    }
    onWheel: event => gestures.zoomRequested(event.angleDelta.y > 0 ? 1.3 : 1 / 1.3, event.x, event.y)
    onDoubleClicked: event => {
        pick.stop();
        gestures.zoomRequested(2, event.x, event.y);
    }
}
