import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One recording of the list: its name, game, start, length and size, or why it cannot be
// replayed, and what can be done with it.
Rectangle {
    id: row

    // The entry (path, fileName, game, start, length, size, problem, busy).
    property var entry: ({})

    signal openRequested(string path)
    signal renameRequested(string path, string fileName)
    signal deleteRequested(string path, string fileName)

    implicitHeight: Theme.recordingRowHeight
    radius: 5
    color: Theme.recordingRowFill
    border.color: Theme.recordingRowBorder

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 8
        spacing: 12

        Text {
            objectName: "recordingName"
            Layout.preferredWidth: 250
            text: row.entry.fileName || ""
            color: Theme.recordingName
            font.bold: true
            elide: Text.ElideMiddle
        }
        Text {
            id: details
            objectName: "recordingDetails"
            Layout.fillWidth: true
            text: row.entry.problem ? row.entry.problem
                                    : [row.entry.game, row.entry.start, row.entry.length].join(" · ")
            color: row.entry.problem ? Theme.recordingProblem : Theme.recordingDetail
            elide: Text.ElideRight
            // The whole text when it does not fit.
            HoverHandler {
                id: detailsHover
            }
            ToolTip.visible: detailsHover.hovered && details.truncated
            ToolTip.text: details.text
        }
        Text {
            visible: !!row.entry.busy
            text: "en cours"
            color: Theme.recordingBusy
        }
        Text {
            Layout.preferredWidth: 64
            horizontalAlignment: Text.AlignRight
            text: row.entry.size || ""
            color: Theme.recordingDetail
        }
        Button {
            objectName: "recordingOpen"
            opacity: enabled ? 1 : Theme.disabledOpacity
            text: "Ouvrir"
            enabled: !row.entry.problem
            onClicked: row.openRequested(row.entry.path)
        }
        Button {
            objectName: "recordingRename"
            opacity: enabled ? 1 : Theme.disabledOpacity
            text: "Renommer…"
            enabled: !row.entry.busy
            onClicked: row.renameRequested(row.entry.path, row.entry.fileName)
        }
        Button {
            objectName: "recordingDelete"
            opacity: enabled ? 1 : Theme.disabledOpacity
            text: "Supprimer…"
            enabled: !row.entry.busy
            onClicked: row.deleteRequested(row.entry.path, row.entry.fileName)
        }
    }
}
