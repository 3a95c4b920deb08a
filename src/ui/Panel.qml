import QtQuick
import Zorvy.Map 1.0
import ZorvyTco

// The network panel: the map item between its toolbar and its legend, with the mouse over it, the
// train picker, the following of the selected train and the remembered camera. It reports a
// train chosen on the map and never calls the Backend itself.
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

    // "Carte seule": the map fills the panel, its bars float over it, with the counters.
    property bool mapOnly: false
    // A recording is shown, not the live game (the floating summary says so).
    property bool replaying: false

    // While on, the view keeps the selected train centred at each snapshot; a pan by hand ends it.
    property alias following: toolbar.following

    // The operations of the window's keys, about the middle of the map.
    function zoomBy(factor: real) {
        follow.zoomBy(factor);
    }
    function pan(dx: real, dy: real) {
        follow.pan(dx, dy);
    }
    function fitAll() {
        follow.fitAll();
    }
    function centreTrain() {
        follow.centreTrain();
    }
    // Closes the train picker when it is open; false when nothing was open.
    function closePopup(): bool {
        if (!picker.opened)
            return false;
        picker.close();
        return true;
    }
    // Whether the map has the keyboard's focus (the arrow keys pan it only then).
    readonly property bool mapFocused: panel.activeFocus

    color: Theme.panelFill
    border.color: Theme.panelBorder
    clip: true

    RailMap {
        id: map
        objectName: "map"
        anchors.fill: parent
        anchors.topMargin: panel.mapOnly ? 0 : Theme.panelHeaderHeight
        anchors.bottomMargin: panel.mapOnly ? 0 : Theme.panelFooterHeight
        dataSource: panel.dataSource
        showCalculatedPath: toolbar.pathShown
        signalSize: panel.signalSize
        signalLayer: MapPreferences.signalLayer
        showStationNames: MapPreferences.stationNames
        // Under its header the map has nothing laid over it, so the network takes nearly all its
        // height; alone in the window, the toolbar and the legend float over its edges. Runs that
        // keep the plain drawing keep its margins.
        fitMargins: panel.mapOnly || !map.detailByDensity ? Theme.mapFitMargins : Theme.mapFitMarginsUnderHeader
    }

    // Without a data source the map item is handed the map the window gives the panel.
    Binding {
        target: map
        property: "snapshotData"
        value: panel.liveData
        when: !panel.dataSource
        restoreMode: Binding.RestoreNone
    }

    CameraMemory {
        map: map
    }

    TrainFollowing {
        id: follow
        map: map
        active: panel.following
        onEnded: panel.following = false
    }

    MapGestures {
        anchors.fill: map
        map: map
        // Out of any text field, so that the window's letter keys reach the map.
        onPressedOnMap: {
            panel.forceActiveFocus();
            if (picker.opened)
                picker.close();
        }
        onDragged: (dx, dy) => follow.pan(dx, dy)
        onZoomRequested: (factor, x, y) => follow.zoomAt(factor, x, y)
        onTrainClicked: trainId => panel.trainSelected(trainId)
        onTrainsOverlap: (trains, x, y) => picker.show(trains, x, y, panel.width, panel.height)
    }

    TrainPicker {
        id: picker
        onTrainChosen: trainId => panel.trainSelected(trainId)
    }

    MapToolbar {
        id: toolbar
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        liveData: panel.liveData
        reservationCount: panel.reservationCount
        onFollowStarted: follow.centreTrain()
        onFitRequested: follow.fitAll()
        onCentreRequested: follow.centreTrain()
    }

    // Under the toolbar, at the right: clear of the legend and of the summary line.
    MapOverview {
        anchors.right: parent.right
        anchors.top: toolbar.bottom
        anchors.margins: Theme.overviewMargin
        map: map
        longSide: Math.min(Theme.overviewLongSide, map.width / 4, map.height / 2.5)
        // Moving the view by hand ends the following, as a pan does.
        onViewMoved: panel.following = false
    }

    MapLegend {
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        width: panel.mapOnly ? 330 : parent.width
        anchors.margins: panel.mapOnly ? 8 : 0
        compact: panel.mapOnly
        liveData: panel.liveData
        occupationCount: panel.occupationCount
    }

    MapSummary {
        visible: panel.mapOnly
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 8
        liveData: panel.liveData
        replaying: panel.replaying
    }
}
