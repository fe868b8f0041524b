#ifndef SAVELOG_H
#define SAVELOG_H

#include <QString>

class QWidget;

// Asks where to save the log's text, suggesting a dated name in the user's
// documents folder, and writes it there as UTF-8; a failure is shown in a
// message box. parent: the widget the dialogs belong to.
void saveLogAs(QWidget *parent, const QString &text);

#endif
