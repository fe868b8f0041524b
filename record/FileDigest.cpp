#include "record/FileDigest.h"

#include "catalogue/NativeFile.h"

#include <QCryptographicHash>
#include <QFile>

namespace {

constexpr qint64 chunkSize = 1 << 16;

} // namespace

FileDigest digestOf(const QByteArray &path)
{
    QFile file;
    if (!openRegularFile(path, file))
        return FileDigest();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    FileDigest digest;
    digest.size = 0;
    QByteArray chunk;
    while (!(chunk = file.read(chunkSize)).isEmpty()) {
        hash.addData(chunk);
        digest.size += chunk.size();
    }
    if (file.error() != QFileDevice::NoError)
        return FileDigest();
    digest.sha256 = hash.result().toHex();
    return digest;
}
