#include "FileAccess.h"

#include <QDir>
#include <QFile>

#include <aclapi.h>
#include <windows.h>

// A protected, empty access list grants nobody anything, and nothing is
// inherited from the folder.
bool makeUnreadable(const QString &path)
{
    ACL acl;
    if (!InitializeAcl(&acl, sizeof acl, ACL_REVISION))
        return false;
    std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    return SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 &acl, nullptr)
        == ERROR_SUCCESS;
}

QString missingSpecialFile(SpecialFile kind)
{
    switch (kind) {
    case SpecialFile::DanglingLink: return QString();
    case SpecialFile::Fifo: return QStringLiteral("Windows keeps named pipes out of the file system");
    case SpecialFile::Device: return QStringLiteral("Windows has no device files in the file system");
    }
    return QString();
}

// QFile::link makes a shell shortcut on Windows, which is a file; this is a
// symbolic link of the file system.
QString limitFileSize(qint64)
{
    return QStringLiteral("Windows has no file size limit for a process");
}

bool replaceWithSpecialFile(const QString &path, SpecialFile kind)
{
    if (kind != SpecialFile::DanglingLink || !QFile::remove(path))
        return false;
    const std::wstring link = QDir::toNativeSeparators(path).toStdWString();
    const std::wstring target = QDir::toNativeSeparators(path + ".gone").toStdWString();
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0;
}

// A Windows process holds no right that reads past a file's access list.
UnprivilegedFileAccess::UnprivilegedFileAccess(const SimulatedInstrument &)
{
}

UnprivilegedFileAccess::~UnprivilegedFileAccess() = default;

bool UnprivilegedFileAccess::canRead(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}
