import QtQuick
import ZorvyTco

// "Carte seule": the counters and the status in one compact line floating over the map.
Rectangle {
    id: summary

    // The window's view of the data map.
    property var liveData: ({})
    // A recording is shown, not the live game.
    property bool replaying: false

    objectName: "mapSummary"
    width: line.implicitWidth + 16
    height: line.implicitHeight + 10
    radius: 4
    color: Theme.floatFill

    Text {
        id: line
        objectName: "mapSummaryText"
        anchors.centerIn: parent
        font.pixelSize: 12
        color: Theme.floatText
        text: (summary.replaying ? "RELECTURE"
               : summary.liveData.live ? "EN DIRECT" : (summary.liveData.status || "Déconnecté"))
              + " · " + (summary.liveData.trainCount || 0) + " circulations · "
              + (summary.liveData.trackCount || 0) + " voies · "
              + (summary.liveData.stationCount || 0) + " gares · "
              + (summary.liveData.signalCount || 0) + " signaux / "
              + (summary.liveData.baliseCount || 0) + " balises"
    }
}
