import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import ZorvyTco

ApplicationWindow {
    id: window

    required property var backend
    required property var updater

    // The data map of the Backend, re-read at every changed(); the trains and the tracks of the
    // current page come as list models that update in place (see LiveFeed).
    property var live: feed.data
    property string selectedTrack: ""
    // The train chosen on a card or on the map, by its id: its card stays highlighted while it
    // runs from track to track, and the "Sélection" scope follows it.
    property string selectedTrain: ""
    property string selectedSignal: ""
    readonly property string selectedSignalText: {
        window.live; // re-evaluated with every published map
        if (selectedSignal === "")
            return "";
        const found = feed.findSignal(selectedSignal);
        if (found.id === undefined)
            return "Signal hors de la vue courante";
        return [found.kind, found.id, found.aspect, found.specificState].join(" · ");
    }
    property bool panelMode: true
    property real signalSize: 64
    readonly property var tracks: feed.tracks
    readonly property var trains: feed.trains
    readonly property var stations: [allStations].concat(feed.stations)
    property string stationFilter: ""
    // The name of the chosen station, shown while the game's station list does not hold it
    // (before the first map after a reconnection), so that the chooser never hides the filter.
    property string stationFilterName: ""
    property var visibleTracks: tracks

    readonly property var allStations: ({ "id": "", "name": "Toutes les gares" })

    width: 1440
    height: 900
    minimumWidth: 1060
    minimumHeight: 650
    visible: true
    title: "Zorvy TCO — observation du réseau"
    color: "#0b1117"
    font.family: "Segoe UI"
    palette.windowText: "#d6e1eb"
    palette.text: "#d6e1eb"
    palette.buttonText: "#d6e1eb"
    palette.button: "#243443"
    palette.base: "#14202b"
    palette.highlight: "#58c4c7"
    // Pop-ups (drop-down lists, the train picker, tool tips) on the dark theme too: light text
    // on a dark surface, white on the highlighted row, light drop-down arrows.
    palette.window: "#14202b"
    palette.light: "#2f4a5e"
    palette.midlight: "#2a3d4d"
    palette.mid: "#38493f"
    palette.dark: "#d6e1eb"
    palette.highlightedText: "#ffffff"
    palette.toolTipBase: "#14202b"
    palette.toolTipText: "#d6e1eb"

    property bool built: false
    Component.onCompleted: built = true

    // The list keeps its rows from one map to the next; a new view starts again at its top.
    property bool scrollListToTop: false

    function updateView(page) {
        backend.setView(scope.currentIndex, stationFilter, selectedTrack, page);
        scrollListToTop = true;
    }

    function chooseTrainCard(train) {
        backend.selectTrain(train.id);
        selectedTrain = train.id || "";
        selectedTrack = train.track || "";
        stationFilter = "";
        scope.currentIndex = 3;
    }

    // A train chosen on the map: selected by id, its card brought into view.
    function chooseTrainOnMap(trainId) {
        backend.selectTrain(trainId);
        selectedTrain = trainId;
        followSelectedTrain();
        const row = feed.trainRow(trainId);
        if (row >= 0)
            trainList.positionViewAtIndex(row, ListView.Contain);
    }

    // The "Sélection" scope shows the selected train's current track.
    function followSelectedTrain() {
        if (selectedTrain === "" || scope.currentIndex !== 3)
            return;
        const train = feed.findTrain(selectedTrain);
        if (train.positioned === true && train.track && train.track !== selectedTrack)
            selectedTrack = train.track;
    }

    function chooseStation(index) {
        const entry = stations[index];
        stationFilterName = entry.id ? entry.name : "";
        stationFilter = entry.id;
    }

    // The station chooser shows the filter that the view applies. A filter on a station that the
    // game no longer has (another game, a restarted one) is dropped once live data say so.
    function syncStationChooser() {
        const index = stations.findIndex(entry => entry.id === stationFilter);
        if (index >= 0) {
            station.currentIndex = index;
        } else if (feed.live) {
            stationFilterName = "";
            stationFilter = "";
        } else {
            station.currentIndex = -1;
        }
    }

    onSelectedTrackChanged: updateView(0)
    onStationFilterChanged: {
        syncStationChooser();
        updateView(0);
    }
    onLiveChanged: {
        if (scrollListToTop && live.live) {
            scrollListToTop = false;
            board.positionViewAtBeginning();
        }
    }

    LiveFeed {
        id: feed
        source: window.backend
        // After the station chooser has taken the new station list as its model.
        onChanged: {
            window.syncStationChooser();
            if (!feed.live) {
                window.selectedSignal = "";
                window.selectedTrack = "";
            } else {
                // The Backend's own selection (a train chosen before, or chosen for it) wins.
                const selected = feed.data.selectedTrainId || "";
                if (selected !== "")
                    window.selectedTrain = selected;
                window.followSelectedTrain();
            }
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 18

        // Header
        RowLayout {
            Layout.fillWidth: true
            spacing: 14

            Rectangle {
                Layout.preferredWidth: 42
                Layout.preferredHeight: 42
                radius: 7
                color: "#143d41"
                Text {
                    anchors.centerIn: parent
                    text: "ZR"
                    color: "#75e3df"
                    font.bold: true
                    font.pixelSize: 20
                }
            }

            ColumnLayout {
                spacing: 0
                Text {
                    text: "ZORVY / TCO"
                    font.pixelSize: 24
                    font.weight: Font.DemiBold
                    color: "#edf5fa"
                }
                Text {
                    text: "TABLEAU DE CONTRÔLE OPTIQUE · LABORATOIRE SDK"
                    font.pixelSize: 10
                    font.letterSpacing: 1.5
                    color: "#8a9ba9"
                }
            }

            Item {
                Layout.fillWidth: true
            }

            Rectangle {
                objectName: "liveBadge"
                Layout.preferredWidth: 116
                Layout.preferredHeight: 30
                radius: 15
                color: live.live ? "#173c33" : "#3e3121"
                Text {
                    objectName: "liveBadgeText"
                    anchors.centerIn: parent
                    text: live.live ? "●  EN DIRECT" : "●  EN ATTENTE"
                    color: live.live ? "#7bdbae" : "#efbe72"
                    font.pixelSize: 11
                    font.bold: true
                }
            }

            TextField {
                id: pid
                objectName: "pid"
                Layout.preferredWidth: 142
                placeholderText: "PID · auto si vide"
                placeholderTextColor: "#6f8496"
                selectByMouse: true
                // A process id is a positive whole number: nothing else can be typed.
                validator: RegularExpressionValidator {
                    regularExpression: /[0-9]{0,10}/
                }
                inputMethodHints: Qt.ImhDigitsOnly
                onAccepted: backend.connectGame(text)
            }

            Button {
                objectName: "connectButton"
                text: "Connecter"
                onClicked: backend.connectGame(pid.text)
            }

            Button {
                objectName: "disconnectButton"
                text: "Déconnecter"
                onClicked: backend.disconnectGame()
            }
        }

        // Counters
        RowLayout {
            Layout.fillWidth: true
            spacing: 14

            Repeater {
                model: [
                    { "label": "CIRCULATIONS", "accent": "#f1bf70" },
                    { "label": "SEGMENTS DE VOIE", "accent": "#68d2d0" },
                    { "label": "GARES", "accent": "#a6b3d6" },
                    { "label": "SIGNAUX / BALISES", "accent": "#68d2d0" }
                ]
                delegate: Rectangle {
                    required property var modelData
                    required property int index
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 80
                    radius: 8
                    color: "#141e28"
                    border.color: "#26333f"

                    Column {
                        x: 18
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 5
                        Text {
                            text: modelData.label
                            font.pixelSize: 10
                            font.letterSpacing: 1
                            color: "#8fa2b3"
                        }
                        Text {
                            objectName: "counter" + index
                            text: {
                                switch (index) {
                                case 0:
                                    return String(live.trainCount || 0);
                                case 1:
                                    return String(live.trackCount || 0);
                                case 2:
                                    return String(live.stationCount || 0);
                                default:
                                    return (live.signalCount || 0) + " / " + (live.baliseCount || 0);
                                }
                            }
                            font.pixelSize: 26
                            font.weight: Font.DemiBold
                            color: modelData.accent
                        }
                    }
                }
            }
        }

        // Body
        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 18

            // Train column
            Rectangle {
                Layout.preferredWidth: 252
                Layout.fillHeight: true
                color: "#111b24"
                radius: 8
                border.color: "#26333f"

                ColumnLayout {
                    anchors.fill: parent
                    anchors.margins: 16
                    spacing: 16

                    Text {
                        text: "CIRCULATIONS"
                        font.bold: true
                        font.pixelSize: 12
                        font.letterSpacing: 1
                        color: "#a6b7c7"
                    }
                    Text {
                        Layout.fillWidth: true
                        text: "Choisir un train pour afficher ses réservations."
                        wrapMode: Text.WordWrap
                        font.pixelSize: 11
                        color: "#8095a8"
                    }

                    ListView {
                        id: trainList
                        objectName: "trainList"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        clip: true
                        spacing: 8
                        model: window.trains
                        delegate: Rectangle {
                            id: card
                            required property var modelData
                            readonly property bool highlighted: window.selectedTrain !== ""
                                                                && window.selectedTrain === modelData.id
                            objectName: "trainCard"
                            width: ListView.view.width
                            height: 92
                            radius: 6
                            color: highlighted ? "#233a43" : "#1a2733"
                            border.color: highlighted ? "#68d2d0" : "#263c4c"

                            Column {
                                anchors.fill: parent
                                anchors.margins: 12
                                spacing: 6
                                Text {
                                    width: parent.width
                                    elide: Text.ElideRight
                                    text: card.modelData.name || ""
                                    font.bold: true
                                    font.pixelSize: 14
                                    color: "#e7edf3"
                                }
                                Text {
                                    objectName: "trainSpeed"
                                    text: card.modelData.present
                                          ? Number(card.modelData.speed || 0).toFixed(1) + " km/h"
                                          : "Vitesse indisponible"
                                    font.pixelSize: 16
                                    color: "#efbe72"
                                }
                                Text {
                                    objectName: "trainTrack"
                                    width: parent.width
                                    elide: Text.ElideRight
                                    text: card.modelData.positioned
                                          ? "Voie …" + String(card.modelData.track || "").slice(-8)
                                          : "Non localisé dans les états validés"
                                    font.pixelSize: 10
                                    color: "#8c9fac"
                                }
                            }

                            MouseArea {
                                anchors.fill: parent
                                cursorShape: Qt.PointingHandCursor
                                onClicked: window.chooseTrainCard(card.modelData)
                            }
                        }
                    }

                    Rectangle {
                        Layout.fillWidth: true
                        Layout.preferredHeight: 104
                        color: "#182a32"
                        radius: 6
                        Text {
                            anchors.fill: parent
                            anchors.margins: 12
                            wrapMode: Text.WordWrap
                            font.pixelSize: 11
                            color: "#9fb9c7"
                            text: "LECTURE SEULE\n\nLe panneau associe les symboles à leur voie. L’occupation des cantons reste inconnue."
                        }
                    }
                }
            }

            // Synoptic area
            Rectangle {
                Layout.fillWidth: true
                Layout.fillHeight: true
                color: "#0f1922"
                radius: 8
                border.color: "#26333f"

                ColumnLayout {
                    anchors.fill: parent
                    anchors.margins: 18
                    spacing: 12

                    RowLayout {
                        Layout.fillWidth: true
                        Text {
                            text: "SYNOPTIQUE"
                            font.pixelSize: 15
                            font.bold: true
                            font.letterSpacing: 1
                            color: "#dce5ec"
                        }
                        Button {
                            objectName: "modeButton"
                            text: window.panelMode ? "Liste" : "Panneau TCO"
                            onClicked: window.panelMode = !window.panelMode
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        ComboBox {
                            id: scope
                            objectName: "scope"
                            visible: !window.panelMode
                            Layout.preferredWidth: 158
                            model: ["Circulations", "Avec signaux", "Toutes les voies", "Sélection"]
                            // Not for the first index the chooser takes while the window is built.
                            onCurrentIndexChanged: if (window.built) window.updateView(0)
                        }
                        ComboBox {
                            id: station
                            objectName: "station"
                            visible: !window.panelMode
                            Layout.preferredWidth: 200
                            model: window.stations
                            textRole: "name"
                            displayText: currentIndex < 0 ? window.stationFilterName : currentText
                            onActivated: index => window.chooseStation(index)
                        }
                        ComboBox {
                            id: symbols
                            objectName: "symbols"
                            visible: !window.panelMode
                            Layout.preferredWidth: 142
                            model: ["Symboles TCO", "Contraste élevé"]
                        }
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        Text {
                            objectName: "caption"
                            Layout.fillWidth: true
                            elide: Text.ElideRight
                            font.pixelSize: 12
                            color: "#91a6b9"
                            text: window.panelMode
                                  ? "Carte entière · caméra libre · capture " + (live.captureMs || 0) + " ms"
                                  : "Segments indépendants · positions en fraction de voie"
                        }
                        Button {
                            objectName: "previousPage"
                            Layout.preferredWidth: 36
                            visible: !window.panelMode
                            text: "‹"
                            enabled: (live.page || 0) > 0
                            onClicked: window.updateView((live.page || 0) - 1)
                        }
                        Text {
                            objectName: "pagerText"
                            visible: !window.panelMode
                            color: "#91a6b9"
                            text: ((live.page || 0) + 1) + " / " + (live.pages || 1) + " · "
                                  + (live.filteredCount || 0) + " voies"
                        }
                        Button {
                            objectName: "nextPage"
                            Layout.preferredWidth: 36
                            visible: !window.panelMode
                            text: "›"
                            enabled: (live.page || 0) + 1 < (live.pages || 1)
                            onClicked: window.updateView((live.page || 0) + 1)
                        }
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 12
                        Text {
                            text: "━  Voie observée"
                            font.pixelSize: 11
                            color: "#b8c7d2"
                        }
                        Text {
                            text: "▰  Train"
                            font.pixelSize: 11
                            color: "#efbe72"
                        }
                        Text {
                            text: "Signaux : textures natives"
                            font.pixelSize: 11
                            color: "#74c4e8"
                        }
                        Text {
                            text: "◇  Balise"
                            font.pixelSize: 11
                            color: "#c5b8ef"
                        }
                        Text {
                            text: "M  Repère"
                            font.pixelSize: 11
                            color: "#e6c789"
                        }
                        Item {
                            Layout.fillWidth: true
                        }
                        Text {
                            text: "Taille : " + Math.round(window.signalSize)
                            font.pixelSize: 11
                            color: "#b8c7d2"
                        }
                        Slider {
                            objectName: "sizeSlider"
                            Layout.preferredWidth: 110
                            from: 24
                            to: 96
                            stepSize: 4
                            value: window.signalSize
                            onMoved: window.signalSize = value
                        }
                    }

                    Item {
                        Layout.fillWidth: true
                        Layout.fillHeight: true

                        Panel {
                            id: panel
                            objectName: "panel"
                            anchors.fill: parent
                            visible: window.panelMode
                            liveData: window.live
                            dataSource: window.backend
                            reservationCount: feed.reservationCount
                            occupationCount: feed.occupationCount
                            signalSize: window.signalSize
                            onTrainSelected: trainId => window.chooseTrainOnMap(trainId)
                        }

                        ListView {
                            id: board
                            objectName: "board"
                            anchors.fill: parent
                            visible: !window.panelMode
                            clip: true
                            spacing: 10
                            model: window.visibleTracks
                            ScrollBar.vertical: ScrollBar {}
                            delegate: Rectangle {
                                id: row
                                required property var modelData
                                readonly property bool contrast: symbols.currentIndex === 1
                                width: ListView.view.width - 12
                                height: 188
                                radius: 5
                                color: "#14212c"
                                border.color: window.selectedTrack === modelData.id ? "#4c9296" : "#263746"

                                Row {
                                    x: 12
                                    y: 12
                                    spacing: 16
                                    Text {
                                        text: "VOIE " + (row.modelData.id || "")
                                        font.family: "Consolas"
                                        font.pixelSize: 11
                                        color: "#93abbc"
                                    }
                                    Text {
                                        text: row.modelData.station || ""
                                        font.pixelSize: 11
                                        color: "#c3d2dd"
                                    }
                                    Text {
                                        text: Number(row.modelData.limit || 0).toFixed(0) + " km/h"
                                        font.pixelSize: 11
                                        color: "#8095a8"
                                    }
                                }

                                Item {
                                    id: rail
                                    x: 52
                                    y: 132
                                    width: row.width - 104
                                    height: 8

                                    Rectangle {
                                        width: parent.width
                                        height: row.contrast ? 6 : 3
                                        anchors.verticalCenter: parent.verticalCenter
                                        color: "#b9c8d3"
                                    }
                                    Rectangle {
                                        x: 0
                                        y: -5
                                        width: 2
                                        height: 18
                                        color: "#dce7ec"
                                    }
                                    Rectangle {
                                        x: parent.width - width
                                        y: -5
                                        width: 2
                                        height: 18
                                        color: "#dce7ec"
                                    }

                                    Repeater {
                                        model: row.modelData.signals || []
                                        delegate: Item {
                                            id: marker
                                            required property var modelData
                                            readonly property real size: window.signalSize
                                            x: (modelData.fraction || 0) * rail.width
                                            y: -28
                                            width: 24
                                            height: 52

                                            Image {
                                                id: image
                                                x: -marker.size / 2
                                                y: 24 - marker.size
                                                width: marker.size
                                                height: marker.size
                                                source: marker.modelData.textureUrl || ""
                                                sourceSize: Qt.size(192, 192)
                                                fillMode: Image.PreserveAspectFit
                                                asynchronous: false
                                            }

                                            Item {
                                                objectName: "drawnSymbol"
                                                visible: image.status !== Image.Ready
                                                Rectangle {
                                                    x: 0
                                                    y: 15
                                                    width: 2
                                                    height: 17
                                                    color: "#758ea1"
                                                }
                                                Rectangle {
                                                    x: -7
                                                    y: 0
                                                    width: 16
                                                    height: 16
                                                    color: "#14212c"
                                                    border.width: row.contrast ? 3 : 2
                                                    border.color: marker.modelData.balise ? "#c5b8ef" : "#74c4e8"
                                                    radius: (marker.modelData.balise || marker.modelData.marker) ? 0 : 8
                                                    rotation: marker.modelData.balise ? 45 : 0
                                                }
                                                Text {
                                                    visible: marker.modelData.marker === true
                                                    x: -4
                                                    y: 0
                                                    text: "M"
                                                    font.pixelSize: 12
                                                    color: "#e6c789"
                                                }
                                                Text {
                                                    x: -18
                                                    y: -18
                                                    text: marker.modelData.aspect || ""
                                                    font.pixelSize: 9
                                                    color: "#b9c8d3"
                                                }
                                            }

                                            MouseArea {
                                                id: signalZone
                                                objectName: "signalZone"
                                                x: -marker.size / 2
                                                y: 24 - marker.size
                                                width: marker.size
                                                height: marker.size + 12
                                                hoverEnabled: true
                                                cursorShape: Qt.PointingHandCursor
                                                onClicked: window.selectedSignal = marker.modelData.id
                                                ToolTip.visible: containsMouse
                                                ToolTip.text: [marker.modelData.kind, marker.modelData.id,
                                                    marker.modelData.aspect + " · sens " + marker.modelData.direction,
                                                    marker.modelData.specificState].join("\n")
                                            }
                                        }
                                    }

                                    Repeater {
                                        model: row.modelData.trains || []
                                        delegate: Item {
                                            id: trainMarker
                                            required property var modelData
                                            x: (modelData.fraction || 0) * rail.width
                                            Rectangle {
                                                x: -13
                                                y: -5
                                                width: 26
                                                height: 13
                                                radius: 2
                                                color: "#efbe72"
                                                border.color: "#ffe4ae"
                                            }
                                            Text {
                                                x: -48
                                                y: 17
                                                width: 96
                                                horizontalAlignment: Text.AlignHCenter
                                                elide: Text.ElideRight
                                                text: trainMarker.modelData.name || ""
                                                font.pixelSize: 11
                                                font.bold: true
                                                color: "#f4cc8b"
                                            }
                                            Text {
                                                x: -45
                                                y: -57
                                                width: 90
                                                horizontalAlignment: Text.AlignHCenter
                                                text: ((trainMarker.modelData.direction || 0) > 0 ? "→ " : "← ")
                                                      + Number(trainMarker.modelData.speed || 0).toFixed(1) + " km/h"
                                                font.pixelSize: 11
                                                color: "#efbe72"
                                            }
                                        }
                                    }
                                }
                            }
                        }

                        Text {
                            objectName: "emptyListText"
                            anchors.centerIn: parent
                            visible: !window.panelMode && board.count === 0
                            font.pixelSize: 17
                            color: "#8fa4b7"
                            text: live.live ? "Aucune voie pour ce filtre" : "En attente de données du jeu"
                        }
                    }

                    Text {
                        objectName: "signalLine"
                        Layout.fillWidth: true
                        elide: Text.ElideRight
                        font.pixelSize: 11
                        color: "#869dad"
                        text: window.selectedSignalText !== ""
                              ? window.selectedSignalText
                              : "Voies et positions observées · états natifs des signaux dans la liste"
                    }
                }
            }
        }

        // Footer
        RowLayout {
            Layout.fillWidth: true
            spacing: 14
            Text {
                objectName: "statusText"
                Layout.fillWidth: true
                elide: Text.ElideRight
                font.pixelSize: 12
                color: live.live ? "#7bdbae" : "#efbe72"
                text: live.status || "Déconnecté"
            }
            Text {
                objectName: "updateStatus"
                font.pixelSize: 11
                color: "#91a6b9"
                text: updater.status || ""
            }
            // The check may end where it started (no server configured, nothing new): the time of
            // the last check asked for by hand says that the click was heard.
            Text {
                id: updateCheckNote
                objectName: "updateCheckNote"
                property string checkedAt: ""
                visible: checkedAt !== ""
                font.pixelSize: 11
                color: "#91a6b9"
                text: "· vérifié à " + checkedAt
            }
            Button {
                objectName: "updateButton"
                text: updater.ready ? "Redémarrer et mettre à jour" : "Vérifier les mises à jour"
                onClicked: {
                    if (updater.ready) {
                        updater.restart();
                    } else {
                        updater.check();
                        updateCheckNote.checkedAt = Qt.formatTime(new Date(), "hh:mm:ss");
                    }
                }
            }
            Text {
                objectName: "versionLine"
                font.pixelSize: 11
                color: "#758b9c"
                text: "ZorvyRailsSDK 0.6 · observation expérimentale · " + (live.updated || "--:--:--")
            }
        }
    }
}
