#ifndef OUTSIDETEXT_H
#define OUTSIDETEXT_H

#include <QString>

// Text from outside the program (paths and folder names, user and host
// names, the device library's and the system bus's texts) as it may stand in
// a log line, a terminal, JSON or a record. Nothing in it can start a line of
// its own, move the cursor, colour the terminal, turn text around or hide:
// control characters (C0, DEL, C1), the line and paragraph separators, the
// bidirectional controls and the zero-width characters are shown escaped,
// never dropped: \n, \r and \t, any other as \u and four upper-case hex
// digits (\u202E). A backslash that would read as the start of such an
// escape (one followed by n, r, t, u or a backslash, or one at the end) is
// written twice, so that no name can pass for an escape: a Windows path
// keeps its single backslashes except before those letters
// (C:\Users\\tom\firmware).
QString outsideText(const QString &text);

// The same for a text that has no length of its own to keep (the library's,
// the system bus's): no longer than a line should be, cut with "..." where
// cut, before it is escaped.
QString untrustedText(const QString &text);

// A line the program composed, as it goes to a terminal, the log or a
// record: every character outsideText() escapes is escaped the same way, the
// backslash alone excepted, so that a line whose outside text was rendered
// already passes unchanged, and one whose text was missed still cannot
// break or hide.
QString shownLine(const QString &line);

#endif
