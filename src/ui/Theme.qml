pragma Singleton

import QtQuick

// The window's palette, fonts and sizes in one place.
QtObject {
    // Fonts
    readonly property string uiFont: "Segoe UI"
    readonly property string monoFont: "Consolas"

    // Window frame
    readonly property color windowBackground: "#0b1117"
    readonly property color text: "#d6e1eb"
    readonly property color button: "#243443"
    readonly property color base: "#14202b"
    readonly property color highlight: "#58c4c7"
    // Pop-ups (drop-down lists, the train picker, tool tips) on the dark theme: light text on a
    // dark surface, white on the highlighted row, light drop-down arrows.
    readonly property color popupSurface: "#14202b"
    readonly property color popupLight: "#2f4a5e"
    readonly property color popupMidlight: "#2a3d4d"
    readonly property color popupMid: "#38493f"
    readonly property color popupIndicator: "#d6e1eb"
    readonly property color highlightedText: "#ffffff"
    readonly property color placeholder: "#6f8496"

    readonly property int windowWidth: 1440
    readonly property int windowHeight: 900
    readonly property int minimumWindowWidth: 1060
    readonly property int minimumWindowHeight: 650
    readonly property int outerMargin: 24
    readonly property int rowSpacing: 18

    // Header
    readonly property color logoFill: "#143d41"
    readonly property color logoText: "#75e3df"
    readonly property color title: "#edf5fa"
    readonly property color subtitle: "#8a9ba9"
    readonly property color liveFill: "#173c33"
    readonly property color waitingFill: "#3e3121"
    readonly property color liveText: "#7bdbae"
    readonly property color waitingText: "#efbe72"

    // Cards and panes
    readonly property color tileFill: "#141e28"
    readonly property color paneBorder: "#26333f"
    readonly property color tileLabel: "#8fa2b3"
    readonly property color trainsAccent: "#f1bf70"
    readonly property color tracksAccent: "#68d2d0"
    readonly property color stationsAccent: "#a6b3d6"
    readonly property color signalsAccent: "#68d2d0"

    // Train column
    readonly property color trainColumnFill: "#111b24"
    readonly property color columnTitle: "#a6b7c7"
    readonly property color hint: "#8095a8"
    readonly property color cardFill: "#1a2733"
    readonly property color cardBorder: "#263c4c"
    readonly property color cardSelectedFill: "#233a43"
    readonly property color cardSelectedBorder: "#68d2d0"
    readonly property color trainName: "#e7edf3"
    readonly property color trainSpeed: "#efbe72"
    readonly property color trainTrack: "#8c9fac"
    readonly property color noticeFill: "#182a32"
    readonly property color noticeText: "#9fb9c7"

    // What needs attention: the state counters and the alert list
    readonly property color stateRunning: "#7bdbae"
    readonly property color statePlatform: "#a6b3d6"
    readonly property color stateHeld: "#efbe72"
    readonly property color stateStalled: "#f08a4b"
    readonly property color stateLocked: "#f0524b"
    readonly property color stateZero: "#8fa2b3"
    readonly property color alertFill: "#1a2733"
    readonly property color alertEndedFill: "#141e28"
    readonly property color alertText: "#e7edf3"
    readonly property color alertDetail: "#8c9fac"
    readonly property color alertPrevious: "#5d6f7d"
    readonly property int alertColumnWidth: 260
    // The side column (the trains or the alerts, by tab) and the selected train's details
    readonly property int sideColumnWidth: 260
    readonly property int trainDetailsWidth: 320
    readonly property int detailsInset: 12
    readonly property int detailsBottom: 96
    readonly property color detailsFill: "#f0101b24"

    // Synoptic area
    readonly property color synopticFill: "#0f1922"
    readonly property color synopticTitle: "#dce5ec"
    readonly property color caption: "#91a6b9"
    readonly property color legendTrack: "#b8c7d2"
    readonly property color legendTrain: "#efbe72"
    readonly property color legendSignal: "#74c4e8"
    readonly property color legendBalise: "#c5b8ef"
    readonly property color legendMarker: "#e6c789"
    readonly property color emptyList: "#8fa4b7"
    readonly property color signalLine: "#869dad"

    // Track rows
    readonly property color rowFill: "#14212c"
    readonly property color rowBorder: "#263746"
    readonly property color rowSelectedBorder: "#4c9296"
    readonly property color trackId: "#93abbc"
    readonly property color trackStation: "#c3d2dd"
    readonly property color trackLimit: "#8095a8"
    readonly property color rail: "#b9c8d3"
    readonly property color railEnd: "#dce7ec"
    readonly property color mast: "#758ea1"
    readonly property color signalHead: "#74c4e8"
    readonly property color baliseHead: "#c5b8ef"
    readonly property color markerLetter: "#e6c789"
    readonly property color aspect: "#b9c8d3"
    readonly property color trainBody: "#efbe72"
    readonly property color trainBodyBorder: "#ffe4ae"
    readonly property color trainLabel: "#f4cc8b"
    readonly property color trainMarkerSpeed: "#efbe72"
    readonly property int rowHeight: 188
    readonly property int railTop: 132
    readonly property int railInset: 52

    // Network panel
    readonly property color panelFill: "#070b0a"
    readonly property color panelBorder: "#38493f"
    readonly property color panelHeaderFill: "#dd101b16"
    readonly property color panelTitle: "#edf1df"
    readonly property color panelSelection: "#65db87"
    readonly property color panelFooterFill: "#df101b16"
    readonly property color panelLegend: "#a8b9a8"
    readonly property int panelHeaderHeight: 48
    // The room left around the framed network: alone in the window (the toolbar and the legend over
    // the map), and under the panel's header, where nothing covers the map.
    readonly property size mapFitMargins: Qt.size(50, 90)
    readonly property size mapFitMarginsUnderHeader: Qt.size(40, 30)
    // Below this width the map's header leaves out its title, so that its choices fit.
    readonly property int mapToolbarTitleWidth: 1000
    // Below this height the train column leaves out its read-only notice, for the list's sake.
    readonly property int trainNoticeMinimumColumn: 450
    readonly property int panelFooterHeight: 42
    // "Carte seule": what floats over the map
    readonly property color floatFill: "#d9101b16"
    readonly property color floatText: "#edf1df"
    readonly property color legendOccupation: "#ff6b6b"
    readonly property color legendReservation: "#65db87"
    readonly property color legendPath: "#e4bf50"
    readonly property color legendMapTrain: "#f6f8ff"
    readonly property color legendSelectedTrain: "#ffdf75"
    readonly property color legendDanger: "#e53935"
    readonly property color legendClear: "#43a047"
    readonly property color legendNeutral: "#8a8f8c"
    readonly property color legendStation: "#edf1df"
    // The overview inset while zoomed in: the whole network, its occupations and the view
    readonly property color overviewFill: "#e6101b16"
    readonly property color overviewBorder: "#38493f"
    readonly property color overviewTrack: "#6f8496"
    readonly property color overviewOccupation: "#ff6b6b"
    readonly property color overviewView: "#ffdf75"
    readonly property int overviewLongSide: 220
    readonly property int overviewShortSide: 70
    readonly property int overviewMargin: 8

    // Replay and recording
    readonly property color replayFill: "#241f38"
    readonly property color replayBorder: "#5b4f8c"
    readonly property color replayText: "#c5b8ef"
    readonly property color replayTime: "#e7edf3"
    readonly property color recordingText: "#ef8f8f"
    readonly property int replayBarHeight: 44
    readonly property int replayButtonMinWidth: 44
    readonly property int replayPlayButtonWidth: 84
    readonly property int replayBannerMinWidth: 90
    readonly property int replayBannerMaxWidth: 220
    readonly property int replaySliderMinWidth: 160
    // The time bar's least width: its banner cut short, buttons, slider and time.
    readonly property int replayBarMinWidth: 920
    readonly property int recorderStatusMinWidth: 40
    // The list of recordings
    readonly property color recordingListFill: "#111b24"
    readonly property color recordingRowFill: "#1a2733"
    readonly property color recordingRowBorder: "#263c4c"
    readonly property color recordingName: "#e7edf3"
    readonly property color recordingDetail: "#8c9fac"
    readonly property color recordingProblem: "#efbe72"
    readonly property color recordingBusy: "#7bdbae"
    readonly property color recordingError: "#ef8f8f"
    readonly property int recordingRowHeight: 46
    readonly property int recordingListWidth: 1000
    readonly property real disabledOpacity: 0.35
    readonly property int replayMarkHeight: 10

    // Footer
    readonly property color updateStatus: "#91a6b9"
    readonly property color versionLine: "#758b9c"

    // Signal sizes
    readonly property real defaultSignalSize: 64
    readonly property real minimumSignalSize: 24
    readonly property real maximumSignalSize: 96
    readonly property real signalSizeStep: 4
}
