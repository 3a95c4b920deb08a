pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The window's footer: the connection status, the update status and button, the version line.
RowLayout {
    id: footer

    property var live: ({})
    property var updater: null
    // The process ids of the running games when the automatic search found several.
    readonly property var games: footer.live.gameProcesses || []

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
