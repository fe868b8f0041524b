#include "catalogue/FileDigest.h"

#include <QCryptographicHash>
#include <QFile>

namespace {

constexpr qint64 chunkSize = 1 << 16;

} // namespace

FileDigest digestOf(QIODevice &device)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    FileDigest digest;
    digest.size = 0;
    QByteArray chunk;
    while (!(chunk = device.read(chunkSize)).isEmpty()) {
        hash.addData(chunk);
        digest.size += chunk.size();
    }
    const auto *file = qobject_cast<const QFileDevice *>(&device);
    if (file && file->error() != QFileDevice::NoError)
        return FileDigest();
    digest.sha256 = hash.result().toHex();
    return digest;
}

FileDigest digestOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileDigest();
    return digestOf(file);
}
