#ifndef PRIVATEFOLDER_H
#define PRIVATEFOLDER_H

#include <QByteArray>

#include <cstdint>

// A folder of one run's own, for files nothing else may change while the
// run uses them: only this user may open it, and its files are read-only and
// held open by the run, on Windows without write or delete sharing. A run
// killed before it removed its folder leaves it for the next run to remove.

// A file descriptor or a Windows handle.
using NativeHandle = std::intptr_t;
constexpr NativeHandle noHandle = -1;

struct PrivateFolder
{
    // As the system names it, and as the device library is given the files in it.
    QByteArray path;
    // Held while the run lasts: it tells a later run that this one still uses the folder.
    NativeHandle lock = noHandle;
};

// Removes the folders of runs that are over, then makes a new one.
bool makePrivateFolder(PrivateFolder *folder);
// Removes the files in it (closed by then) and the folder itself.
void removePrivateFolder(PrivateFolder *folder);

// A new file at path that no one else has open, for writing.
NativeHandle createPrivateFile(const QByteArray &path);
bool writeAll(NativeHandle file, const char *data, qint64 size);
// Done writing: the file becomes read-only and is held open for reading
// alone. Takes over writing. noHandle where it could not be kept so, or
// where its content, read again, is not sha256 (lower-case hexadecimal).
NativeHandle sealPrivateFile(const QByteArray &path, NativeHandle writing, const QByteArray &sha256);
void closeNative(NativeHandle file);

#endif
