#ifndef NATIVEFILE_H
#define NATIVEFILE_H

#include <QByteArray>

class QFile;

// Files named as the system names them and as the device library is given
// them: a name need not be text in the locale's encoding, which a QString
// could not carry.

enum class FileKind { Missing, Folder, Regular, Other };

FileKind fileKind(const QByteArray &path);

// Opens path for reading into file when it is a regular file; anything else
// (a FIFO among them) is refused without waiting on it.
bool openRegularFile(const QByteArray &path, QFile &file);

#endif
