pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The selected train's details, in a pane over the right of the window: name and id, speed, track
// and station, state and since when, the tracks it reserves, the train it waits for (a click
// selects that train) and its path when the game gives it. Opened by "Détails" or D, closed by
// its button or Escape; it follows the selection while open.
Popup {
    id: pane

    // LiveFeed's trainDetails: train, attention, reservations, path, pathSize, pathAvailable.
    property var details: ({})
    signal trainChosen(string trainId)

    readonly property var train: pane.details.train || ({})
    readonly property var attention: pane.details.attention || ({})
    readonly property var reservations: pane.details.reservations || []
    readonly property var path: pane.details.path || []

    function stateText(state) {
        return ({ running: "en marche", platform: "à quai", held: "retenu au signal",
                  stalled: "arrêté hors gare", locked: "bloqué (interblocage)" })[state] || "inconnu";
    }
    function stateColour(state) {
        return ({ running: Theme.stateRunning, platform: Theme.statePlatform, held: Theme.stateHeld,
                  stalled: Theme.stateStalled, locked: Theme.stateLocked })[state] || Theme.hint;
    }
    function sinceText() {
        const since = pane.attention.since;
        if (since === undefined)
            return "";
        // Counted to the capture's time, which a replay shows as it was.
        const seconds = Math.max(0, Math.floor(((pane.attention.time || since) - since) / 1000));
        const clock = new Date(since).toLocaleTimeString(Qt.locale("fr_FR"), "HH:mm:ss");
        return "depuis " + clock + " (" + (seconds >= 60 ? Math.floor(seconds / 60) + " min" : seconds + " s") + ")";
    }
    function trackList(tracks, total) {
        if (tracks.length === 0)
            return "aucune";
        return tracks.join(" → ") + (total > tracks.length ? " → … (" + total + " voies)" : "");
    }

    objectName: "trainDetails"
    width: Theme.trainDetailsWidth
    padding: 14
    modal: false
    focus: false
    closePolicy: Popup.NoAutoClose
    background: Rectangle {
        color: Theme.detailsFill
        radius: 8
        border.color: Theme.cardSelectedBorder
    }

    component Field: ColumnLayout {
        id: field
        property string label
        property string value
        property color colour: Theme.text
        property string name
        Layout.fillWidth: true
        spacing: 1
        Text {
            text: field.label
            font.pixelSize: 10
            font.letterSpacing: 1
            color: Theme.columnTitle
        }
        Text {
            objectName: field.name
            Layout.fillWidth: true
            text: field.value
            wrapMode: Text.Wrap
            font.pixelSize: 12
            color: field.colour
        }
    }

    contentItem: ColumnLayout {
        spacing: 8
        RowLayout {
            Layout.fillWidth: true
            Text {
                objectName: "detailsName"
                Layout.fillWidth: true
                text: pane.train.name || "Aucun train choisi"
                elide: Text.ElideRight
                font.pixelSize: 16
                font.bold: true
                color: Theme.trainName
            }
            ToolButton {
                objectName: "detailsClose"
                text: "×"
                Accessible.name: "Fermer les détails du train"
                onClicked: pane.close()
            }
        }
        Field { label: "IDENTIFIANT"; name: "detailsId"; value: pane.train.id || "—" }
        Field {
            label: "VITESSE"
            name: "detailsSpeed"
            value: pane.train.present ? Number(pane.train.speed || 0).toFixed(1) + " km/h" : "indisponible"
            colour: Theme.trainSpeed
        }
        Field {
            label: "VOIE · GARE"
            name: "detailsPlace"
            value: pane.train.positioned
                   ? pane.train.track + " · " + (pane.attention.state ? pane.attention.station || "hors gare" : "gare inconnue")
                   : "non placé sur le réseau"
        }
        Field {
            label: "ÉTAT"
            name: "detailsState"
            value: pane.attention.state ? pane.stateText(pane.attention.state) + " " + pane.sinceText() : "inconnu"
            colour: pane.stateColour(pane.attention.state)
        }
        Field {
            label: "RÉSERVATIONS (" + pane.reservations.length + ")"
            name: "detailsReservations"
            value: pane.trackList(pane.reservations, pane.reservations.length)
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 1
            Text {
                text: "ATTEND"
                font.pixelSize: 10
                font.letterSpacing: 1
                color: Theme.columnTitle
            }
            Text {
                objectName: "detailsWaitsNone"
                visible: !pane.attention.waitsFor
                text: "aucun train"
                font.pixelSize: 12
                color: Theme.hint
            }
            Button {
                objectName: "detailsWaitsFor"
                visible: !!pane.attention.waitsFor
                text: (pane.attention.waitsForName || "") + " →"
                Accessible.name: "Choisir le train attendu"
                onClicked: pane.trainChosen(pane.attention.waitsFor)
            }
        }
        Field {
            label: "ITINÉRAIRE"
            name: "detailsPath"
            value: pane.details.pathAvailable ? pane.trackList(pane.path, pane.details.pathSize || 0) : "inconnu"
        }
    }
}
