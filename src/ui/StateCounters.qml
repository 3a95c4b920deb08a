import QtQuick
import QtQuick.Layouts

// The positioned trains by state, a tile of the counters row: running, at a platform, held at a
// signal, stalled outside a station and locked in a wait cycle (red when any is).
Rectangle {
    id: counters

    // The data map's "attentionCounts".
    property var counts: ({})

    Layout.preferredWidth: row.implicitWidth + 28
    Layout.preferredHeight: 80
    radius: 8
    color: Theme.tileFill
    border.color: Theme.paneBorder

    RowLayout {
        id: row
        anchors.centerIn: parent
        spacing: 12

        Repeater {
            // Each entry carries its count, so that a delegate reads only its own entry.
            model: {
                const counts = counters.counts || {};
                return [
                    { key: "running", label: "en marche", colour: Theme.stateRunning },
                    { key: "platform", label: "à quai", colour: Theme.statePlatform },
                    { key: "held", label: "retenus au signal", colour: Theme.stateHeld },
                    { key: "stalled", label: "arrêtés hors gare", colour: Theme.stateStalled },
                    { key: "locked", label: "bloqués", colour: Theme.stateLocked }
                ].map(entry => Object.assign(entry, { value: counts[entry.key] || 0 }));
            }
            delegate: Column {
                id: counter
                required property var modelData
                readonly property int value: counter.modelData.value
                spacing: 2
                Text {
                    objectName: "stateCount_" + counter.modelData.key
                    text: String(counter.value)
                    font.pixelSize: 18
                    font.weight: Font.DemiBold
                    color: counter.modelData.key === "locked" && counter.value === 0 ? Theme.stateZero
                                                                                    : counter.modelData.colour
                }
                Text {
                    text: counter.modelData.label
                    font.pixelSize: 10
                    color: Theme.tileLabel
                }
            }
        }
    }
}
