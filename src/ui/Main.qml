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
        if (window.selectedSignal === "")
            return "";
        const found = feed.findSignal(window.selectedSignal);
        if (found.id === undefined)
            return "Signal hors de la vue courante";
        return [found.kind, found.id, found.aspect, found.specificState].join(" · ");
    }
    // Both start as the user left them (the specified defaults on a first start).
    property bool panelMode: WindowPreferences.panelMode
    property real signalSize: WindowPreferences.signalSize
    readonly property var tracks: feed.tracks
    readonly property var trains: feed.trains
    readonly property var stations: feed.stationChoices
    property string stationFilter: ""
    // The name of the chosen station, shown while the game's station list does not hold it
    // (before the first map after a reconnection), so that the chooser never hides the filter.
    property string stationFilterName: ""
    property var visibleTracks: tracks

    width: Theme.windowWidth
    height: Theme.windowHeight
    minimumWidth: Theme.minimumWindowWidth
    minimumHeight: Theme.minimumWindowHeight
    visible: true
    title: "Zorvy TCO — observation du réseau"
    color: Theme.windowBackground
    font.family: Theme.uiFont
    palette.windowText: Theme.text
    palette.text: Theme.text
    palette.buttonText: Theme.text
    palette.button: Theme.button
    palette.base: Theme.base
    palette.highlight: Theme.highlight
    palette.window: Theme.popupSurface
    palette.light: Theme.popupLight
    palette.midlight: Theme.popupMidlight
    palette.mid: Theme.popupMid
    palette.dark: Theme.popupIndicator
    palette.highlightedText: Theme.highlightedText
    palette.toolTipBase: Theme.popupSurface
    palette.toolTipText: Theme.text

    // Pixels by which an arrow key moves the map.
    readonly property real panStep: 80

    property bool built: false
    // The place, the size and the list's view as the user left them; the new view goes to the
    // Backend at once.
    Component.onCompleted: {
        const geometry = WindowPreferences.geometry;
        if (geometry.width > 0) {
            window.x = geometry.x;
            window.y = geometry.y;
            window.width = geometry.width;
            window.height = geometry.height;
        }
        synoptic.scope.currentIndex = WindowPreferences.scope;
        window.stationFilterName = WindowPreferences.stationName;
        window.stationFilter = WindowPreferences.station;
        window.built = true;
        if (synoptic.scope.currentIndex !== 0)
            window.updateView(0);
    }
    function rememberGeometry() {
        if (window.built && window.visibility === Window.Windowed)
            WindowPreferences.setGeometry(window.x, window.y, window.width, window.height);
    }
    onXChanged: window.rememberGeometry()
    onYChanged: window.rememberGeometry()
    onWidthChanged: window.rememberGeometry()
    onHeightChanged: window.rememberGeometry()
    onClosing: window.rememberGeometry()
    onPanelModeChanged: WindowPreferences.panelMode = window.panelMode
    onSignalSizeChanged: WindowPreferences.signalSize = window.signalSize

    // The list keeps its rows from one map to the next; a new view starts again at its top.
    property bool scrollListToTop: false

    function updateView(page: int) {
        window.backend.setView(synoptic.scope.currentIndex, window.stationFilter, window.selectedTrack, page);
        window.scrollListToTop = true;
    }

    function chooseTrainCard(train: var) {
        window.backend.selectTrain(train.id);
        window.selectedTrain = train.id || "";
        window.selectedTrack = train.track || "";
        window.stationFilter = "";
        synoptic.scope.currentIndex = 3;
        // The Backend has taken the train's track at once: the map can go there now.
        if (window.panelMode)
            synoptic.panel.centreTrain();
    }

    // Escape: no train, no track, no signal.
    function clearSelection() {
        if (window.selectedTrain !== "")
            window.backend.selectTrain("");
        window.selectedTrain = "";
        window.selectedTrack = "";
        window.selectedSignal = "";
    }

    // Page Up and Page Down: the list that is shown beside the map or instead of it.
    function pageList(direction: int) {
        const list = window.panelMode ? trainColumn.list : synoptic.board;
        const bottom = Math.max(list.originY, list.originY + list.contentHeight - list.height);
        list.contentY = Math.max(list.originY, Math.min(bottom, list.contentY + direction * list.height));
    }

    // A train chosen on the map: selected by id, its card brought into view.
    function chooseTrainOnMap(trainId: string) {
        window.backend.selectTrain(trainId);
        window.selectedTrain = trainId;
        window.followSelectedTrain();
        trainColumn.showRow(feed.trainRow(trainId));
    }

    // The "Sélection" scope shows the selected train's current track.
    function followSelectedTrain() {
        if (window.selectedTrain === "" || synoptic.scope.currentIndex !== 3)
            return;
        const track = feed.trainTrack(window.selectedTrain);
        if (track !== "" && track !== window.selectedTrack)
            window.selectedTrack = track;
    }

    function chooseStation(index: int) {
        const entry = window.stations[index];
        window.stationFilterName = entry.id ? entry.name : "";
        window.stationFilter = entry.id;
    }

    // The station chooser shows the filter that the view applies. A filter on a station that the
    // game no longer has (another game, a restarted one) is dropped once live data say so.
    function syncStationChooser() {
        const index = feed.stationChoiceIndex(window.stationFilter);
        if (index >= 0) {
            synoptic.station.currentIndex = index;
        } else if (feed.live) {
            window.stationFilterName = "";
            window.stationFilter = "";
        } else {
            synoptic.station.currentIndex = -1;
        }
    }

    onSelectedTrackChanged: window.updateView(0)
    onStationFilterChanged: {
        window.syncStationChooser();
        WindowPreferences.setStation(window.stationFilter, window.stationFilterName);
        window.updateView(0);
    }
    onLiveChanged: {
        if (window.scrollListToTop && feed.live) {
            window.scrollListToTop = false;
            synoptic.board.positionViewAtBeginning();
        }
    }

    // Keys of the map (while it is shown) and of the lists.
    Shortcut {
        sequences: ["+", "=", "Ctrl++"]
        enabled: window.panelMode
        onActivated: synoptic.panel.zoomBy(1.3)
    }
    Shortcut {
        sequences: ["-", "Ctrl+-"]
        enabled: window.panelMode
        onActivated: synoptic.panel.zoomBy(1 / 1.3)
    }
    Shortcut {
        sequence: "Left"
        enabled: window.panelMode
        onActivated: synoptic.panel.pan(window.panStep, 0)
    }
    Shortcut {
        sequence: "Right"
        enabled: window.panelMode
        onActivated: synoptic.panel.pan(-window.panStep, 0)
    }
    Shortcut {
        sequence: "Up"
        enabled: window.panelMode
        onActivated: synoptic.panel.pan(0, window.panStep)
    }
    Shortcut {
        sequence: "Down"
        enabled: window.panelMode
        onActivated: synoptic.panel.pan(0, -window.panStep)
    }
    Shortcut {
        sequence: "F"
        enabled: window.panelMode
        onActivated: synoptic.panel.fitAll()
    }
    Shortcut {
        sequence: "C"
        enabled: window.panelMode
        onActivated: synoptic.panel.centreTrain()
    }
    Shortcut {
        sequence: "S"
        enabled: window.panelMode
        onActivated: {
            synoptic.panel.following = !synoptic.panel.following;
            if (synoptic.panel.following)
                synoptic.panel.centreTrain();
        }
    }
    Shortcut {
        sequence: "Ctrl+F"
        onActivated: {
            trainColumn.searchField.forceActiveFocus();
            trainColumn.searchField.selectAll();
        }
    }
    Shortcut {
        sequence: "PgUp"
        onActivated: window.pageList(-1)
    }
    Shortcut {
        sequence: "PgDown"
        onActivated: window.pageList(1)
    }
    // Escape empties the search field it is typed in, and otherwise clears the selection.
    Shortcut {
        sequence: "Esc"
        onActivated: {
            const search = trainColumn.searchField;
            if (search.activeFocus && search.text !== "")
                search.clear();
            else
                window.clearSelection();
        }
    }

    LiveFeed {
        id: feed
        source: window.backend
        trainSearch: trainColumn.searchText
        trainOrder: trainColumn.order
        // After the station chooser has taken the new station list as its model.
        onChanged: {
            window.syncStationChooser();
            if (!feed.live) {
                window.selectedSignal = "";
                window.selectedTrack = "";
            } else {
                // The Backend's own selection (a train chosen before, or chosen for it) wins.
                if (feed.selectedTrainId !== "")
                    window.selectedTrain = feed.selectedTrainId;
                window.followSelectedTrain();
            }
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Theme.outerMargin
        spacing: Theme.rowSpacing

        HeaderBar {
            id: header
            Layout.fillWidth: true
            live: feed.live
            onConnectRequested: pid => window.backend.connectGame(pid)
            onDisconnectRequested: window.backend.disconnectGame()
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 14

            CounterTile {
                label: "CIRCULATIONS"
                valueName: "counter0"
                value: String(window.live.trainCount || 0)
                accent: Theme.trainsAccent
            }
            CounterTile {
                label: "SEGMENTS DE VOIE"
                valueName: "counter1"
                value: String(window.live.trackCount || 0)
                accent: Theme.tracksAccent
            }
            CounterTile {
                label: "GARES"
                valueName: "counter2"
                value: String(window.live.stationCount || 0)
                accent: Theme.stationsAccent
            }
            CounterTile {
                label: "SIGNAUX / BALISES"
                valueName: "counter3"
                value: (window.live.signalCount || 0) + " / " + (window.live.baliseCount || 0)
                accent: Theme.signalsAccent
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: Theme.rowSpacing

            TrainColumn {
                id: trainColumn
                trains: window.trains
                selectedTrain: window.selectedTrain
                onTrainChosen: train => window.chooseTrainCard(train)
            }

            SynopticArea {
                id: synoptic
                live: window.live
                dataSource: window.backend
                reservationCount: feed.reservationCount
                occupationCount: feed.occupationCount
                panelMode: window.panelMode
                signalSize: window.signalSize
                tracks: window.visibleTracks
                stations: window.stations
                stationFilterName: window.stationFilterName
                selectedTrack: window.selectedTrack
                selectedSignalText: window.selectedSignalText
                onModeToggled: window.panelMode = !window.panelMode
                onSignalSizeMoved: size => window.signalSize = size
                // Not for the first index the chooser takes while the window is built.
                onScopeChosen: index => {
                    if (!window.built)
                        return;
                    WindowPreferences.scope = index;
                    window.updateView(0);
                }
                onStationActivated: index => window.chooseStation(index)
                onPageRequested: page => window.updateView(page)
                onSignalChosen: signalId => window.selectedSignal = signalId
                onTrainSelected: trainId => window.chooseTrainOnMap(trainId)
            }
        }

        FooterBar {
            Layout.fillWidth: true
            live: window.live
            updater: window.updater
            onGameChosen: pid => {
                header.pidField.text = pid;
                window.backend.connectGame(pid);
            }
        }
    }
}
