import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The tabs of the side column: the trains, or the alerts with a badge that counts the alerts
// still open (red while any is), so that a new alert shows while the trains are listed.
TabBar {
    id: tabs

    // The Backend's alerts, of which the badge counts those open and of this connection.
    property var alerts: []
    readonly property int openCount: tabs.alerts.filter(alert => !alert.previous && (alert.ended || "") === "").length

    // A tab in the window's colours: the tab shown stands out.
    component SideTab: TabButton {
        id: tab
        font.pixelSize: 12
        background: Rectangle {
            color: tab.checked ? Theme.button : Theme.trainColumnFill
            radius: 6
            border.color: tab.checked ? Theme.cardSelectedBorder : Theme.paneBorder
        }
    }

    Layout.fillWidth: true
    spacing: 6
    background: null

    SideTab {
        objectName: "trainsTab"
        text: "Circulations"
        contentItem: Text {
            text: "Circulations"
            font.pixelSize: 12
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            color: Theme.text
        }
    }
    SideTab {
        id: alertsTab
        objectName: "alertsTab"
        text: "Alertes"
        Accessible.name: "Alertes, " + tabs.openCount + " en cours"
        contentItem: RowLayout {
            spacing: 6
            Item { Layout.fillWidth: true }
            Text {
                text: "Alertes"
                font.pixelSize: 12
                color: Theme.text
            }
            Rectangle {
                objectName: "alertBadge"
                implicitWidth: Math.max(18, String(tabs.openCount).length * 7 + 11)
                implicitHeight: 18
                radius: 9
                color: tabs.openCount > 0 ? Theme.stateLocked : Theme.alertEndedFill
                Text {
                    anchors.centerIn: parent
                    text: String(tabs.openCount)
                    font.pixelSize: 11
                    font.bold: true
                    color: Theme.alertText
                }
            }
            Item { Layout.fillWidth: true }
        }
    }
}
