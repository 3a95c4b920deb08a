import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import ZorvyTco

ApplicationWindow {
    id: window

    required property var backend
    required property var updater
    // The recording shown instead of the live game (null: live) and the recorder of the session
    // (null: not recording).
    property var replay: null
    property var recorder: null
    // The black box (a Recorder keeping the last minutes beside the window's recording; null: none).
    property var blackBox: null
    // The recordings of the window (RecordingShelf): the list, and a recording opened there, which
    // the window shows through its own Backend while the live game goes on (null: none).
    property var recordings: null
    // What the window shows: the recording opened in the window, or what the command line chose.
    readonly property var shownBackend: window.recordings && window.recordings.backend
                                        ? window.recordings.backend : window.backend
    readonly property var shownReplay: window.recordings && window.recordings.replay
                                       ? window.recordings.replay : window.replay

    // The data map of the Backend, re-read at every changed(); the trains and the tracks of the
    // current page come as list models that update in place (see LiveFeed).
    property var live: feed.data
    property alias selectedTrack: selection.track
    // The train chosen on a card or on the map, by its id.
    property alias selectedTrain: selection.train
    property alias selectedSignal: selection.signalId
    readonly property alias selectedSignalText: selection.signalText
    // Both start as the user left them (the specified defaults on a first start).
    property bool panelMode: WindowPreferences.panelMode
    property real signalSize: WindowPreferences.signalSize
    // "Carte seule" (remembered), for the map only.
    readonly property bool mapAlone: WindowPreferences.mapOnly && window.panelMode
    readonly property var tracks: feed.tracks
    readonly property var trains: feed.trains
    readonly property var stations: feed.stationChoices
    property alias stationFilter: selection.stationFilter
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

    // The place, the size and the list's view as the user left them; the new view goes to the
    // Backend at once.
    Component.onCompleted: {
        memory.restore();
        window.backend.setAlertDelay(WindowPreferences.alertDelay);
        selection.ready = true;
        if (selection.scope !== ListScope.Trains)
            selection.requestView(0);
    }

    // A recording opened or closed: the Backend now shown gets the alert delay (and the view from
    // the selection).
    onShownBackendChanged: {
        if (selection.ready && window.shownBackend)
            window.shownBackend.setAlertDelay(WindowPreferences.alertDelay);
    }

    // The list keeps its rows from one map to the next; a new view starts again at its top.
    property bool scrollListToTop: false
    onLiveChanged: {
        if (window.scrollListToTop && feed.live) {
            window.scrollListToTop = false;
            synoptic.board.positionViewAtBeginning();
        }
    }

    LiveFeed {
        id: feed
        source: window.shownBackend
        trainSearch: trainColumn.searchText
        trainOrder: trainColumn.order
        // After the station chooser has taken the new station list as its model.
        onChanged: selection.takeMap()
    }

    Selection {
        id: selection
        backend: window.shownBackend
        feed: feed
        onViewRequested: window.scrollListToTop = true
        onScopeShown: scope => synoptic.scope.currentIndex = scope
        onStationShown: index => synoptic.station.currentIndex = index
    }

    WindowMemory {
        id: memory
        window: window
        selection: selection
        panelMode: window.panelMode
        signalSize: window.signalSize
    }

    // Selects the train with this id (in the list too) and takes the map to it.
    function chooseTrainById(trainId) {
        selection.chooseTrain({ id: trainId, track: feed.trainTrack(trainId) });
        trainColumn.showRow(feed.trainRow(trainId));
        if (window.panelMode)
            synoptic.panel.centreTrain();
    }

    TrainDetails {
        id: details
        // Over the lower right of the map, clear of the header and the map's toolbar.
        x: window.width - width - Theme.outerMargin - Theme.detailsInset
        y: Math.max(Theme.outerMargin, window.height - height - Theme.detailsBottom)
        details: feed.trainDetails
        onTrainChosen: trainId => window.chooseTrainById(trainId)
    }

    Shortcuts {
        details: details
        onDetailsRequested: {
            if (details.opened)
                details.close();
            else if (selection.train !== "")
                details.open();
        }
        panel: synoptic.panel
        mapShown: window.panelMode
        searchField: trainColumn.searchField
        shownList: window.panelMode ? trainColumn.list : synoptic.board
        paged: !window.panelMode
        page: window.live.page || 0
        pages: window.live.pages || 1
        onPageRequested: page => selection.requestView(page)
        onClearRequested: selection.clear()
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: window.mapAlone ? 0 : Theme.outerMargin
        spacing: window.mapAlone ? 0 : Theme.rowSpacing

        HeaderBar {
            id: header
            visible: !window.mapAlone
            Layout.fillWidth: true
            live: feed.live
            replaying: !!window.shownReplay
            onConnectRequested: pid => window.backend.connectGame(pid)
            onDisconnectRequested: window.backend.disconnectGame()
        }

        // While a recording is shown its time bar and the recording buttons share one row where
        // the window is wide enough, so that a replay leaves the map the room it has live.
        GridLayout {
            id: recordingRow
            readonly property bool shareRow: width >= Theme.replayBarMinWidth + recordControl.implicitWidth + columnSpacing
            Layout.fillWidth: true
            columns: !!window.shownReplay && !recordingRow.shareRow ? 1 : 2
            columnSpacing: 10
            rowSpacing: Theme.rowSpacing
            // Not from its items' visible, which follows its own.
            visible: !!window.shownReplay || recordControl.wanted

            ReplayBar {
                id: replayBar
                Layout.fillWidth: true
                replay: window.shownReplay
                visible: !!window.shownReplay
            }

            RecordControl {
                id: recordControl
                Layout.fillWidth: !window.shownReplay || !recordingRow.shareRow
                compact: !!window.shownReplay
                recorder: window.recorder
                blackBox: window.blackBox
                recordings: window.recordings
                liveBehind: !window.replay
                readonly property bool wanted: (!!window.recorder || !!window.recordings) && !window.mapAlone
                visible: wanted
            }
        }

        RowLayout {
            Layout.fillWidth: true
            visible: !window.mapAlone
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
            StateCounters {
                counts: window.live.attentionCounts || ({})
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: Theme.rowSpacing

            // The trains or the alerts, by tab (remembered), and the selected train's details.
            ColumnLayout {
                visible: !window.mapAlone
                Layout.preferredWidth: Theme.sideColumnWidth
                Layout.maximumWidth: Theme.sideColumnWidth
                Layout.fillHeight: true
                spacing: 8

                SideTabs {
                    id: sideTabs
                    alerts: window.shownBackend ? window.shownBackend.alerts || [] : []
                    currentIndex: WindowPreferences.sideTab
                    onCurrentIndexChanged: WindowPreferences.sideTab = currentIndex
                }

                StackLayout {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    currentIndex: sideTabs.currentIndex

                    TrainColumn {
                        id: trainColumn
                        trains: window.trains
                        selectedTrain: selection.train
                        onTrainChosen: train => {
                            selection.chooseTrain(train);
                            // The Backend has taken the train's track at once: the map can go there now.
                            if (window.panelMode)
                                synoptic.panel.centreTrain();
                        }
                    }

                    AlertColumn {
                        alerts: window.shownBackend ? window.shownBackend.alerts || [] : []
                        now: window.live.updated, Date.now()
                        delay: WindowPreferences.alertDelay
                        kinds: WindowPreferences.alertKinds
                        onDelayChosen: seconds => {
                            WindowPreferences.alertDelay = seconds;
                            window.shownBackend.setAlertDelay(WindowPreferences.alertDelay);
                        }
                        onKindsChosen: kinds => WindowPreferences.alertKinds = kinds
                        // The train is selected and the map goes to it.
                        onTrainChosen: trainId => window.chooseTrainById(trainId)
                    }
                }

                Button {
                    objectName: "detailsButton"
                    Layout.fillWidth: true
                    text: details.opened ? "Fermer les détails" : "Détails du train (D)"
                    enabled: selection.train !== "" || details.opened
                    onClicked: details.opened ? details.close() : details.open()
                }
            }

            SynopticArea {
                id: synoptic
                live: window.live
                dataSource: window.shownBackend
                reservationCount: feed.reservationCount
                occupationCount: feed.occupationCount
                panelMode: window.panelMode
                mapOnly: window.mapAlone
                replaying: !!window.shownReplay
                signalSize: window.signalSize
                tracks: window.visibleTracks
                stations: window.stations
                stationFilterName: selection.stationFilterName
                selectedTrack: selection.track
                selectedSignalText: selection.signalText
                onModeToggled: window.panelMode = !window.panelMode
                onSignalSizeMoved: size => window.signalSize = size
                onScopeChosen: index => selection.chooseScope(index)
                onStationActivated: index => selection.chooseStation(index)
                onPageRequested: page => selection.requestView(page)
                onSignalChosen: signalId => selection.signalId = signalId
                // Selected by id, its card brought into view.
                onTrainSelected: trainId => {
                    selection.chooseTrainOnMap(trainId);
                    trainColumn.showRow(feed.trainRow(trainId));
                }
            }
        }

        FooterBar {
            Layout.fillWidth: true
            visible: !window.mapAlone
            live: window.live
            updater: window.updater
            onGameChosen: pid => {
                header.pidField.text = pid;
                window.backend.connectGame(pid);
            }
        }
    }
}
