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

    // The train an alert names, by its id.
    signal trainChosen(string trainId)

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
        Text {
            Layout.fillWidth: true
            visible: column.alerts.length === 0
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
            model: column.alerts
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
