// Palettrix in Shotcut's list of video filters: the frei0r plug-in with a panel of its own (ui.qml).
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr("Palettrix")
    keywords: qsTr('palette dither retro pixel 8-bit bayer floyd steinberg', 'search keywords for the Palettrix video filter') + ' palettrix'
    mlt_service: "frei0r.palettrix"
    objectName: "palettrix"
    qml: "ui.qml"
}
