pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Zorvy.Map 1.0
import ZorvyTco

Rectangle {
    id: panel

    required property var liveData
    // The object that publishes the data map (the Backend): the map item reads its map in C++.
    // Without it the map item is given liveData.
    property var dataSource: null
    property real signalSize: 64
    // The lengths of the map's reservation and occupation lists; the window hands them over
    // without converting the lists themselves.
    property int reservationCount: (liveData.mapReservations || []).length
    property int occupationCount: (liveData.mapOccupations || []).length

    signal trainSelected(string trainId)

    // While on, the view keeps the selected train centred at each snapshot; a pan by hand ends it.
    property alias following: followToggle.checked
    // The zoom asked for while following, over the scale that centring on the train sets.
    property real followZoom: 1

    // The operations of the window's keys, about the middle of the map.
    function zoomBy(factor: real) {
        map.zoomAt(factor, map.width / 2, map.height / 2);
        if (panel.following)
            panel.followZoom *= factor;
    }
    function pan(dx: real, dy: real) {
        panel.following = false;
        map.moveView(dx, dy);
    }
    function fitAll() {
        panel.following = false;
        map.fit();
    }
    function centreTrain() {
        panel.followZoom = 1;
        map.focusTrain();
    }
    function keepTrainCentred() {
        map.focusTrain();
        if (panel.followZoom !== 1)
            map.zoomAt(panel.followZoom, map.width / 2, map.height / 2);
    }

    readonly property string usageText: liveData.usageStale
                                        ? "périmées"
                                        : liveData.reservationsAvailable
                                          ? String(panel.reservationCount)
                                          : "indisponibles"
    readonly property string occupationText: liveData.usageStale
                                             ? "périmée"
                                             : liveData.occupationsAvailable
                                               ? panel.occupationCount + " portions"
                                               : "indisponible"

    color: Theme.panelFill
    border.color: Theme.panelBorder
    clip: true

    function placePicker(x, y) {
        const count = trainPicker.candidates.length;
        trainPicker.width = Math.min(340, panel.width);
        trainPicker.height = Math.min(300, Math.max(80, panel.height - 90), 48 + 40 * count);
        trainPicker.x = Math.max(0, Math.min(x, panel.width - trainPicker.width));
        trainPicker.y = Math.max(Theme.panelHeaderHeight,
                                 Math.min(y, panel.height - trainPicker.height - Theme.panelFooterHeight));
    }

    RailMap {
        id: map
        objectName: "map"
        anchors.fill: parent
        anchors.topMargin: Theme.panelHeaderHeight
        anchors.bottomMargin: Theme.panelFooterHeight
        dataSource: panel.dataSource
        showCalculatedPath: pathToggle.checked
        signalSize: panel.signalSize
        signalLayer: MapPreferences.signalLayer
        showStationNames: MapPreferences.stationNames
    }

    // The camera comes back when the railway last shown is found again (once: later the map keeps
    // its own camera), and is remembered a moment after it moves.
    property bool cameraTaken: false
    Connections {
        target: map
        function onRailwayChanged() {
            if (panel.cameraTaken || map.railway === "")
                return;
            panel.cameraTaken = true;
            map.restoreCamera(MapPreferences.camera);
        }
        function onCameraChanged() {
            cameraMemory.restart();
        }
    }
    Timer {
        id: cameraMemory
        interval: 1000
        onTriggered: if (map.railway !== "") MapPreferences.camera = map.camera()
    }

    // Each new map moves the view onto the followed train.
    Connections {
        target: map
        enabled: panel.following
        function onDataChanged() {
            panel.keepTrainCentred();
        }
    }

    // Without a data source the map item is handed the map the window gives the panel.
    Binding {
        target: map
        property: "snapshotData"
        value: panel.liveData
        when: !panel.dataSource
        restoreMode: Binding.RestoreNone
    }

    MouseArea {
        id: mouse
        objectName: "mapMouse"

        property real lastX: 0
        property real lastY: 0
        property real pressX: 0
        property real pressY: 0
        property bool moved: false

        anchors.fill: map
        acceptedButtons: Qt.LeftButton
        cursorShape: pressed ? Qt.ClosedHandCursor : Qt.OpenHandCursor

        onPressed: event => {
            // Out of any text field, so that the window's letter keys reach the map.
            panel.forceActiveFocus();
            lastX = event.x;
            lastY = event.y;
            pressX = event.x;
            pressY = event.y;
            moved = false;
            if (trainPicker.opened)
                trainPicker.close();
        }
        onPositionChanged: event => {
            if (!pressed)
                return;
            if (!moved && Math.hypot(event.x - pressX, event.y - pressY) < 6)
                return;
            moved = true;
            panel.following = false;
            map.moveView(event.x - lastX, event.y - lastY);
            lastX = event.x;
            lastY = event.y;
        }
        onClicked: event => {
            if (moved)
                return;
            const found = map.trainsAt(event.x, event.y);
            if (found.length === 1) {
                panel.trainSelected(found[0].id);
            } else if (found.length > 1) {
                trainPicker.candidates = found;
                panel.placePicker(event.x, event.y);
                trainPicker.open();
            }
        }
        // While following, zooms keep the train in the middle.
        onWheel: event => {
            const factor = event.angleDelta.y > 0 ? 1.3 : 1 / 1.3;
            if (panel.following)
                panel.zoomBy(factor);
            else
                map.zoomAt(factor, event.x, event.y);
        }
        onDoubleClicked: event => {
            if (panel.following)
                panel.zoomBy(2);
            else
                map.zoomAt(2, event.x, event.y);
        }
    }

    Popup {
        id: trainPicker
        objectName: "trainPicker"
        property var candidates: []
        padding: 8

        contentItem: ColumnLayout {
            spacing: 4
            Label {
                objectName: "pickerTitle"
                text: "Choisir un train (" + trainPicker.candidates.length + ")"
            }
            ListView {
                objectName: "pickerList"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                model: trainPicker.candidates
                ScrollBar.vertical: ScrollBar {}
                delegate: ItemDelegate {
                    required property var modelData
                    width: ListView.view.width
                    height: 40
                    text: modelData.name + " · " + modelData.id
                    onClicked: {
                        panel.trainSelected(modelData.id);
                        trainPicker.close();
                    }
                }
            }
        }
    }

    Rectangle {
        objectName: "panelHeader"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: Theme.panelHeaderHeight
        color: Theme.panelHeaderFill

        RowLayout {
            anchors.fill: parent
            anchors.margins: 8
            spacing: 10

            Label {
                text: "RÉSEAU COMPLET"
                color: Theme.panelTitle
                font.bold: true
                font.letterSpacing: 1
            }
            Label {
                objectName: "selectionLine"
                Layout.fillWidth: true
                elide: Text.ElideRight
                color: Theme.panelSelection
                text: (panel.liveData.selectedTrain || "Aucun train") + " · Réservations : " + panel.usageText
            }
            CheckBox {
                id: pathToggle
                objectName: "pathToggle"
                text: "Path calculé"
                checked: false
                readonly property string toolTipText: panel.liveData.pathAvailable
                    ? (panel.liveData.pathSize || 0) + " voies calculées — ne prouve pas une réservation"
                    : "Path indisponible"
                hoverEnabled: true
                ToolTip.visible: hovered
                ToolTip.text: toolTipText
            }
            ComboBox {
                id: signalLayerChoice
                objectName: "signalLayerChoice"
                Layout.preferredWidth: 190
                model: ["Signaux : images", "Signaux : symboles", "Signaux : masqués"]
                currentIndex: MapPreferences.signalLayer
                Accessible.name: "Affichage des signaux"
                onActivated: index => MapPreferences.signalLayer = index
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
                        panel.centreTrain();
                }
            }
            Button {
                objectName: "fitButton"
                text: "Tout voir"
                onClicked: panel.fitAll()
            }
            Button {
                objectName: "focusButton"
                text: "Centrer train"
                enabled: !!panel.liveData.selectedTrackId
                onClicked: panel.centreTrain()
            }
        }
    }

    Rectangle {
        objectName: "panelFooter"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
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
                  + panel.occupationText + ") · doré : Path optionnel\n"
                  + "Signaux : textures du jeu et des mods · E<n> si image indisponible · aucune donnée ≠ voie libre · molette : zoom, glisser : déplacement"
        }
    }
}
