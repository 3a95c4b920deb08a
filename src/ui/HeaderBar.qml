import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The window's header: logo, titles, the live badge and the connection bar.
RowLayout {
    id: header

    property bool live: false

    // A recording is shown: the badge says so instead of "live".
    property bool replaying: false
    // The process id field, for the window's shortcut that goes there.
    readonly property alias pidField: pid

    signal connectRequested(string pid)
    signal disconnectRequested()

    spacing: 14

    Rectangle {
        Layout.preferredWidth: 42
        Layout.preferredHeight: 42
        radius: 7
        color: Theme.logoFill
        Text {
            anchors.centerIn: parent
            text: "ZR"
            color: Theme.logoText
            font.bold: true
            font.pixelSize: 20
        }
    }

    ColumnLayout {
        spacing: 0
        Text {
            text: "ZORVY / TCO"
            font.pixelSize: 24
            font.weight: Font.DemiBold
            color: Theme.title
        }
        Text {
            text: "TABLEAU DE CONTRÔLE OPTIQUE · LABORATOIRE SDK"
            font.pixelSize: 10
            font.letterSpacing: 1.5
            color: Theme.subtitle
        }
    }

    Item {
        Layout.fillWidth: true
    }


    Rectangle {
        objectName: "liveBadge"
        Layout.preferredWidth: 116
        Layout.preferredHeight: 30
        radius: 15
        color: header.replaying ? Theme.replayFill : header.live ? Theme.liveFill : Theme.waitingFill
        Text {
            objectName: "liveBadgeText"
            anchors.centerIn: parent
            text: header.replaying ? "●  RELECTURE" : header.live ? "●  EN DIRECT" : "●  EN ATTENTE"
            color: header.replaying ? Theme.replayText : header.live ? Theme.liveText : Theme.waitingText
            font.pixelSize: 11
            font.bold: true
        }
    }

    TextField {
        id: pid
        objectName: "pid"
        Layout.preferredWidth: 142
        placeholderText: "PID · auto si vide"
        placeholderTextColor: Theme.placeholder
        selectByMouse: true
        // A process id is a positive whole number: nothing else can be typed.
        validator: RegularExpressionValidator {
            regularExpression: /[0-9]{0,10}/
        }
        inputMethodHints: Qt.ImhDigitsOnly
        Accessible.name: "PID du jeu"
        onAccepted: header.connectRequested(text)
    }

    Button {
        objectName: "connectButton"
        text: "Connecter"
        onClicked: header.connectRequested(pid.text)
    }

    Button {
        objectName: "disconnectButton"
        text: "Déconnecter"
        onClicked: header.disconnectRequested()
    }
}
