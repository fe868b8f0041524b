#ifndef FILEACCESS_H
#define FILEACCESS_H

#include <QString>

class SimulatedInstrument;

// Takes every right to read the file away, the way this platform does.
bool makeUnreadable(const QString &path);

// What may sit in a file's place besides a file or a folder.
enum class SpecialFile { DanglingLink, Fifo, Device };
// Why this platform's file system has no such thing; empty if it has.
QString missingSpecialFile(SpecialFile kind);
// Puts one in place of the file at path.
bool replaceWithSpecialFile(const QString &path, SpecialFile kind);

// Writes that would take any file of this process past bytes fail, as on a
// full disk, with the system's own reason, until this is called with -1.
// Empty, or why this platform cannot.
QString limitFileSize(qint64 bytes);

// While this lives, the files touched by this thread, and by the threads it
// starts, are accessed as an unprivileged user would access them, where the
// process has rights that override a file's own.
class UnprivilegedFileAccess
{
public:
    explicit UnprivilegedFileAccess(const SimulatedInstrument &sim);
    ~UnprivilegedFileAccess();
    UnprivilegedFileAccess(const UnprivilegedFileAccess &) = delete;
    UnprivilegedFileAccess &operator=(const UnprivilegedFileAccess &) = delete;

    static bool canRead(const QString &path);

private:
    bool m_changed = false;
};

#endif
