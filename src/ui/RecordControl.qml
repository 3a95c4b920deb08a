import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The recording of the live session: "Enregistrer" starts one in the user's recordings folder,
// the same button stops it, and the recorder's status says what it does or why it stopped.
RowLayout {
    id: control

    // The Recorder (recording, status, startInFolder(), stop()); null: nothing is shown.
    property var recorder: null

    spacing: 10

    Button {
        objectName: "recordButton"
        text: control.recorder && control.recorder.recording ? "Arrêter l’enregistrement" : "Enregistrer"
        onClicked: control.recorder.recording ? control.recorder.stop() : control.recorder.startInFolder()
    }
    Text {
        objectName: "recorderStatus"
        Layout.fillWidth: true
        text: control.recorder ? control.recorder.status : ""
        color: Theme.recordingText
        elide: Text.ElideMiddle
    }
}
