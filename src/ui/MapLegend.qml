import QtQuick

// The map's footer: what the colours of the map mean, with the state of the occupations, and how
// to move the view.
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

    objectName: "panelFooter"
    height: Theme.panelFooterHeight
    color: Theme.panelFooterFill

    Text {
        objectName: "legend"
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
