import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import ZorvyTco

// The map's header: the title, the selected train with its reservations, the layer choices
// (calculated path, signals, station names), following, framing and centring.
Rectangle {
    id: toolbar

    // The data map, of which the toolbar reads the selection, the usage's state and the path.
    property var liveData: ({})
    property int reservationCount: 0
    readonly property alias pathShown: pathToggle.checked
    // On while the map keeps the selected train centred.
    property alias following: followToggle.checked

    readonly property string usageText: toolbar.liveData.usageStale
                                        ? "périmées"
                                        : toolbar.liveData.reservationsAvailable
                                          ? String(toolbar.reservationCount)
                                          : "indisponibles"

    signal followStarted()
    signal fitRequested()
    signal centreRequested()

    objectName: "panelHeader"
    height: Theme.panelHeaderHeight
    color: Theme.panelHeaderFill

    RowLayout {
        anchors.fill: parent
        anchors.margins: 8
        spacing: 10

        Label {
            // Left out where the choices would not fit beside it (a narrow map).
            visible: toolbar.width >= Theme.mapToolbarTitleWidth
            text: "RÉSEAU COMPLET"
            color: Theme.panelTitle
            font.bold: true
            font.letterSpacing: 1
        }
        Label {
            objectName: "selectionLine"
            Layout.fillWidth: true
            // What room the choices leave, not more: the line is cut short, never drawn under them.
            Layout.preferredWidth: 0
            Layout.minimumWidth: 0
            elide: Text.ElideRight
            color: Theme.panelSelection
            text: (toolbar.liveData.selectedTrain || "Aucun train") + " · Réservations : " + toolbar.usageText
            // Cut short, it is read whole under the pointer.
            ToolTip.visible: selectionHover.hovered && truncated
            ToolTip.text: text
            HoverHandler {
                id: selectionHover
            }
        }
        CheckBox {
            id: pathToggle
            objectName: "pathToggle"
            text: "Path calculé"
            checked: false
            readonly property string toolTipText: toolbar.liveData.pathAvailable
                ? (toolbar.liveData.pathSize || 0) + " voies calculées — ne prouve pas une réservation"
                : "Path indisponible"
            hoverEnabled: true
            ToolTip.visible: hovered
            ToolTip.text: toolTipText
        }
        ComboBox {
            objectName: "signalLayerChoice"
            Layout.preferredWidth: 190
            // One entry per SignalLayer, the automatic one (the default) first.
            readonly property var layers: [SignalLayer.Auto, SignalLayer.Images, SignalLayer.Symbols,
                                           SignalLayer.Hidden]
            model: ["Signaux : auto", "Signaux : images", "Signaux : symboles", "Signaux : masqués"]
            currentIndex: layers.indexOf(MapPreferences.signalLayer)
            Accessible.name: "Affichage des signaux"
            onActivated: index => MapPreferences.signalLayer = layers[index]
        }
        CheckBox {
            objectName: "stationNamesToggle"
            text: "Gares"
            checked: MapPreferences.stationNames
            onToggled: MapPreferences.stationNames = checked
        }
        Item {
            Layout.fillWidth: true
        }
        CheckBox {
            id: followToggle
            objectName: "followToggle"
            text: "Suivre"
            checked: false
            hoverEnabled: true
            ToolTip.visible: hovered
            ToolTip.text: "Garde le train sélectionné au centre (S) ; un déplacement à la main arrête le suivi"
            onToggled: {
                if (checked)
                    toolbar.followStarted();
            }
        }
        Button {
            objectName: "mapOnlyButton"
            text: "Carte seule"
            checkable: true
            checked: WindowPreferences.mapOnly
            hoverEnabled: true
            ToolTip.visible: hovered
            ToolTip.text: "La carte occupe toute la fenêtre (M)"
            onClicked: WindowPreferences.mapOnly = checked
        }
        Button {
            objectName: "fitButton"
            text: "Tout voir"
            onClicked: toolbar.fitRequested()
        }
        Button {
            objectName: "focusButton"
            text: "Centrer train"
            enabled: !!toolbar.liveData.selectedTrackId
            onClicked: toolbar.centreRequested()
        }
    }
}
