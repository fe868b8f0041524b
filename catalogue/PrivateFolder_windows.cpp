#include "catalogue/PrivateFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <windows.h>

// The user's temporary folder is the user's alone. The library is given
// names in the ANSI code page, the one Qt decodes them from; the files are
// opened here by their wide names.

namespace {

const QString prefix = QStringLiteral("kd740-images-");

std::wstring wide(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

std::wstring wide(const QByteArray &path)
{
    return wide(QFile::decodeName(path));
}

// A file still held open by its run is not shared for deletion, and its
// folder is held too: only what no live run holds goes.
bool removeFolder(const QString &path)
{
    const QDir folder(path);
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const std::wstring file = wide(folder.filePath(name));
        ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(file.c_str());
    }
    return ::RemoveDirectoryW(wide(path).c_str()) != 0;
}

// A temporary folder below a user name outside the ANSI code page has no
// such name: its short name, where the volume keeps them, has.
QByteArray libraryName(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (QFile::decodeName(name) == path)
        return name;
    wchar_t shortName[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(wide(path).c_str(), shortName, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return name;
    return QFile::encodeName(QString::fromWCharArray(shortName, int(length)));
}

// A live run holds its folder open without delete sharing: asking for
// deletion fails there.
bool heldByRun(const QString &path)
{
    const HANDLE probe = ::CreateFileW(wide(path).c_str(), DELETE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return true;
    ::CloseHandle(probe);
    return false;
}

} // namespace

bool makePrivateFolder(PrivateFolder *folder)
{
    const QDir base(QDir::tempPath());
    for (const QString &name : base.entryList({ prefix + QLatin1Char('*') }, QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!heldByRun(base.filePath(name)))
            removeFolder(base.filePath(name));
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString path = base.filePath(prefix + QString::number(QRandomGenerator::system()->generate64(), 36));
        if (!::CreateDirectoryW(wide(path).c_str(), nullptr))
            continue;
        const HANDLE lock = ::CreateFileW(wide(path).c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (lock == INVALID_HANDLE_VALUE) {
            ::RemoveDirectoryW(wide(path).c_str());
            return false;
        }
        folder->path = libraryName(QDir::toNativeSeparators(path));
        folder->lock = reinterpret_cast<NativeHandle>(lock);
        return true;
    }
    return false;
}

void removePrivateFolder(PrivateFolder *folder)
{
    if (folder->lock == noHandle)
        return;
    ::CloseHandle(reinterpret_cast<HANDLE>(folder->lock));
    folder->lock = noHandle;
    removeFolder(QFile::decodeName(folder->path));
}

NativeHandle createPrivateFile(const QByteArray &path)
{
    const HANDLE file = ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                      nullptr);
    return file == INVALID_HANDLE_VALUE ? noHandle : reinterpret_cast<NativeHandle>(file);
}

bool writeAll(NativeHandle file, const char *data, qint64 size)
{
    while (size > 0) {
        const DWORD chunk = DWORD(qMin<qint64>(size, 1 << 20));
        DWORD written = 0;
        if (!::WriteFile(reinterpret_cast<HANDLE>(file), data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// Reopened for reading, shared for reading alone: nobody can write it or
// delete it while it is held. Between the two handles another program of the
// user's could have opened it, so what it holds is hashed again.
NativeHandle sealPrivateFile(const QByteArray &path, NativeHandle writing, const QByteArray &sha256)
{
    const bool closed = ::CloseHandle(reinterpret_cast<HANDLE>(writing)) != 0;
    const std::wstring name = wide(path);
    if (!closed || !::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_READONLY))
        return noHandle;
    const HANDLE held = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE)
        return noHandle;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    DWORD read = 0;
    bool ok = true;
    while ((ok = ::ReadFile(held, chunk.data(), DWORD(chunk.size()), &read, nullptr) != 0) && read > 0)
        hash.addData(QByteArray::fromRawData(chunk.constData(), int(read)));
    if (!ok || hash.result().toHex() != sha256) {
        ::CloseHandle(held);
        return noHandle;
    }
    return reinterpret_cast<NativeHandle>(held);
}

void closeNative(NativeHandle file)
{
    if (file != noHandle)
        ::CloseHandle(reinterpret_cast<HANDLE>(file));
}
