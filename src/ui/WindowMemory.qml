import QtQuick
import ZorvyTco

// The window's choices as the user left them (WindowPreferences): its place and size, list or
// map, the signal size, the list's scope and station. restore() takes them back once the window
// is built; from then on each change is written back.
Item {
    id: memory

    required property Window window
    required property Selection selection
    property bool panelMode: true
    property real signalSize: Theme.defaultSignalSize
    property bool restored: false

    function restore() {
        const geometry = WindowPreferences.geometry;
        if (geometry.width > 0) {
            memory.window.x = geometry.x;
            memory.window.y = geometry.y;
            memory.window.width = geometry.width;
            memory.window.height = geometry.height;
        } else {
            const first = WindowPreferences.firstGeometry(memory.window.width, memory.window.height);
            if (first.width > 0) {
                memory.window.x = first.x;
                memory.window.y = first.y;
                memory.window.width = first.width;
                memory.window.height = first.height;
            }
        }
        memory.selection.scopeShown(WindowPreferences.scope);
        memory.selection.stationFilterName = WindowPreferences.stationName;
        memory.selection.stationFilter = WindowPreferences.station;
        memory.restored = true;
    }

    function rememberGeometry() {
        if (memory.restored && memory.window.visibility === Window.Windowed)
            WindowPreferences.setGeometry(memory.window.x, memory.window.y, memory.window.width,
                                          memory.window.height);
    }

    onPanelModeChanged: WindowPreferences.panelMode = memory.panelMode
    onSignalSizeChanged: WindowPreferences.signalSize = memory.signalSize

    Connections {
        target: memory.window
        function onXChanged() {
            memory.rememberGeometry();
        }
        function onYChanged() {
            memory.rememberGeometry();
        }
        function onWidthChanged() {
            memory.rememberGeometry();
        }
        function onHeightChanged() {
            memory.rememberGeometry();
        }
        function onClosing() {
            memory.rememberGeometry();
        }
    }
    Connections {
        target: memory.selection
        function onScopeChanged() {
            if (memory.restored)
                WindowPreferences.scope = memory.selection.scope;
        }
        function onStationFilterChanged() {
            WindowPreferences.setStation(memory.selection.stationFilter,
                                         memory.selection.stationFilterName);
        }
    }
}
