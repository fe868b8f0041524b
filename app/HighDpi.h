#ifndef HIGHDPI_H
#define HIGHDPI_H

// Scales the window, its margins and its text together with the display's
// scaling, as Qt 6 does by default. Call before the QApplication is made.
void enableHighDpiScaling();

#endif
