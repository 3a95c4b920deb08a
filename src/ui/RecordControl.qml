import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The recordings of the window: "Enregistrer" starts a recording of the live session in the
// user's recordings folder and the same button stops it, the recorder's status says what it does
// or why it stopped; "Ouvrir un enregistrement…" lists the recordings to open, rename or delete,
// and while one opened here is shown, "Retour au direct" goes back to the live game (which goes
// on being recorded meanwhile).
RowLayout {
    id: control

    // The Recorder (recording, status, startInFolder(), stop()); null: no recording button.
    property var recorder: null
    // The RecordingShelf (see RecordingList; replay: the recording opened here, close()); null:
    // no list.
    property var recordings: null
    // The window shows a live game when no recording is opened (false: the command line's replay).
    property bool liveBehind: true

    spacing: 10

    Button {
        objectName: "recordButton"
        visible: !!control.recorder
        text: control.recorder && control.recorder.recording ? "Arrêter l’enregistrement" : "Enregistrer"
        onClicked: control.recorder.recording ? control.recorder.stop() : control.recorder.startInFolder()
    }
    Button {
        objectName: "openRecordingButton"
        visible: !!control.recordings
        text: control.recordings && control.recordings.opening !== "" ? "Ouverture de l’enregistrement…"
                                                                      : "Ouvrir un enregistrement…"
        onClicked: recordingList.open()
    }
    Button {
        objectName: "backToLiveButton"
        visible: !!control.recordings && !!control.recordings.replay
        text: control.liveBehind ? "Retour au direct" : "Fermer l’enregistrement"
        onClicked: control.recordings.close()
    }
    Text {
        objectName: "recorderStatus"
        Layout.fillWidth: true
        text: control.recorder ? control.recorder.status : ""
        color: Theme.recordingText
        elide: Text.ElideMiddle
    }

    RecordingList {
        id: recordingList
        recordings: control.recordings
    }
}
