#ifndef STATUSCOLORS_H
#define STATUSCOLORS_H

#include <QColor>

class QPalette;

// The success green and the failure red of the log, in the shade of their
// hue that reads on the log's background: a contrast of at least 4.5:1,
// darker on a light background and lighter on a dark one.
QColor statusColor(bool success, const QPalette &logPalette);
// The amber of a warning, as readable.
QColor warningColor(const QPalette &logPalette);

// The contrast of two colours as WCAG 2 defines it, from 1 to 21.
double contrastRatio(const QColor &a, const QColor &b);

#endif
