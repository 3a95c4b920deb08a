pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import ZorvyTco

// The train column: its title and hint, the train cards and the read-only notice.
Rectangle {
    id: column

    // The train maps, as a list model (see LiveFeed) or a list.
    property var trains: []
    // Id of the selected train; its card is highlighted.
    property string selectedTrain: ""
    readonly property alias list: trainList
    readonly property alias searchField: search
    // The search text and the chosen order (0: the game's, 1: name, 2: speed, 3: stopped first).
    readonly property alias searchText: search.text
    readonly property alias order: sortChoice.currentIndex

    signal trainChosen(var train)

    // Brings the card of this row into view.
    function showRow(row) {
        if (row >= 0)
            trainList.positionViewAtIndex(row, ListView.Contain);
    }

    Layout.preferredWidth: 252
    Layout.fillHeight: true
    color: Theme.trainColumnFill
    radius: 8
    border.color: Theme.paneBorder

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 16

        Text {
            text: "CIRCULATIONS"
            font.bold: true
            font.pixelSize: 12
            font.letterSpacing: 1
            color: Theme.columnTitle
        }
        Text {
            Layout.fillWidth: true
            text: "Choisir un train pour afficher ses réservations."
            wrapMode: Text.WordWrap
            font.pixelSize: 11
            color: Theme.hint
        }

        TextField {
            id: search
            objectName: "trainSearch"
            Layout.fillWidth: true
            Layout.topMargin: -6
            placeholderText: "Rechercher un train…"
            placeholderTextColor: Theme.placeholder
            selectByMouse: true
            Accessible.name: "Rechercher un train"
            // Up and Down move in the list, Return picks the card there (the first match unless
            // moved).
            Keys.onUpPressed: trainList.currentIndex = Math.max(0, trainList.currentIndex - 1)
            Keys.onDownPressed: trainList.currentIndex = Math.min(trainList.count - 1, trainList.currentIndex + 1)
            onAccepted: {
                const card = trainList.itemAtIndex(Math.max(0, trainList.currentIndex));
                if (card)
                    card.chosen();
            }
            onTextChanged: trainList.currentIndex = 0
        }

        ComboBox {
            id: sortChoice
            objectName: "trainSort"
            Layout.fillWidth: true
            Layout.topMargin: -10
            model: ["Ordre du jeu", "Par nom", "Par vitesse", "Arrêtés d’abord"]
            Accessible.name: "Ordre des circulations"
            currentIndex: WindowPreferences.trainOrder
            onActivated: index => WindowPreferences.trainOrder = index
        }

        ListView {
            id: trainList
            objectName: "trainList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 8
            model: column.trains
            activeFocusOnTab: true
            Accessible.name: "Liste des circulations"
            delegate: TrainCard {
                required property var modelData
                required property int index
                width: ListView.view.width
                train: modelData
                highlighted: column.selectedTrain !== "" && column.selectedTrain === modelData.id
                // The keyboard goes with the choice: the window's letter keys act again after a
                // search.
                onChosen: {
                    trainList.currentIndex = index;
                    trainList.forceActiveFocus();
                    column.trainChosen(modelData);
                }
            }
        }

        Rectangle {
            // Left out where the list would have no room for its cards (a short window).
            visible: column.height >= Theme.trainNoticeMinimumColumn
            Layout.fillWidth: true
            Layout.preferredHeight: 104
            color: Theme.noticeFill
            radius: 6
            Text {
                anchors.fill: parent
                anchors.margins: 12
                wrapMode: Text.WordWrap
                font.pixelSize: 11
                color: Theme.noticeText
                text: "LECTURE SEULE\n\nLe panneau associe les symboles à leur voie. L’occupation des cantons reste inconnue."
            }
        }
    }
}
