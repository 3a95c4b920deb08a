pragma ComponentBehavior: Bound

import QtQuick

// One track segment of the list: its id, station and limit, its rail with the signals and the
// trains at their fractions of the track.
Rectangle {
    id: row

    // A track map of the data map's "tracks".
    property var track: ({})
    property bool selected: false
    property bool contrast: false
    property real signalSize: Theme.defaultSignalSize

    signal signalChosen(string signalId)

    height: Theme.rowHeight
    radius: 5
    color: Theme.rowFill
    border.color: selected ? Theme.rowSelectedBorder : Theme.rowBorder

    Row {
        x: 12
        y: 12
        spacing: 16
        Text {
            text: "VOIE " + (row.track.id || "")
            font.family: Theme.monoFont
            font.pixelSize: 11
            color: Theme.trackId
        }
        Text {
            text: row.track.station || ""
            font.pixelSize: 11
            color: Theme.trackStation
        }
        Text {
            text: Number(row.track.limit || 0).toFixed(0) + " km/h"
            font.pixelSize: 11
            color: Theme.trackLimit
        }
    }

    Item {
        id: rail
        x: Theme.railInset
        y: Theme.railTop
        width: row.width - 2 * Theme.railInset
        height: 8

        Rectangle {
            width: parent.width
            height: row.contrast ? 6 : 3
            anchors.verticalCenter: parent.verticalCenter
            color: Theme.rail
        }
        Rectangle {
            x: 0
            y: -5
            width: 2
            height: 18
            color: Theme.railEnd
        }
        Rectangle {
            x: parent.width - width
            y: -5
            width: 2
            height: 18
            color: Theme.railEnd
        }

        // Signals first: the trains are drawn over them.
        Repeater {
            model: row.track.signals || []
            delegate: SignalMarker {
                required property var modelData
                signalData: modelData
                size: row.signalSize
                railWidth: rail.width
                contrast: row.contrast
                onChosen: signalId => row.signalChosen(signalId)
            }
        }

        Repeater {
            model: row.track.trains || []
            delegate: TrainMarker {
                required property var modelData
                train: modelData
                railWidth: rail.width
            }
        }
    }
}
