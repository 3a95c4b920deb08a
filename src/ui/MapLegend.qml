pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import ZorvyTco

// The map's footer: what the colours of the map mean, with the state of the occupations, and how
// to move the view. Compact ("Carte seule"), it floats over the map as a collapsible key of every
// colour and symbol the map draws.
Rectangle {
    id: legend

    // The data map, of which the legend reads the usage's state.
    property var liveData: ({})
    property int occupationCount: 0

    readonly property string occupationText: legend.liveData.usageStale
                                             ? "périmée"
                                             : legend.liveData.occupationsAvailable
                                               ? legend.occupationCount + " portions"
                                               : "indisponible"

    property bool compact: false
    property bool expanded: true

    objectName: "panelFooter"
    height: legend.compact ? (legend.expanded ? key.implicitHeight + 40 : 30) : Theme.panelFooterHeight
    radius: legend.compact ? 4 : 0
    color: legend.compact ? Theme.floatFill : Theme.panelFooterFill

    Button {
        objectName: "legendToggle"
        visible: legend.compact
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.margins: 2
        height: 26
        flat: true
        text: legend.expanded ? "Légende ▾" : "Légende ▸"
        onClicked: legend.expanded = !legend.expanded
    }

    Column {
        id: key
        objectName: "legendKey"
        visible: legend.compact && legend.expanded
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.margins: 8
        anchors.topMargin: 32
        spacing: 2
        Repeater {
            model: [
                [Theme.legendOccupation, "━", "Voie occupée (" + legend.occupationText + ")"],
                [Theme.legendReservation, "━", "Réservée pour le train sélectionné"],
                [Theme.legendPath, "•", "Path calculé (optionnel)"],
                [Theme.legendMapTrain, "▶", "Train en marche, dans son sens"],
                [Theme.legendMapTrain, "■", "Train arrêté"],
                [Theme.legendSelectedTrain, "▶", "Train sélectionné"],
                [Theme.legendDanger, "●", "Signal fermé (couleur de son image)"],
                [Theme.legendClear, "●", "Signal ouvert ; un point par case : le plus rouge"],
                [Theme.legendNeutral, "●", "Signal sans état ni image"],
                [Theme.legendStation, "▭", "Nom de gare"]
            ]
            delegate: Row {
                id: entry
                required property var modelData
                spacing: 8
                Text {
                    width: 14
                    horizontalAlignment: Text.AlignHCenter
                    font.pixelSize: 12
                    color: entry.modelData[0]
                    text: entry.modelData[1]
                }
                Text {
                    font.pixelSize: 11
                    color: Theme.panelLegend
                    text: entry.modelData[2]
                }
            }
        }
    }

    Text {
        objectName: "legend"
        visible: !legend.compact
        anchors.fill: parent
        anchors.margins: 8
        wrapMode: Text.WordWrap
        textFormat: Text.PlainText
        font.pixelSize: 11
        color: Theme.panelLegend
        text: "Vert : réservations du train sélectionné · rouge : occupation de tous les trains ("
              + legend.occupationText + ") · doré : Path optionnel\n"
              + "Signaux : textures du jeu et des mods · E<n> si image indisponible · aucune donnée ≠ voie libre · molette : zoom, glisser : déplacement"
    }
}
