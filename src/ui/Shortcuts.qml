import QtQuick
import QtQuick.Controls
import ZorvyTco

// The window's keys: + and − zoom, the arrows pan (while the map has the focus), F frames the
// network, C centres the selected train, S follows it and M gives the map the whole window ("Carte
// seule"), all while the map is shown; Ctrl+F goes
// to the train search, Page Up and Page Down page the list that is shown (and the segment list's
// pages), D opens or closes the selected train's details. Escape closes the details or an open
// pop-up, else ends the following, else empties the search, else clears the selection (which
// chooses no train: the first one is not chosen in its place).
Item {
    id: keys

    // The network panel, whose camera operations the map's keys call.
    required property Panel panel
    property bool mapShown: true
    required property TextField searchField
    // The list that the page keys move: beside the map or instead of it.
    required property Flickable shownList
    // The shown list is the segment list, cut in pages: the page keys go on to the neighbouring
    // page from either end of the current one.
    property bool paged: false
    property int page: 0
    property int pages: 1
    // Pixels by which an arrow key moves the map.
    readonly property real panStep: 80

    // The selected train's details (a Popup), closed first by Escape.
    property Popup details: null

    signal clearRequested()
    signal pageRequested(int page)
    signal detailsRequested()

    function pageList(direction: int) {
        const list = keys.shownList;
        const bottom = Math.max(list.originY, list.originY + list.contentHeight - list.height);
        const next = keys.page + direction;
        const atEnd = direction > 0 ? list.contentY >= bottom - 0.5 : list.contentY <= list.originY + 0.5;
        if (keys.paged && atEnd && next >= 0 && next < keys.pages)
            keys.pageRequested(next);
        else
            list.contentY = Math.max(list.originY, Math.min(bottom, list.contentY + direction * list.height));
    }

    Shortcut {
        sequences: ["+", "=", "Ctrl++"]
        enabled: keys.mapShown
        onActivated: keys.panel.zoomBy(1.3)
    }
    Shortcut {
        sequences: ["-", "Ctrl+-"]
        enabled: keys.mapShown
        onActivated: keys.panel.zoomBy(1 / 1.3)
    }
    Shortcut {
        sequence: "Left"
        enabled: keys.mapShown && keys.panel.mapFocused
        onActivated: keys.panel.pan(keys.panStep, 0)
    }
    Shortcut {
        sequence: "Right"
        enabled: keys.mapShown && keys.panel.mapFocused
        onActivated: keys.panel.pan(-keys.panStep, 0)
    }
    Shortcut {
        sequence: "Up"
        enabled: keys.mapShown && keys.panel.mapFocused
        onActivated: keys.panel.pan(0, keys.panStep)
    }
    Shortcut {
        sequence: "Down"
        enabled: keys.mapShown && keys.panel.mapFocused
        onActivated: keys.panel.pan(0, -keys.panStep)
    }
    Shortcut {
        sequence: "F"
        enabled: keys.mapShown
        onActivated: keys.panel.fitAll()
    }
    Shortcut {
        sequence: "M"
        enabled: keys.mapShown
        onActivated: WindowPreferences.mapOnly = !WindowPreferences.mapOnly
    }
    Shortcut {
        sequence: "C"
        enabled: keys.mapShown
        onActivated: keys.panel.centreTrain()
    }
    Shortcut {
        sequence: "S"
        enabled: keys.mapShown
        onActivated: {
            keys.panel.following = !keys.panel.following;
            if (keys.panel.following)
                keys.panel.centreTrain();
        }
    }
    Shortcut {
        sequence: "D"
        onActivated: keys.detailsRequested()
    }
    Shortcut {
        sequence: "Ctrl+F"
        onActivated: {
            keys.searchField.forceActiveFocus();
            keys.searchField.selectAll();
        }
    }
    Shortcut {
        sequence: "PgUp"
        onActivated: keys.pageList(-1)
    }
    Shortcut {
        sequence: "PgDown"
        onActivated: keys.pageList(1)
    }
    // Escape empties the search field it is typed in, and otherwise clears the selection.
    Shortcut {
        sequence: "Esc"
        onActivated: {
            const search = keys.searchField;
            if (keys.details && keys.details.opened) {
                keys.details.close();
                return;
            }
            if (keys.panel.closePopup())
                return;
            if (keys.panel.following) {
                keys.panel.following = false;
                return;
            }
            if (search.activeFocus && search.text !== "")
                search.clear();
            else
                keys.clearRequested();
        }
    }
}
