#pragma once

// The images of the main window's buttons.

#include <QImage>
#include <QString>

namespace tessel {

// The images of the main window's buttons, drawn in 16 colours on a background whose colour
// (that of the bottom-left pixel) the button makes transparent. Buttons with two images get a
// strip of the normal and the disabled image side by side: 36 by 18, the print button 32 by 16.
// "DB2SQL" has one image of 24 by 24. Names: "Open", "Save", "Execute", "DB2SQL", "Print",
// "Close", "Save1", "Help". An unknown name gives a null image.
QImage ButtonImageStrip(const QString& name);

// How many images the strip of `name` holds (1 or 2).
int ButtonImageCount(const QString& name);

}  // namespace tessel
