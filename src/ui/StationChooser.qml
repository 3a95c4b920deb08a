pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The station chooser: "Toutes les gares", then the stations in the game's order. Its list opens
// with a field that keeps, as the user types, the stations whose name holds the text (case and
// accents ignored); stations that share a name are told apart by the end of their id.
ComboBox {
    id: chooser

    // The entries, "Toutes les gares" first: maps of "id" and "name".
    property var stations: []
    // Shown while no entry is current (the chosen station is not in the list yet).
    property string missingName: ""
    readonly property alias filterField: filter
    readonly property alias filteredList: list
    // The entries with the text they are shown with ("label").
    readonly property var labelled: chooser.labelStations(chooser.stations)
    // The indices of the entries that the filter keeps; "Toutes les gares" always.
    readonly property var kept: chooser.keep(chooser.labelled, filter.text)

    function folded(text: string): string {
        return text.normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase();
    }

    // A name held by several stations gets the shortest end of the id (4 characters at least)
    // that tells them all apart.
    function labelStations(entries: var): var {
        const groups = {};
        for (const entry of entries)
            (groups[entry.name] = groups[entry.name] || []).push(String(entry.id || ""));
        const suffixLength = {};
        for (const name in groups) {
            const ids = groups[name];
            if (ids.length < 2)
                continue;
            const longest = Math.max(...ids.map(id => id.length));
            let length = 4;
            while (length < longest && new Set(ids.map(id => id.slice(-length))).size < ids.length)
                ++length;
            suffixLength[name] = length;
        }
        return entries.map(entry => ({
            "id": entry.id,
            "name": entry.name,
            "label": suffixLength[entry.name] && entry.id
                     ? entry.name + " · …" + String(entry.id).slice(-suffixLength[entry.name])
                     : entry.name
        }));
    }

    function keep(entries: var, text: string): var {
        const wanted = chooser.folded(text.trim());
        const indices = [];
        for (let i = 0; i < entries.length; ++i) {
            if (i === 0 || wanted === "" || chooser.folded(entries[i].label).indexOf(wanted) >= 0)
                indices.push(i);
        }
        return indices;
    }

    // The entry at this index of the whole list chosen, as a click in the plain list does.
    function choose(index: int) {
        chooser.popup.close();
        chooser.currentIndex = index;
        chooser.activated(index);
    }

    model: chooser.labelled
    textRole: "label"
    displayText: chooser.currentIndex < 0 ? chooser.missingName : chooser.currentText

    // The popup and its content carry ids, so they are made at once rather than deferred: as
    // the plain list's popup is, it is small.
    popup: Popup { // qmllint disable deferred-property-id
        y: chooser.height
        width: Math.max(chooser.width, 280)
        padding: 6
        onAboutToShow: {
            filter.text = "";
            list.currentIndex = Math.max(0, chooser.kept.indexOf(chooser.currentIndex));
        }
        onOpened: {
            filter.forceActiveFocus();
            list.positionViewAtIndex(list.currentIndex, ListView.Contain);
        }

        contentItem: ColumnLayout { // qmllint disable deferred-property-id
            spacing: 6
            TextField {
                id: filter
                objectName: "stationFilterField"
                Layout.fillWidth: true
                placeholderText: "Filtrer les gares…"
                placeholderTextColor: Theme.placeholder
                selectByMouse: true
                Accessible.name: "Filtrer les gares"
                onTextChanged: list.currentIndex = chooser.kept.length > 1 ? 1 : 0
                onAccepted: chooser.choose(chooser.kept[list.currentIndex] ?? 0)
                // The list's keys move in the list, not in the window's pages.
                Keys.onShortcutOverride: event => event.accepted =
                                         event.key === Qt.Key_PageUp || event.key === Qt.Key_PageDown
                Keys.onUpPressed: list.decrementCurrentIndex()
                Keys.onDownPressed: list.incrementCurrentIndex()
                Keys.onPressed: event => {
                    const rows = Math.max(1, Math.floor(list.height / 32));
                    if (event.key === Qt.Key_PageUp)
                        list.currentIndex = Math.max(0, list.currentIndex - rows);
                    else if (event.key === Qt.Key_PageDown)
                        list.currentIndex = Math.min(list.count - 1, list.currentIndex + rows);
                    else
                        return;
                    event.accepted = true;
                }
            }
            ListView {
                id: list
                objectName: "stationList"
                Layout.fillWidth: true
                Layout.preferredHeight: Math.min(list.contentHeight, 360)
                clip: true
                model: chooser.kept
                highlightMoveDuration: 0
                ScrollBar.vertical: ScrollBar {}
                delegate: ItemDelegate {
                    required property int modelData
                    required property int index
                    width: ListView.view.width
                    height: 32
                    text: chooser.labelled[modelData]?.label ?? ""
                    highlighted: ListView.isCurrentItem
                    font.bold: modelData === chooser.currentIndex
                    onClicked: chooser.choose(modelData)
                }
            }
            Text {
                objectName: "noStationText"
                visible: chooser.kept.length < 2 && filter.text.trim() !== ""
                font.pixelSize: 11
                color: Theme.caption
                text: "Aucune gare ne correspond"
            }
        }
    }
}
