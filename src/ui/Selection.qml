import QtQuick
import ZorvyTco

// What the user chose: the train, its track, the signal, the list's scope and station filter, and
// the view that these choices ask of the Backend. The selection is the train: its card stays
// highlighted while it runs from track to track, and the "Sélection" scope follows it.
QtObject {
    id: selection

    required property var backend
    required property LiveFeed feed
    // The list's scope, as its chooser shows it.
    property int scope: ListScope.Trains
    property string train: ""
    property string track: ""
    property string signalId: ""
    property string stationFilter: ""
    // The name of the chosen station, shown while the game's station list does not hold it
    // (before the first map after a reconnection), so that the chooser never hides the filter.
    property string stationFilterName: ""
    // The line that describes the selected signal.
    readonly property string signalText: {
        selection.feed.data; // re-evaluated with every published map
        if (selection.signalId === "")
            return "";
        const found = selection.feed.findSignal(selection.signalId);
        if (found.id === undefined)
            return "Signal hors de la vue courante";
        return [found.kind, found.id, found.aspect, found.specificState].join(" · ");
    }
    // Off while the window takes its remembered choices back: the scope it restores asks for no
    // view by itself.
    property bool ready: false

    // A new view went to the Backend.
    signal viewRequested()
    // The scope chooser is to show this scope.
    signal scopeShown(int scope)
    // The station chooser is to show this entry (-1: none, with the filter's name).
    signal stationShown(int index)

    function requestView(page: int) {
        selection.backend.setView(selection.scope, selection.stationFilter, selection.track, page);
        selection.viewRequested();
    }

    // The scope chooser took this scope.
    function chooseScope(scope: int) {
        selection.scope = scope;
        if (selection.ready)
            selection.requestView(0);
    }

    // A train card chosen: the Backend selects its train and the list shows its track alone.
    function chooseTrain(train: var) {
        selection.backend.selectTrain(train.id);
        selection.train = train.id || "";
        selection.track = train.track || "";
        selection.stationFilter = "";
        selection.scopeShown(ListScope.Selection);
    }

    // A train chosen on the map, by its id.
    function chooseTrainOnMap(trainId: string) {
        selection.backend.selectTrain(trainId);
        selection.train = trainId;
        selection.followTrain();
    }

    // No train, no track, no signal: the user chose none, and the capture does not choose the
    // first train in its place.
    function clear() {
        if (selection.train !== "" || selection.feed.selectedTrainId !== "")
            selection.backend.clearTrain();
        selection.train = "";
        selection.track = "";
        selection.signalId = "";
    }

    // The "Sélection" scope shows the selected train's current track.
    function followTrain() {
        if (selection.train === "" || selection.scope !== ListScope.Selection)
            return;
        const track = selection.feed.trainTrack(selection.train);
        if (track !== "" && track !== selection.track)
            selection.track = track;
    }

    function chooseStation(index: int) {
        const entry = selection.feed.stationChoices[index];
        selection.stationFilterName = entry.id ? entry.name : "";
        selection.stationFilter = entry.id;
    }

    // The station chooser shows the filter that the view applies. A filter on a station that the
    // game no longer has (another game, a restarted one) is dropped once live data say so.
    function showStation() {
        const index = selection.feed.stationChoiceIndex(selection.stationFilter);
        if (index >= 0) {
            selection.stationShown(index);
        } else if (selection.feed.live) {
            selection.stationFilterName = "";
            selection.stationFilter = "";
        } else {
            selection.stationShown(-1);
        }
    }

    // A new map from the Backend, after the station chooser has taken the new station list.
    function takeMap() {
        selection.showStation();
        if (!selection.feed.live) {
            selection.signalId = "";
            selection.track = "";
        } else {
            // The Backend's own selection (a train chosen before, or chosen for it) wins.
            if (selection.feed.selectedTrainId !== "")
                selection.train = selection.feed.selectedTrainId;
            selection.followTrain();
        }
    }

    // Another Backend shown (a recording opened or closed): it gets the view and the train.
    onBackendChanged: {
        if (!selection.ready || !selection.backend)
            return;
        selection.requestView(0);
        if (selection.train !== "")
            selection.backend.selectTrain(selection.train);
    }
    onTrackChanged: selection.requestView(0)
    onStationFilterChanged: {
        selection.showStation();
        selection.requestView(0);
    }
}
