// The Palettrix panel in Shotcut. The plug-in's doubles are the controls' values in thousands (see
// docs/frei0r.md), so each slider shows the control's own value and stores it divided by 1000; the
// popups store the effect's labels, the palette a file's path.
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Dialogs 1.2
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

Item {
    id: root

    property var patterns: ['Threshold', 'Floyd Steinberg', 'False Floyd Steinberg', 'Filter Lite', 'Zhigang Fan', 'Shiau-Fan', 'Jarvis, Judice & Ninke', 'Stucki', 'Burkes', 'Sierra', 'Two Row Sierra', 'Atkinson', 'Bayer 2x2', 'Bayer 3x3', 'Bayer 5x3', 'Bayer 4x4', 'Bayer 8x8', 'Cluster Dot 4x4', 'Cluster Dot 8x8', 'Horizontal 2x2', 'Horizontal 8x1', 'Horizontal 12x4', 'Vertical 2x2', 'Vertical 1x8', 'Vertical 4x12', 'Diagonal 5x5']
    property var swatches: ['Custom', '1-bit Gray', '2-bit Gray', '4-bit Gray', '3-bit RGB', '6-bit RGB', '9-bit RGB', 'PICO-8', 'Gameboy', 'AppleII', 'CGA', 'VGA 2-bit', 'VGA 8-bit', 'VIC-20', 'Amstrad CPC', 'MSX', 'ZX Spectrum', 'Commodore 64', 'Commodore 64 - Orrel', 'NES', 'FamiCube - Iven', 'Web Safe']
    // Each slider: its property, label, range, default and unit, in the control's own units.
    property var sliders: [
        {'property': 'offset x', 'label': qsTr('Offset X'), 'low': -1000, 'high': 1000, 'initial': 0, 'suffix': ' px', 'decimals': 0},
        {'property': 'offset y', 'label': qsTr('Offset Y'), 'low': -1000, 'high': 1000, 'initial': 0, 'suffix': ' px', 'decimals': 0},
        {'property': 'scale', 'label': qsTr('Scale'), 'low': 1, 'high': 100, 'initial': 1, 'suffix': ' px', 'decimals': 0},
        {'property': 'threshold red', 'label': qsTr('Threshold Red'), 'low': -1000, 'high': 1000, 'initial': 0, 'suffix': ' %', 'decimals': 2},
        {'property': 'threshold green', 'label': qsTr('Threshold Green'), 'low': -1000, 'high': 1000, 'initial': 0, 'suffix': ' %', 'decimals': 2},
        {'property': 'threshold blue', 'label': qsTr('Threshold Blue'), 'low': -1000, 'high': 1000, 'initial': 0, 'suffix': ' %', 'decimals': 2}
    ]
    property bool ready: false

    function indexOf(list, text, fallback) {
        var wanted = String(text).toLowerCase();
        for (var i = 0; i < list.length; ++i) {
            if (list[i].toLowerCase() === wanted || String(i + 1) === wanted)
                return i;
        }
        return fallback;
    }

    function fileName(path) {
        var parts = String(path).split('/');
        return parts[parts.length - 1];
    }

    width: 420
    height: 330
    Component.onCompleted: {
        if (filter.isNew) {
            filter.set('pattern', 'Bayer 8x8');
            filter.set('swatch', '6-bit RGB');
            filter.set('palette file', '');
            for (var i = 0; i < sliders.length; ++i)
                filter.set(sliders[i].property, sliders[i].initial / 1000);
        }
        patternCombo.currentIndex = indexOf(patterns, filter.get('pattern'), 16);
        swatchCombo.currentIndex = indexOf(swatches, filter.get('swatch'), 5);
        paletteLabel.text = filter.get('palette file') === '' ? qsTr('No palette file') : fileName(filter.get('palette file'));
        ready = true;
    }

    FileDialog {
        id: paletteDialog

        title: qsTr('Open a palette file')
        selectMultiple: false
        selectFolder: false
        nameFilters: [qsTr('Palette files') + ' (*.ase *.gpl *.pal *.hex *.act *.png)', qsTr('All files') + ' (*)']
        onAccepted: {
            var path = decodeURIComponent(String(paletteDialog.fileUrl).replace(/^file:\/\//, ''));
            filter.set('palette file', path);
            paletteLabel.text = fileName(path);
            swatchCombo.currentIndex = 0;
            filter.set('swatch', swatches[0]);
        }
    }

    GridLayout {
        columns: 3
        anchors.fill: parent
        anchors.margins: 8

        Label {
            text: qsTr('Pattern')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ComboBox {
            id: patternCombo

            Layout.fillWidth: true
            model: root.patterns
            onActivated: filter.set('pattern', root.patterns[currentIndex])
        }

        Shotcut.UndoButton {
            onClicked: {
                patternCombo.currentIndex = 16;
                filter.set('pattern', root.patterns[16]);
            }
        }

        Label {
            text: qsTr('Swatch')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ComboBox {
            id: swatchCombo

            Layout.fillWidth: true
            model: root.swatches
            onActivated: filter.set('swatch', root.swatches[currentIndex])
        }

        Shotcut.UndoButton {
            onClicked: {
                swatchCombo.currentIndex = 5;
                filter.set('swatch', root.swatches[5]);
            }
        }

        Label {
            text: qsTr('Palette file')
            Layout.alignment: Qt.AlignRight
        }

        RowLayout {
            Shotcut.Button {
                text: qsTr('Open...')
                onClicked: paletteDialog.open()
            }

            Label {
                id: paletteLabel

                Layout.fillWidth: true
                elide: Text.ElideMiddle
            }
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('palette file', '');
                paletteLabel.text = qsTr('No palette file');
            }
        }

        Repeater {
            model: root.sliders

            delegate: Label {
                text: modelData.label
                Layout.row: 3 + index
                Layout.column: 0
                Layout.alignment: Qt.AlignRight
            }
        }

        Repeater {
            id: sliderRepeater

            model: root.sliders

            delegate: Shotcut.SliderSpinner {
                Layout.row: 3 + index
                Layout.column: 1
                Layout.fillWidth: true
                minimumValue: modelData.low
                maximumValue: modelData.high
                decimals: modelData.decimals
                suffix: modelData.suffix
                stepSize: 1
                value: filter.getDouble(modelData.property) * 1000
                onValueChanged: {
                    if (root.ready)
                        filter.set(modelData.property, value / 1000);
                }
            }
        }

        Repeater {
            model: root.sliders

            delegate: Shotcut.UndoButton {
                Layout.row: 3 + index
                Layout.column: 2
                onClicked: sliderRepeater.itemAt(index).value = modelData.initial
            }
        }

        Item {
            Layout.fillHeight: true
            Layout.columnSpan: 3
        }
    }
}
