pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls

// The alerts of a recording on the time bar: a tick in the colour of its kind where each alert
// starts; a click goes to that moment. Laid over the position slider, along its groove.
Item {
    id: marks

    // The Replay object (alertMarks, lengthSeconds, seek()).
    property var replay: null
    // The slider the ticks line up with.
    required property Slider slider

    Repeater {
        model: marks.replay ? marks.replay.alertMarks : []
        delegate: Rectangle {
            id: tick
            required property var modelData
            readonly property real length: Math.max(marks.replay.lengthSeconds, 0.001)
            objectName: "replayMark"
            x: marks.slider.leftPadding + marks.slider.availableWidth * Math.min(1, tick.modelData.seconds / tick.length) - width / 2
            y: 1
            width: 3
            height: Theme.replayMarkHeight
            radius: 1
            color: tick.modelData.state === "held" ? Theme.stateHeld
                 : tick.modelData.state === "stalled" ? Theme.stateStalled : Theme.stateLocked
            ToolTip.visible: area.containsMouse
            ToolTip.text: tick.modelData.text
            MouseArea {
                id: area
                anchors.centerIn: parent
                width: 11
                height: parent.height + 6
                hoverEnabled: true
                cursorShape: Qt.PointingHandCursor
                onClicked: marks.replay.seek(tick.modelData.seconds)
            }
        }
    }
}
