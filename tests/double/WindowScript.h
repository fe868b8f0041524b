#ifndef WINDOWSCRIPT_H
#define WINDOWSCRIPT_H

#include <QString>

class QWidget;

// What a library loaded into the real executable uses to work its window
// from inside and to say what it showed.
QWidget *mainWindow();
// Prints the platform plugin, the style, and the title, size and log of the
// main window on stdout.
void printWindow();
// Clicks through the window system, as a user would, so modal blocking holds.
void clickButton(QWidget *top, const QString &text);
// Presses Check Versions and then Update, as a technician would; returns when
// both workflows are over.
void checkThenUpdate(QWidget *window);

#endif
