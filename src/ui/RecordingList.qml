import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The recordings of the recordings folder (the black box among them), newest first: open one for
// replay, rename it or delete it after a confirmation; or open a recording by its path. The list
// is read again each time it opens.
Popup {
    id: list

    // The RecordingShelf (folder, entries, loading, listNote, error, opening, refresh(), open(),
    // opened(), rename(), remove(), clearError()).
    property var recordings: null
    // A recording is being opened: nothing else can be opened meanwhile.
    readonly property bool opening: !!list.recordings && list.recordings.opening !== ""

    // The entry the rename or delete box is about.
    property string chosenPath: ""
    property string chosenName: ""

    parent: Overlay.overlay
    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    width: Math.min(Theme.recordingListWidth, (parent ? parent.width : Theme.recordingListWidth) - 40)
    height: (parent ? parent.height : 700) * 0.8
    padding: 16
    background: Rectangle {
        color: Theme.recordingListFill
        border.color: Theme.recordingRowBorder
        radius: 8
    }

    onOpened: {
        list.recordings.clearError();
        list.recordings.refresh();
    }

    // A refused name keeps the rename box open with the reason.
    function renameChosen() {
        const problem = list.recordings.rename(list.chosenPath, renameField.text);
        renameError.text = problem;
        if (problem === "")
            renameBox.close();
    }

    function openPath(path: string) {
        list.recordings.open(path);
    }

    // The list closes once the recording asked for is shown.
    Connections {
        target: list.recordings
        function onOpened() { list.close(); }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 10

        Text {
            text: "Enregistrements"
            color: Theme.title
            font.pixelSize: 18
            font.weight: Font.DemiBold
        }
        Text {
            objectName: "recordingFolder"
            Layout.fillWidth: true
            text: "Dossier : " + (list.recordings ? list.recordings.folder : "")
            color: Theme.recordingDetail
            elide: Text.ElideMiddle
        }
        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            TextField {
                id: pathField
                objectName: "recordingPath"
                Layout.fillWidth: true
                placeholderText: "Chemin d’un enregistrement (.zrec) ailleurs sur le disque"
                placeholderTextColor: Theme.placeholder
                selectByMouse: true
                onAccepted: list.openPath(pathField.text)
            }
            Button {
                objectName: "recordingOpenPath"
                text: "Ouvrir ce fichier"
                enabled: pathField.text.trim() !== "" && !list.opening
                onClicked: list.openPath(pathField.text)
            }
        }
        Text {
            objectName: "recordingOpeningText"
            Layout.fillWidth: true
            visible: list.opening
            text: list.opening ? "Ouverture de « " + list.recordings.opening + " »…" : ""
            color: Theme.recordingBusy
            elide: Text.ElideMiddle
        }
        Text {
            objectName: "recordingError"
            Layout.fillWidth: true
            visible: text !== ""
            text: list.recordings ? list.recordings.error : ""
            color: Theme.recordingError
            wrapMode: Text.Wrap
        }
        Text {
            Layout.fillWidth: true
            visible: text !== ""
            text: !list.recordings ? ""
                  : list.recordings.loading ? "Lecture du dossier…"
                  : list.recordings.listNote !== "" ? list.recordings.listNote
                  : list.recordings.entries.length === 0 ? "Aucun enregistrement dans ce dossier" : ""
            color: Theme.recordingDetail
        }
        ListView {
            objectName: "recordingEntries"
            enabled: !list.opening
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 6
            model: list.recordings ? list.recordings.entries : []
            delegate: RecordingRow {
                required property var modelData
                width: ListView.view.width
                entry: modelData
                onOpenRequested: path => list.openPath(path)
                onRenameRequested: (path, fileName) => {
                    list.chosenPath = path;
                    list.chosenName = fileName;
                    renameField.text = fileName.replace(/\.zrec$/, "");
                    renameError.text = "";
                    renameBox.open();
                }
                onDeleteRequested: (path, fileName) => {
                    list.chosenPath = path;
                    list.chosenName = fileName;
                    deleteBox.open();
                }
            }
            ScrollBar.vertical: ScrollBar {}
        }
        Button {
            objectName: "recordingListClose"
            Layout.alignment: Qt.AlignRight
            text: "Fermer"
            onClicked: list.close()
        }
    }

    Dialog {
        id: renameBox
        objectName: "recordingRenameBox"
        title: "Renommer « " + list.chosenName + " »"
        anchors.centerIn: Overlay.overlay
        modal: true
        width: 460
        ColumnLayout {
            anchors.fill: parent
            TextField {
                id: renameField
                objectName: "recordingNewName"
                Layout.fillWidth: true
                selectByMouse: true
                onAccepted: list.renameChosen()
            }
            Text {
                id: renameError
                objectName: "recordingRenameError"
                Layout.fillWidth: true
                visible: text !== ""
                color: Theme.recordingError
                wrapMode: Text.Wrap
            }
        }
        footer: DialogButtonBox {
            Button {
                objectName: "recordingRenameConfirm"
                text: "Renommer"
                onClicked: list.renameChosen()
            }
            Button {
                text: "Annuler"
                onClicked: renameBox.close()
            }
        }
        onOpened: renameField.forceActiveFocus()
    }

    Dialog {
        id: deleteBox
        objectName: "recordingDeleteBox"
        title: "Supprimer « " + list.chosenName + " » ?"
        anchors.centerIn: Overlay.overlay
        modal: true
        width: 460
        Text {
            width: parent.width
            text: "Le fichier est effacé du disque ; cela ne peut être défait."
            color: Theme.text
            wrapMode: Text.Wrap
        }
        footer: DialogButtonBox {
            Button {
                objectName: "recordingDeleteConfirm"
                text: "Supprimer"
                onClicked: {
                    list.recordings.remove(list.chosenPath);
                    deleteBox.close();
                }
            }
            Button {
                text: "Annuler"
                onClicked: deleteBox.close()
            }
        }
    }
}
