#ifndef MAINWINDOWLOOKUP_H
#define MAINWINDOWLOOKUP_H

#include <QApplication>
#include <QWidget>

// The updater's main window, for code loaded into the program that cannot
// link the updater's classes; null before it exists.
inline QWidget *findMainWindow()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        if (widget->inherits("MainWindow"))
            return widget;
    }
    return nullptr;
}

#endif
