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
