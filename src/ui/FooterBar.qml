pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The window's footer: the connection status, the update status and button, the version line.
RowLayout {
    id: footer

    property var live: ({})
    property var updater: null
    // The process ids of the running games when the automatic search found several: the first
    // few by start time, and how many more run.
    readonly property var games: footer.live.gameProcesses || []
    readonly property int moreGames: footer.live.moreGameProcesses || 0

    signal gameChosen(string pid)

    spacing: 14

    Text {
        objectName: "statusText"
        Layout.fillWidth: true
        elide: Text.ElideRight
        font.pixelSize: 12
        color: footer.live.live ? Theme.liveText : Theme.waitingText
        text: footer.live.status || "Déconnecté"
    }
    // One button per game, and how many more run: at most a few buttons, and never wider than
    // the room the window leaves (a narrow window scrolls them), so that nothing above moves.
    Flickable {
        objectName: "gameList"
        visible: footer.games.length > 0
        Layout.fillWidth: true
        Layout.minimumWidth: 0
        Layout.preferredWidth: gameRow.implicitWidth
        Layout.maximumWidth: gameRow.implicitWidth
        implicitHeight: gameRow.implicitHeight
        contentWidth: gameRow.implicitWidth
        flickableDirection: Flickable.HorizontalFlick
        boundsBehavior: Flickable.StopAtBounds
        clip: true

        Row {
            id: gameRow
            spacing: 8
            Repeater {
                model: footer.games
                delegate: Button {
                    required property var modelData
                    objectName: "gameButton"
                    font.pixelSize: 12
                    text: "PID " + modelData
                    Accessible.name: "Connecter au jeu PID " + modelData
                    onClicked: footer.gameChosen(String(modelData))
                }
            }
            Text {
                objectName: "moreGames"
                visible: footer.moreGames > 0
                anchors.verticalCenter: parent.verticalCenter
                font.pixelSize: 12
                color: Theme.waitingText
                text: "… et " + footer.moreGames + (footer.moreGames === 1 ? " autre" : " autres")
            }
        }
    }
    Text {
        objectName: "updateStatus"
        font.pixelSize: 11
        color: Theme.updateStatus
        text: footer.updater ? footer.updater.status || "" : ""
    }
    // The check may end where it started (no server configured, nothing new): the time of the
    // last check asked for by hand says that the click was heard.
    Text {
        id: updateCheckNote
        objectName: "updateCheckNote"
        property string checkedAt: ""
        visible: checkedAt !== ""
        font.pixelSize: 11
        color: Theme.updateStatus
        text: "· vérifié à " + checkedAt
    }
    Button {
        objectName: "updateButton"
        readonly property bool ready: footer.updater ? footer.updater.ready === true : false
        text: ready ? "Redémarrer et mettre à jour" : "Vérifier les mises à jour"
        onClicked: {
            if (ready) {
                footer.updater.restart();
            } else {
                footer.updater.check();
                updateCheckNote.checkedAt = Qt.formatTime(new Date(), "hh:mm:ss");
            }
        }
    }
    Text {
        objectName: "versionLine"
        font.pixelSize: 11
        color: Theme.versionLine
        text: "ZorvyRailsSDK 0.6 · observation expérimentale · " + (footer.live.updated || "--:--:--")
    }
}
