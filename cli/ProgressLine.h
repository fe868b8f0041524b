#ifndef PROGRESSLINE_H
#define PROGRESSLINE_H

#include <QString>

// "M:SS elapsed".
QString elapsedText(int seconds);

// The progress as one line: what is being done, and for how long.
QString progressLine(const QString &step, int elapsedSeconds);

#endif
