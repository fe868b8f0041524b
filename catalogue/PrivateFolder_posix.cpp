#include "catalogue/PrivateFolder.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray prefix = QByteArrayLiteral("kd740-images-");

// The user's runtime folder where the session has one: it goes at logout.
QByteArray baseFolder()
{
    QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat info = {};
    if (runtime.startsWith('/') && ::stat(runtime.constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::getuid())
        return runtime;
    return QFile::encodeName(QDir::tempPath());
}

void emptyFolder(int folder)
{
    DIR *entries = ::fdopendir(::dup(folder));
    if (!entries)
        return;
    while (const dirent *entry = ::readdir(entries)) {
        if (qstrcmp(entry->d_name, ".") != 0 && qstrcmp(entry->d_name, "..") != 0)
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

// Each folder of ours that no live run holds locked.
void removeLeftovers(const QByteArray &base)
{
    DIR *entries = ::opendir(base.constData());
    if (!entries)
        return;
    while (const dirent *entry = ::readdir(entries)) {
        if (!QByteArray(entry->d_name).startsWith(prefix))
            continue;
        const QByteArray path = base + '/' + entry->d_name;
        const int folder = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat info = {};
        if (folder < 0)
            continue;
        if (::fstat(folder, &info) == 0 && info.st_uid == ::getuid() && ::flock(folder, LOCK_EX | LOCK_NB) == 0) {
            emptyFolder(folder);
            ::rmdir(path.constData());
        }
        ::close(folder);
    }
    ::closedir(entries);
}

} // namespace

// A later run that scans between mkdtemp and the lock would remove the new
// folder: the copies then fail, and the run refuses its images.
bool makePrivateFolder(PrivateFolder *folder)
{
    const QByteArray base = baseFolder();
    removeLeftovers(base);
    QByteArray path = base + '/' + prefix + "XXXXXX";
    if (!::mkdtemp(path.data()))
        return false;
    const int lock = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        if (lock >= 0)
            ::close(lock);
        ::rmdir(path.constData());
        return false;
    }
    folder->path = path;
    folder->lock = lock;
    return true;
}

void removePrivateFolder(PrivateFolder *folder)
{
    if (folder->lock == noHandle)
        return;
    emptyFolder(int(folder->lock));
    ::rmdir(folder->path.constData());
    ::close(int(folder->lock));
    folder->lock = noHandle;
}

NativeHandle createPrivateFile(const QByteArray &path)
{
    const int file = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR);
    return file < 0 ? noHandle : file;
}

bool writeAll(NativeHandle file, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(int(file), data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// Made read-only when it was created: nobody opens it for writing again. No
// one else could open it meanwhile, so what was written is what it holds.
NativeHandle sealPrivateFile(const QByteArray &path, NativeHandle writing, const QByteArray &)
{
    const int held = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const bool closed = ::close(int(writing)) == 0;
    if (held >= 0 && !closed) {
        ::close(held);
        return noHandle;
    }
    return held < 0 ? noHandle : held;
}

void closeNative(NativeHandle file)
{
    if (file != noHandle)
        ::close(int(file));
}
