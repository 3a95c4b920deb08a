import QtQuick

// One train on a track row's rail: its body, its name below and its speed above.
Item {
    id: trainMarker

    // A train map of a track map's "trains".
    property var train: ({})
    property real railWidth: 0

    x: (train.fraction || 0) * railWidth

    Rectangle {
        x: -13
        y: -5
        width: 26
        height: 13
        radius: 2
        color: Theme.trainBody
        border.color: Theme.trainBodyBorder
    }
    Text {
        x: -48
        y: 17
        width: 96
        horizontalAlignment: Text.AlignHCenter
        elide: Text.ElideRight
        text: trainMarker.train.name || ""
        font.pixelSize: 11
        font.bold: true
        color: Theme.trainLabel
    }
    Text {
        x: -45
        y: -57
        width: 90
        horizontalAlignment: Text.AlignHCenter
        text: ((trainMarker.train.direction || 0) > 0 ? "→ " : "← ")
              + Number(trainMarker.train.speed || 0).toFixed(1) + " km/h"
        font.pixelSize: 11
        color: Theme.trainMarkerSpeed
    }
}
