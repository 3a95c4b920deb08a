import QtQuick
import QtQuick.Layouts

// One counter of the counters row: a label above a value in the tile's accent colour.
Rectangle {
    id: tile

    property string label: ""
    property string value: "0"
    property color accent: Theme.tracksAccent
    // The value text's objectName, by which tests find it.
    property string valueName: ""

    Layout.fillWidth: true
    Layout.preferredWidth: 1
    Layout.preferredHeight: 80
    radius: 8
    color: Theme.tileFill
    border.color: Theme.paneBorder

    Column {
        x: 18
        anchors.verticalCenter: parent.verticalCenter
        spacing: 5
        Text {
            text: tile.label
            font.pixelSize: 10
            font.letterSpacing: 1
            color: Theme.tileLabel
        }
        Text {
            objectName: tile.valueName
            text: tile.value
            font.pixelSize: 26
            font.weight: Font.DemiBold
            color: tile.accent
        }
    }
}
