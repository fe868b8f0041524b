#ifndef SAVELOG_H
#define SAVELOG_H

#include <QDateTime>
#include <QString>

class QWidget;

// Asks where to save the log's text, suggesting a name dated by the run in the user's
// documents folder (else the home folder), and writes it there as UTF-8,
// over nothing but a regular file; a failure is shown in a message box.
// parent: the widget the dialogs belong to; instrument: model and serial
// ("KD740B-1234") for the name, empty when unknown; runBegan: when the run
// the log tells of began, invalid when none did (the save's time then).
void saveLogAs(QWidget *parent, const QString &text, const QString &instrument = QString(),
               const QDateTime &runBegan = QDateTime());

#endif
