import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Under the header while a recording is shown: the banner that says the window shows a replay,
// not the live game, and the time bar: play and pause, the speeds, a step by capture either way,
// the position with the recording's alerts marked on it, and the time of the capture shown.
Rectangle {
    id: bar

    // The Replay object (its fileName, playing, speed, seconds, lengthSeconds, timeText, step(),
    // seek()); null: nothing is shown.
    property var replay: null

    // A button as wide as its text: the slider gets the room.
    component NarrowButton: Button {
        implicitWidth: Math.max(Theme.replayButtonMinWidth, implicitContentWidth + leftPadding + rightPadding)
    }
    component SpeedButton: NarrowButton {
        id: speedButton
        property int speed: 1
        property var replay: null
        objectName: "replaySpeed" + speedButton.speed
        text: "×" + speedButton.speed
        checkable: true
        checked: !!speedButton.replay && speedButton.replay.speed === speedButton.speed
        onClicked: speedButton.replay.speed = speedButton.speed
    }

    // The keys of a video player: Space plays or pauses, "," and "." step back and forward.
    Shortcut {
        sequence: "Space"
        enabled: bar.visible && !!bar.replay
        onActivated: bar.replay.playing = !bar.replay.playing
    }
    Shortcut {
        sequence: ","
        enabled: bar.visible && !!bar.replay
        onActivated: bar.replay.step(-1)
    }
    Shortcut {
        sequence: "."
        enabled: bar.visible && !!bar.replay
        onActivated: bar.replay.step(1)
    }

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
            // Cut short before the slider is: the header's badge says "RELECTURE" too. (Only an item
            // that fills may be narrower than it would be.)
            Layout.fillWidth: true
            Layout.minimumWidth: Theme.replayBannerMinWidth
            Layout.maximumWidth: Theme.replayBannerMaxWidth
        }
        NarrowButton {
            objectName: "replayStepBack"
            ToolTip.visible: hovered
            ToolTip.text: "Capture précédente (,)"
            text: "◀"
            onClicked: bar.replay.step(-1)
        }
        NarrowButton {
            objectName: "replayPlay"
            // As wide for "Pause" as for "Lecture": the bar does not move when it plays.
            implicitWidth: Theme.replayPlayButtonWidth
            ToolTip.visible: hovered
            ToolTip.text: "Lecture ou pause (Espace)"
            text: bar.replay && bar.replay.playing ? "Pause" : "Lecture"
            onClicked: bar.replay.playing = !bar.replay.playing
        }
        NarrowButton {
            objectName: "replayStepForward"
            ToolTip.visible: hovered
            ToolTip.text: "Capture suivante (.)"
            text: "▶"
            onClicked: bar.replay.step(1)
        }
        SpeedButton { speed: 1; replay: bar.replay }
        SpeedButton { speed: 4; replay: bar.replay }
        SpeedButton { speed: 16; replay: bar.replay }
        Slider {
            id: position
            objectName: "replayPosition"
            Layout.fillWidth: true
            Layout.minimumWidth: Theme.replaySliderMinWidth
            from: 0
            to: bar.replay ? Math.max(bar.replay.lengthSeconds, 0.001) : 1
            value: bar.replay ? bar.replay.seconds : 0
            onMoved: bar.replay.seek(value)
            // The recording's alerts, a click goes there.
            ReplayMarks {
                anchors.fill: parent
                replay: bar.replay
                slider: position
            }
        }
        Text {
            objectName: "replayTime"
            Layout.minimumWidth: implicitWidth
            text: bar.replay ? bar.replay.timeText : ""
            color: Theme.replayTime
            font.family: Theme.monoFont
        }
    }
}
