import QtQuick

// Stand-in for the overview inset: never needed, so the panel's tests see the map alone.
Item {
    property var map
    property real longSide
    property real shortSide
    property color trackColor
    property color occupationColor
    property color viewColor
    property bool needed: false

    signal viewMoved()

    function centreAt(x, y) { return false; }
}
