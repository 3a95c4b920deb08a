import QtQuick
import QtQuick.Layouts

// One alert of the list: when, which train, where and what, and when it ended. Alerts of an
// earlier game or connection are dimmed and say so; those of a replay say so (and, told in the
// recording's time, give no running duration).
Rectangle {
    id: row

    // An entry of the Backend's alerts.
    property var alert: ({})
    // The clock, in milliseconds since the epoch, that "depuis …" counts from.
    property double now: Date.now()

    signal chosen()

    readonly property bool ended: (row.alert.ended || "") !== ""
    readonly property bool previous: row.alert.previous === true
    readonly property bool replayed: row.alert.replay === true

    function duration(ms) {
        const minutes = Math.floor(ms / 60000);
        return minutes >= 1 ? minutes + " min" : Math.max(0, Math.floor(ms / 1000)) + " s";
    }
    function what() {
        let text = row.alert.text || "";
        if (row.alert.state === "held" && !row.ended && !row.previous && !row.replayed)
            text += " depuis " + row.duration(row.now - (row.alert.since || row.now));
        return text;
    }
    function stateColour() {
        if (row.previous)
            return Theme.alertPrevious;
        if (row.alert.state === "held")
            return Theme.stateHeld;
        if (row.alert.state === "stalled")
            return Theme.stateStalled;
        return Theme.stateLocked;
    }

    implicitHeight: content.implicitHeight + 14
    radius: 6
    color: row.ended || row.previous ? Theme.alertEndedFill : Theme.alertFill
    border.color: row.stateColour()

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 7
        spacing: 2
        Text {
            Layout.fillWidth: true
            text: (row.alert.time || "") + "  " + (row.alert.name || "")
            elide: Text.ElideRight
            font.pixelSize: 12
            font.bold: true
            color: row.previous ? Theme.alertPrevious : Theme.alertText
        }
        Text {
            Layout.fillWidth: true
            objectName: "alertWhat"
            text: row.what()
            wrapMode: Text.WordWrap
            font.pixelSize: 11
            color: row.stateColour()
        }
        Text {
            Layout.fillWidth: true
            text: (row.alert.place || "")
                  + (row.ended ? " · terminé à " + row.alert.ended : "")
                  + (row.replayed ? " · relecture" : "")
                  + (row.previous ? " · partie précédente" : "")
            wrapMode: Text.WordWrap
            font.pixelSize: 10
            color: Theme.alertDetail
        }
    }

    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: row.chosen()
    }
}
