import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Under the header while a recording is shown: the banner that says the window shows a replay,
// not the live game, and the time bar: play and pause, the speeds, a step by capture either way,
// the position and the time of the capture shown.
Rectangle {
    id: bar

    // The Replay object (its fileName, playing, speed, seconds, lengthSeconds, timeText, step(),
    // seek()); null: nothing is shown.
    property var replay: null

    implicitHeight: Theme.replayBarHeight
    radius: 6
    color: Theme.replayFill
    border.color: Theme.replayBorder

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        spacing: 8

        Text {
            objectName: "replayBanner"
            text: "Relecture — " + (bar.replay ? bar.replay.fileName : "")
            color: Theme.replayText
            font.bold: true
            elide: Text.ElideMiddle
            Layout.maximumWidth: 320
        }
        Button {
            objectName: "replayStepBack"
            text: "◀"
            onClicked: bar.replay.step(-1)
        }
        Button {
            objectName: "replayPlay"
            text: bar.replay && bar.replay.playing ? "Pause" : "Lecture"
            onClicked: bar.replay.playing = !bar.replay.playing
        }
        Button {
            objectName: "replayStepForward"
            text: "▶"
            onClicked: bar.replay.step(1)
        }
        Repeater {
            model: [1, 4, 16]
            Button {
                required property int modelData
                objectName: "replaySpeed" + modelData
                text: "×" + modelData
                checkable: true
                checked: !!bar.replay && bar.replay.speed === modelData
                onClicked: bar.replay.speed = modelData
            }
        }
        Slider {
            objectName: "replayPosition"
            Layout.fillWidth: true
            from: 0
            to: bar.replay ? Math.max(bar.replay.lengthSeconds, 0.001) : 1
            value: bar.replay ? bar.replay.seconds : 0
            onMoved: bar.replay.seek(value)
        }
        Text {
            objectName: "replayTime"
            text: bar.replay ? bar.replay.timeText : ""
            color: Theme.replayTime
            font.family: Theme.monoFont
        }
    }
}
