// The program's icon: its clock face at a quarter past twelve, as the little tray icon
// shows it, drawn from one set of shapes as a picture at any size and as SVG text.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

namespace clock_face {

// The face drawn into a square image of the given side, on a transparent background.
QImage Draw(int size);

// The same face as a scalable SVG document.
QString Svg();

// The face at the window icon sizes, 16 to 64 pixels, for windows and dialogs.
QIcon Icon();

}  // namespace clock_face
