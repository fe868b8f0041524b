#ifndef EXPORTEDNAMES_H
#define EXPORTEDNAMES_H

#include <QString>
#include <QStringList>

// The names a shared library exports, read by the platform's binary tools.
// False if the tool could not be run or failed.
bool exportedNames(const QString &library, QStringList *names);

#endif
