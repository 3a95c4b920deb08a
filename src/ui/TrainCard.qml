import QtQuick

// One train of the train list: name, speed and track; highlighted while it is the selected train.
Rectangle {
    id: card

    // A train map of the data map's "trains".
    property var train: ({})
    property bool highlighted: false

    signal chosen()

    objectName: "trainCard"
    height: 92
    radius: 6
    color: highlighted ? Theme.cardSelectedFill : Theme.cardFill
    border.color: highlighted || activeFocus ? Theme.cardSelectedBorder : Theme.cardBorder
    border.width: activeFocus ? 2 : 1

    // Return or Space on the card that has the keyboard focus chooses it, like a click.
    Keys.onReturnPressed: card.chosen()
    Keys.onEnterPressed: card.chosen()
    Keys.onSpacePressed: card.chosen()

    Accessible.role: Accessible.Button
    Accessible.name: card.train.name || ""

    Column {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 6
        Text {
            width: parent.width
            elide: Text.ElideRight
            text: card.train.name || ""
            font.bold: true
            font.pixelSize: 14
            color: Theme.trainName
        }
        Text {
            objectName: "trainSpeed"
            text: card.train.present ? Number(card.train.speed || 0).toFixed(1) + " km/h" : "Vitesse indisponible"
            font.pixelSize: 16
            color: Theme.trainSpeed
        }
        Text {
            objectName: "trainTrack"
            width: parent.width
            elide: Text.ElideRight
            text: card.train.positioned ? "Voie …" + String(card.train.track || "").slice(-8)
                                        : "Non localisé dans les états validés"
            font.pixelSize: 10
            color: Theme.trainTrack
        }
    }

    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: card.chosen()
    }
}
