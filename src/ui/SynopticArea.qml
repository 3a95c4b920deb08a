pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The synoptic area: the mode button and the list's choosers, the caption and the pager, the
// legend with the signal size, and either the network panel or the segment list.
Rectangle {
    id: area

    // The window's view of the data map (without its long lists) and the Backend, for the panel.
    property var live: ({})
    property var dataSource: null
    property int reservationCount: 0
    property int occupationCount: 0
    property bool panelMode: true
    // "Carte seule": the panel alone, without the area's own rows and margins.
    property bool mapOnly: false
    // A recording is shown, not the live game.
    property bool replaying: false
    property real signalSize: Theme.defaultSignalSize
    // The track maps of the current page, as a list model or a list.
    property var tracks: []
    // The station chooser's entries: "Toutes les gares" first.
    property var stations: []
    // Shown in the station chooser while its list does not hold the chosen station.
    property string stationFilterName: ""
    property string selectedTrack: ""
    property string selectedSignalText: ""

    readonly property alias scope: scope
    readonly property alias station: station
    readonly property alias board: board
    readonly property alias panel: panel

    signal modeToggled()
    signal signalSizeMoved(real size)
    signal scopeChosen(int index)
    signal stationActivated(int index)
    signal pageRequested(int page)
    signal signalChosen(string signalId)
    signal trainSelected(string trainId)

    Layout.fillWidth: true
    Layout.fillHeight: true
    color: Theme.synopticFill
    radius: 8
    border.color: Theme.paneBorder

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: area.mapOnly ? 0 : 18
        spacing: area.mapOnly ? 0 : 12

        RowLayout {
            Layout.fillWidth: true
            visible: !area.mapOnly
            Text {
                text: "SYNOPTIQUE"
                font.pixelSize: 15
                font.bold: true
                font.letterSpacing: 1
                color: Theme.synopticTitle
            }
            Button {
                objectName: "modeButton"
                text: area.panelMode ? "Liste" : "Panneau TCO"
                onClicked: area.modeToggled()
            }
            Item {
                Layout.fillWidth: true
            }
            ComboBox {
                id: scope
                objectName: "scope"
                visible: !area.panelMode
                Layout.preferredWidth: 158
                // One entry per ListScope, in the order of its values.
                model: ["Circulations", "Avec signaux", "Toutes les voies", "Sélection"]
                Accessible.name: "Voies montrées"
                onCurrentIndexChanged: area.scopeChosen(currentIndex)
            }
            StationChooser {
                id: station
                objectName: "station"
                visible: !area.panelMode
                Layout.preferredWidth: 200
                stations: area.stations
                missingName: area.stationFilterName
                Accessible.name: "Gare"
                onActivated: index => area.stationActivated(index)
            }
            ComboBox {
                id: symbols
                objectName: "symbols"
                visible: !area.panelMode
                Layout.preferredWidth: 142
                model: ["Symboles TCO", "Contraste élevé"]
                Accessible.name: "Symboles"
            }
        }

        RowLayout {
            Layout.fillWidth: true
            visible: !area.mapOnly
            Text {
                objectName: "caption"
                Layout.fillWidth: true
                elide: Text.ElideRight
                font.pixelSize: 12
                color: Theme.caption
                text: area.panelMode
                      ? "Carte entière · caméra libre · capture " + (area.live.captureMs || 0) + " ms"
                      : "Segments indépendants · positions en fraction de voie"
            }
            Button {
                objectName: "previousPage"
                Layout.preferredWidth: 36
                visible: !area.panelMode
                text: "‹"
                Accessible.name: "Page précédente"
                enabled: (area.live.page || 0) > 0
                onClicked: area.pageRequested((area.live.page || 0) - 1)
            }
            Text {
                objectName: "pagerText"
                visible: !area.panelMode
                color: Theme.caption
                text: ((area.live.page || 0) + 1) + " / " + (area.live.pages || 1) + " · "
                      + (area.live.filteredCount || 0) + " voies"
            }
            Button {
                objectName: "nextPage"
                Layout.preferredWidth: 36
                visible: !area.panelMode
                text: "›"
                Accessible.name: "Page suivante"
                enabled: (area.live.page || 0) + 1 < (area.live.pages || 1)
                onClicked: area.pageRequested((area.live.page || 0) + 1)
            }
            // Any page at once: its number, then Enter (only when there are several).
            TextField {
                objectName: "pageField"
                Layout.preferredWidth: 64
                visible: !area.panelMode && (area.live.pages || 1) > 1
                placeholderText: "page…"
                placeholderTextColor: Theme.placeholder
                selectByMouse: true
                validator: IntValidator { bottom: 1 }
                inputMethodHints: Qt.ImhDigitsOnly
                Accessible.name: "Aller à la page"
                onAccepted: {
                    const pages = area.live.pages || 1;
                    area.pageRequested(Math.min(Math.max(parseInt(text, 10), 1), pages) - 1);
                    clear();
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            visible: !area.mapOnly
            spacing: 12
            Text {
                text: "━  Voie observée"
                font.pixelSize: 11
                color: Theme.legendTrack
            }
            Text {
                text: "▰  Train"
                font.pixelSize: 11
                color: Theme.legendTrain
            }
            Text {
                text: "Signaux : textures natives"
                font.pixelSize: 11
                color: Theme.legendSignal
            }
            Text {
                text: "◇  Balise"
                font.pixelSize: 11
                color: Theme.legendBalise
            }
            Text {
                text: "M  Repère"
                font.pixelSize: 11
                color: Theme.legendMarker
            }
            Item {
                Layout.fillWidth: true
            }
            Text {
                text: "Taille : " + Math.round(area.signalSize)
                font.pixelSize: 11
                color: Theme.legendTrack
            }
            Slider {
                objectName: "sizeSlider"
                Layout.preferredWidth: 110
                from: Theme.minimumSignalSize
                to: Theme.maximumSignalSize
                stepSize: Theme.signalSizeStep
                value: area.signalSize
                Accessible.name: "Taille des signaux"
                onMoved: area.signalSizeMoved(value)
            }
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            Panel {
                id: panel
                objectName: "panel"
                anchors.fill: parent
                visible: area.panelMode
                mapOnly: area.mapOnly
                replaying: area.replaying
                liveData: area.live
                dataSource: area.dataSource
                reservationCount: area.reservationCount
                occupationCount: area.occupationCount
                signalSize: area.signalSize
                onTrainSelected: trainId => area.trainSelected(trainId)
            }

            ListView {
                id: board
                objectName: "board"
                anchors.fill: parent
                visible: !area.panelMode
                clip: true
                spacing: 10
                model: area.tracks
                activeFocusOnTab: true
                Accessible.name: "Segments de voie"
                ScrollBar.vertical: ScrollBar {}
                delegate: TrackRow {
                    required property var modelData
                    width: ListView.view.width - 12
                    track: modelData
                    selected: area.selectedTrack === modelData.id
                    contrast: symbols.currentIndex === 1
                    signalSize: area.signalSize
                    onSignalChosen: signalId => area.signalChosen(signalId)
                }
            }

            Text {
                objectName: "emptyListText"
                anchors.centerIn: parent
                visible: !area.panelMode && board.count === 0
                font.pixelSize: 17
                color: Theme.emptyList
                text: area.live.live ? "Aucune voie pour ce filtre" : "En attente de données du jeu"
            }
        }

        Text {
            objectName: "signalLine"
            visible: !area.mapOnly
            Layout.fillWidth: true
            elide: Text.ElideRight
            font.pixelSize: 11
            color: Theme.signalLine
            text: area.selectedSignalText !== ""
                  ? area.selectedSignalText
                  : "Voies et positions observées · états natifs des signaux dans la liste"
        }
    }
}
