#include "catalogue/NativeFile.h"

#include <QFile>
#include <QFileInfo>

// The library takes names in the ANSI code page, the one Qt decodes them
// from; Qt then opens them by their wide names.

FileKind fileKind(const QByteArray &path)
{
    const QFileInfo info(QFile::decodeName(path));
    if (!info.exists())
        return FileKind::Missing;
    if (info.isDir())
        return FileKind::Folder;
    return info.isFile() ? FileKind::Regular : FileKind::Other;
}

bool openRegularFile(const QByteArray &path, QFile &file)
{
    if (fileKind(path) != FileKind::Regular)
        return false;
    file.setFileName(QFile::decodeName(path));
    return file.open(QIODevice::ReadOnly);
}
