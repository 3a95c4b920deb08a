pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The "Alertes" column beside the trains: one line per alert, newest first.
Rectangle {
    id: column

    // The Backend's alerts.
    property var alerts: []
    // Renewed with each map, so that the durations move on.
    property double now: Date.now()
    // Seconds a train stands outside a station before an alert, and the kinds shown (a sum of
    // 1 held, 2 stalled, 4 deadlocks), as remembered.
    property int delay: 10
    property int kinds: 7
    readonly property var shownAlerts: column.alerts.filter(alert => (column.kinds & column.kindOf(alert)) !== 0)

    // The train an alert names, by its id.
    signal trainChosen(string trainId)
    signal delayChosen(int seconds)
    signal kindsChosen(int kinds)

    function kindOf(alert) {
        return alert.state === "held" ? 1 : alert.state === "stalled" ? 2 : 4;
    }

    Layout.preferredWidth: Theme.alertColumnWidth
    Layout.fillHeight: true
    color: Theme.trainColumnFill
    radius: 8
    border.color: Theme.paneBorder

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 12

        Text {
            text: "ALERTES"
            font.bold: true
            font.pixelSize: 12
            font.letterSpacing: 1
            color: Theme.columnTitle
        }
        RowLayout {
            Layout.fillWidth: true
            spacing: 6
            Text {
                text: "Délai (s)"
                font.pixelSize: 11
                color: Theme.hint
            }
            SpinBox {
                objectName: "alertDelay"
                Layout.fillWidth: true
                from: 1
                to: 3600
                editable: true
                value: column.delay
                Accessible.name: "Délai avant une alerte, en secondes"
                onValueModified: column.delayChosen(value)
            }
        }
        Flow {
            Layout.fillWidth: true
            spacing: 4
            Repeater {
                model: [{ bit: 1, label: "Retenus" }, { bit: 2, label: "Arrêtés" }, { bit: 4, label: "Interblocages" }]
                delegate: CheckBox {
                    required property var modelData
                    objectName: "alertKind" + modelData.bit
                    text: modelData.label
                    font.pixelSize: 11
                    checked: (column.kinds & modelData.bit) !== 0
                    onToggled: column.kindsChosen(checked ? column.kinds | modelData.bit : column.kinds & ~modelData.bit)
                }
            }
        }
        Text {
            Layout.fillWidth: true
            visible: column.shownAlerts.length === 0
            text: "Aucune alerte."
            font.pixelSize: 11
            color: Theme.hint
        }
        ListView {
            objectName: "alertList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 6
            model: column.shownAlerts
            Accessible.name: "Liste des alertes"
            delegate: AlertRow {
                required property var modelData
                width: ListView.view.width
                alert: modelData
                now: column.now
                onChosen: column.trainChosen(modelData.id)
            }
        }
    }
}
