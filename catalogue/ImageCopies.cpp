#include "catalogue/ImageCopies.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QIODevice>

namespace {

constexpr qint64 chunkSize = 1 << 16;

} // namespace

ImageCopies::~ImageCopies()
{
    removeAll();
}

// Only the folder and the table are guarded: the copying itself runs unlocked,
// so that removeAll() never waits for a slow disk. A copy that removeAll()
// overtook is removed with the folder.
FileDigest ImageCopies::copy(QIODevice &source, const QString &fileName)
{
    QByteArray target;
    NativeHandle writing = noHandle;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (over || fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || fileName.contains(QLatin1Char('\\')))
            return FileDigest();
        if (folder.lock == noHandle && !makePrivateFolder(&folder))
            return FileDigest();
        discardLocked(fileName);
        target = pathIn(fileName);
        writing = createPrivateFile(target);
    }
    if (writing == noHandle)
        return FileDigest();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    FileDigest digest;
    digest.size = 0;
    bool copied = true;
    QByteArray chunk;
    while (copied && !(chunk = source.read(chunkSize)).isEmpty()) {
        hash.addData(chunk);
        digest.size += chunk.size();
        copied = writeAll(writing, chunk.constData(), chunk.size());
    }
    const auto *file = qobject_cast<const QFileDevice *>(&source);
    copied = copied && !(file && file->error() != QFileDevice::NoError);
    digest.sha256 = hash.result().toHex();
    const NativeHandle sealed = copied ? sealPrivateFile(target, writing, digest.sha256) : noHandle;
    if (!copied)
        closeNative(writing);
    const std::lock_guard<std::mutex> lock(mutex);
    if (sealed == noHandle || over) {
        closeNative(sealed);
        QFile::remove(QFile::decodeName(target));
        return FileDigest();
    }
    held.insert(fileName, sealed);
    return digest;
}

QByteArray ImageCopies::path(const QString &fileName) const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return held.contains(fileName) ? pathIn(fileName) : QByteArray();
}

void ImageCopies::discard(const QString &fileName)
{
    const std::lock_guard<std::mutex> lock(mutex);
    discardLocked(fileName);
}

void ImageCopies::removeAll()
{
    const std::lock_guard<std::mutex> lock(mutex);
    over = true;
    for (const NativeHandle file : qAsConst(held))
        closeNative(file);
    held.clear();
    removePrivateFolder(&folder);
}

QByteArray ImageCopies::pathIn(const QString &fileName) const
{
    return folder.path + QDir::separator().toLatin1() + QFile::encodeName(fileName);
}

void ImageCopies::discardLocked(const QString &fileName)
{
    const auto it = held.find(fileName);
    if (it == held.end())
        return;
    closeNative(it.value());
    held.erase(it);
    const QString path = QFile::decodeName(pathIn(fileName));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(path);
}
