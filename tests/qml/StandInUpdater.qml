import QtQuick

// Plays the Updater: a status text, the ready flag and the two calls, recorded.
QtObject {
    property string status: ""
    property bool ready: false
    property var calls: []

    signal changed()

    function check() { calls = calls.concat(["check"]); }
    function restart() { calls = calls.concat(["restart"]); }
}
