import QtQuick
import QtQuick.Controls

// One signal on a track row's rail: the game's image, or a drawn symbol while there is none, and
// a zone that selects the signal and shows its details.
Item {
    id: marker

    // A signal map of a track map's "signals".
    property var signalData: ({})
    property real size: Theme.defaultSignalSize
    property real railWidth: 0
    property bool contrast: false

    signal chosen(string signalId)

    x: (signalData.fraction || 0) * railWidth
    y: -28
    width: 24
    height: 52

    Image {
        id: image
        objectName: "signalImage"
        x: -marker.size / 2
        y: 24 - marker.size
        width: marker.size
        height: marker.size
        // Read and decoded by the program's texture loader, never on the window's thread.
        source: marker.signalData.texturePath
                ? "image://signal/" + encodeURIComponent(marker.signalData.texturePath) : ""
        sourceSize.width: 192
        sourceSize.height: 192
        fillMode: Image.PreserveAspectFit
    }

    Item {
        objectName: "drawnSymbol"
        // Not while an image loads: a signal whose state changes would flash its symbol.
        visible: image.status === Image.Null || image.status === Image.Error
        Rectangle {
            x: 0
            y: 15
            width: 2
            height: 17
            color: Theme.mast
        }
        Rectangle {
            x: -7
            y: 0
            width: 16
            height: 16
            color: Theme.rowFill
            border.width: marker.contrast ? 3 : 2
            border.color: marker.signalData.balise ? Theme.baliseHead : Theme.signalHead
            radius: (marker.signalData.balise || marker.signalData.marker) ? 0 : 8
            rotation: marker.signalData.balise ? 45 : 0
        }
        Text {
            visible: marker.signalData.marker === true
            x: -4
            y: 0
            text: "M"
            font.pixelSize: 12
            color: Theme.markerLetter
        }
        Text {
            x: -18
            y: -18
            text: marker.signalData.aspect || ""
            font.pixelSize: 9
            color: Theme.aspect
        }
    }

    MouseArea {
        id: signalZone
        objectName: "signalZone"
        x: -marker.size / 2
        y: 24 - marker.size
        width: marker.size
        height: marker.size + 12
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: marker.chosen(marker.signalData.id)
        ToolTip.visible: containsMouse
        ToolTip.text: [marker.signalData.kind, marker.signalData.id,
            marker.signalData.aspect + " · sens " + marker.signalData.direction,
            marker.signalData.specificState].join("\n")
    }
}
