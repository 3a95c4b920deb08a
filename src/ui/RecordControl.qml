import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The recordings of the window: "Enregistrer" starts a recording of the live session in the
// user's recordings folder (the black box goes on beside it) and the same button stops it, the
// recorder's status (else the black box's) says what it does or why it stopped; "Ouvrir un
// enregistrement…" lists the recordings to open, rename or delete, and while one opened here is
// shown, "Retour au direct" goes back to the live game (which goes on being recorded meanwhile).
RowLayout {
    id: control

    // The Recorder (recording, status, startInFolder(), stop()); null: no recording button.
    property var recorder: null
    // The black box's Recorder, whose status shows while the window records nothing; may be null.
    property var blackBox: null
    readonly property string statusText: control.recorder && control.recorder.status !== ""
                                         ? control.recorder.status
                                         : control.blackBox ? control.blackBox.status : ""
    // The RecordingShelf (see RecordingList; replay: the recording opened here, close()); null:
    // no list.
    property var recordings: null
    // The window shows a live game when no recording is opened (false: the command line's replay).
    property bool liveBehind: true
    // Short texts, the long ones and the status also in tooltips: beside a replay's time bar.
    property bool compact: false

    spacing: 10

    Button {
        objectName: "recordButton"
        visible: !!control.recorder
        text: control.recorder && control.recorder.recording ? "Arrêter l’enregistrement" : "Enregistrer"
        ToolTip.visible: control.compact && hovered && control.statusText !== ""
        ToolTip.text: control.statusText
        onClicked: control.recorder.recording ? control.recorder.stop() : control.recorder.startInFolder()
    }
    Button {
        objectName: "openRecordingButton"
        visible: !!control.recordings
        text: control.recordings && control.recordings.opening !== "" ? "Ouverture de l’enregistrement…"
              : control.compact ? "Ouvrir…" : "Ouvrir un enregistrement…"
        ToolTip.visible: control.compact && hovered
        ToolTip.text: "Ouvrir un enregistrement…"
        onClicked: recordingList.open()
    }
    Button {
        objectName: "backToLiveButton"
        visible: !!control.recordings && !!control.recordings.replay
        text: control.liveBehind ? "Retour au direct" : (control.compact ? "Fermer" : "Fermer l’enregistrement")
        ToolTip.visible: control.compact && !control.liveBehind && hovered
        ToolTip.text: "Fermer l’enregistrement"
        onClicked: control.recordings.close()
    }
    // Beside the time bar it takes no room of its own: it shows where its row leaves it some.
    Text {
        objectName: "recorderStatus"
        Layout.fillWidth: true
        Layout.preferredWidth: control.compact ? 0 : -1
        opacity: width >= Theme.recorderStatusMinWidth ? 1 : 0
        text: control.statusText
        color: Theme.recordingText
        elide: Text.ElideMiddle
    }

    RecordingList {
        id: recordingList
        recordings: control.recordings
    }
}
