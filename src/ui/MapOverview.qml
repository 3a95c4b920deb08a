import QtQuick
import Zorvy.Map 1.0
import ZorvyTco

// The overview inset while the view shows only part of the network: the whole network with the
// view's rectangle, on a frame of its own. A press or a drag in it centres the view there.
Rectangle {
    id: overview

    required property RailMap map
    // The longest side it may take; it hides below the shortest that stays readable.
    property real longSide: Theme.overviewLongSide

    // The user moved the view through the inset.
    signal viewMoved()

    objectName: "mapOverview"
    visible: inset.needed && overview.longSide >= Theme.overviewShortSide
    width: inset.implicitWidth + 2 * overview.border.width
    height: inset.implicitHeight + 2 * overview.border.width
    radius: 4
    color: Theme.overviewFill
    border.color: Theme.overviewBorder

    RailMapOverview {
        id: inset
        objectName: "overviewInset"
        anchors.fill: parent
        anchors.margins: overview.border.width
        map: overview.map
        longSide: overview.longSide
        shortSide: Theme.overviewShortSide
        trackColor: Theme.overviewTrack
        occupationColor: Theme.overviewOccupation
        viewColor: Theme.overviewView
        onViewMoved: overview.viewMoved()
    }
}
