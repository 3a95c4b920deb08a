pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The trains under a click where several overlap, nearest first: a row chooses its train.
Popup {
    id: picker

    // The train maps under the click, as the map item gave them.
    property var candidates: []

    signal trainChosen(string trainId)

    // Opens at the click (x, y) with these trains, kept inside an area of this size between the
    // panel's two bars: 340 wide and 48 + 40 per train high at most.
    function show(trains: var, x: real, y: real, areaWidth: real, areaHeight: real) {
        picker.candidates = trains;
        picker.width = Math.min(340, areaWidth);
        picker.height = Math.min(300, Math.max(80, areaHeight - 90), 48 + 40 * trains.length);
        picker.x = Math.max(0, Math.min(x, areaWidth - picker.width));
        picker.y = Math.max(Theme.panelHeaderHeight,
                            Math.min(y, areaHeight - picker.height - Theme.panelFooterHeight));
        picker.open();
    }

    objectName: "trainPicker"
    padding: 8

    contentItem: ColumnLayout {
        spacing: 4
        Label {
            objectName: "pickerTitle"
            text: "Choisir un train (" + picker.candidates.length + ")"
        }
        ListView {
            objectName: "pickerList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: picker.candidates
            ScrollBar.vertical: ScrollBar {}
            delegate: ItemDelegate {
                required property var modelData
                width: ListView.view.width
                height: 40
                text: modelData.name + " · " + modelData.id
                onClicked: {
                    picker.trainChosen(modelData.id);
                    picker.close();
                }
            }
        }
    }
}
