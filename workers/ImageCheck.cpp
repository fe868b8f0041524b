#include "workers/ImageCheck.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>

namespace {

std::atomic<ImageCheckObserver *> currentObserver { nullptr };

// What is wrong with the image at path, as the start of its log line, or
// null. Only a regular file is ever opened, so a FIFO cannot block the check.
const char *imageProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return "Firmware image not found: ";
    if (!info.isFile())
        return "Firmware image is not a file: ";
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
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
        const QString name = QFile::decodeName(path);
        const char *problem = imageProblem(name);
        if (ImageCheckObserver *observer = currentObserver.load())
            observer->imageChecked(name, !problem);
        if (problem)
            return QString::fromLatin1(problem) + name;
    }
    return QString();
}

void setImageCheckObserver(ImageCheckObserver *observer)
{
    currentObserver.store(observer);
}
