#include "workers/ImageCheck.h"

#include "catalogue/NativeFile.h"

#include <QFile>

#include <atomic>

namespace {

std::atomic<ImageCheckObserver *> currentObserver { nullptr };

// What is wrong with the image at path, as the start of its log line, or
// null. Only a regular file is ever opened, so a FIFO cannot block the check.
const char *imageProblem(const QByteArray &path)
{
    switch (fileKind(path)) {
    case FileKind::Missing: return "Firmware image not found: ";
    case FileKind::Folder:
    case FileKind::Other: return "Firmware image is not a file: ";
    case FileKind::Regular: break;
    }
    QFile file;
    if (!openRegularFile(path, file))
        return "Firmware image cannot be read: ";
    if (file.size() <= 0)
        return "Firmware image is empty: ";
    return nullptr;
}

} // namespace

QString firstUnusableImage(const QVector<QByteArray> &paths)
{
    for (const QByteArray &path : paths) {
        if (path.isEmpty())
            return QStringLiteral("No firmware image for this device type.");
        const char *problem = imageProblem(path);
        if (ImageCheckObserver *observer = currentObserver.load())
            observer->imageChecked(path, !problem);
        if (problem)
            return QString::fromLatin1(problem) + QFile::decodeName(path);
    }
    return QString();
}

void setImageCheckObserver(ImageCheckObserver *observer)
{
    currentObserver.store(observer);
}
