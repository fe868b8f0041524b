#include "ExportedNames.h"

#include <QDir>

#include <windows.h>

// Read from the DLL's own export table, mapped as Windows maps it: a Windows
// program cannot wait for a Linux tool such as objdump under Wine.
bool exportedNames(const QString &library, QStringList *names)
{
    const std::wstring path = QDir::toNativeSeparators(library).toStdWString();
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!module)
        return false;
    const auto *base = reinterpret_cast<const unsigned char *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &table = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (table.Size != 0) {
        const auto *exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + table.VirtualAddress);
        const auto *nameAddresses = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i)
            *names << QString::fromLatin1(reinterpret_cast<const char *>(base + nameAddresses[i]));
    }
    FreeLibrary(module);
    return true;
}
