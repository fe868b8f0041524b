#ifndef IMAGECHECK_H
#define IMAGECHECK_H

#include <QByteArray>
#include <QString>
#include <QVector>

// Checks image files before a sequence erases anything, so that no part is
// cleared whose image cannot be written back. Returns the log line for the
// first unusable image, in the order given, or an empty string.
QString firstUnusableImage(const QVector<QByteArray> &paths);

#endif
