#ifndef UNTRUSTEDTEXT_H
#define UNTRUSTEDTEXT_H

#include <QString>

// Text from outside the program (the system bus, the device library) as it
// may stand in a log line, a terminal, JSON or a record: every control
// character (C0, DEL, C1, escape) replaced by "?", so none can move the
// cursor, colour the terminal or start a line of its own; and no longer than
// a line should be, cut with "..." where cut.
QString untrustedText(const QString &text);

#endif
