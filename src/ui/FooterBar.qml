pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The window's footer: the connection status, the update status and button, the version line.
RowLayout {
    id: footer

    property var live: ({})
    property var updater: null
    // The running games when the automatic search found several, each a process id ("pid") and
    // a start time ("started", milliseconds since 1970): the first few by start time, and how
    // many more run.
    readonly property var games: footer.live.gameProcesses || []
    readonly property int moreGames: footer.live.moreGameProcesses || 0
    // The games started since the connection, less those the user has set aside.
    property var dismissedGames: []
    readonly property var newGames: (footer.live.newGameProcesses || []).filter(
                                        game => footer.dismissedGames.indexOf(game.pid) < 0)

    // A game chosen by its process id; the empty text asks for the automatic search.
    signal gameChosen(string pid)

    // "lancé à 14:02:07", or with the day when the game did not start today; empty when unknown.
    function startedText(started: real): string {
        if (!started)
            return "";
        const at = new Date(started);
        const today = at.toDateString() === new Date().toDateString();
        return today ? "lancé à " + Qt.formatTime(at, "HH:mm:ss")
                     : "lancé le " + Qt.formatDate(at, "dd/MM") + " à " + Qt.formatTime(at, "HH:mm");
    }

    function gameText(game: var): string {
        const started = footer.startedText(game.started);
        return "PID " + game.pid + (started ? " · " + started : "");
    }

    spacing: 14

    Text {
        objectName: "statusText"
        Layout.fillWidth: true
        Layout.minimumWidth: Math.min(implicitWidth, 200)
        elide: Text.ElideRight
        font.pixelSize: 12
        color: footer.live.live ? Theme.liveText : Theme.waitingText
        text: footer.live.status || "Déconnecté"
    }
    // The chosen game has ended: the automatic search in one click.
    Button {
        objectName: "autoSearchButton"
        visible: !!footer.live.endedGame
        font.pixelSize: 12
        text: "Recherche automatique"
        onClicked: footer.gameChosen("")
    }
    // A game started while this one is observed: a quiet line that the user may set aside.
    Row {
        objectName: "newGameNotice"
        visible: footer.newGames.length > 0
        spacing: 4
        Text {
            objectName: "newGameText"
            anchors.verticalCenter: parent.verticalCenter
            font.pixelSize: 11
            color: Theme.updateStatus
            text: (footer.newGames.length === 1 ? "Autre jeu lancé : " : "Autres jeux lancés : ")
                  + footer.newGames.map(game => footer.gameText(game)).join(", ")
        }
        ToolButton {
            objectName: "dismissNewGames"
            anchors.verticalCenter: parent.verticalCenter
            implicitWidth: 22
            implicitHeight: 22
            font.pixelSize: 11
            text: "✕"
            Accessible.name: "Masquer l’avis"
            onClicked: footer.dismissedGames = footer.dismissedGames.concat(
                           footer.newGames.map(game => game.pid))
        }
    }
    // One button per game, and how many more run: at most a few buttons, and never wider than
    // the room the window leaves (a narrow window scrolls them), so that nothing above moves.
    Flickable {
        objectName: "gameList"
        visible: footer.games.length > 0
        // At most two fifths of the row (two games side by side in the narrowest window); more
        // scroll.
        Layout.preferredWidth: Math.min(gameRow.implicitWidth, footer.width * 0.4)
        Layout.minimumWidth: Layout.preferredWidth
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
                    text: footer.gameText(modelData)
                    Accessible.name: "Connecter au jeu " + text
                    onClicked: footer.gameChosen(String(modelData.pid))
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
    // Cut short when the games listed beside the status need the room.
    Text {
        objectName: "versionLine"
        Layout.minimumWidth: Math.min(implicitWidth, 120)
        Layout.maximumWidth: implicitWidth
        Layout.fillWidth: true
        elide: Text.ElideRight
        font.pixelSize: 11
        color: Theme.versionLine
        text: "ZorvyRailsSDK 0.6 · observation expérimentale · " + (footer.live.updated || "--:--:--")
    }
}
