#ifndef SAVELOG_H
#define SAVELOG_H

#include <QString>

class QWidget;

// Asks where to save the log's text, suggesting a dated name in the user's
// documents folder (else the home folder), and writes it there as UTF-8,
// over nothing but a regular file; a failure is shown in a message box.
// parent: the widget the dialogs belong to; instrument: model and serial
// ("KD740B-1234") for the name, empty when unknown.
void saveLogAs(QWidget *parent, const QString &text, const QString &instrument = QString());

#endif
