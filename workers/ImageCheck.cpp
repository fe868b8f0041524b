#include "workers/ImageCheck.h"

#include "catalogue/ImageSource.h"
#include "catalogue/NativeFile.h"
#include "catalogue/OutsideText.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>

namespace {

thread_local ImageCheckObserver *threadObserver = nullptr;

const QString notShipped = QStringLiteral("Firmware image is not the one shipped: ");

// What is wrong with the file at path, as the start of its log line, or
// null, with the file open. Only a regular file is ever opened, so a FIFO
// cannot block the check. The path is the library's, as the system names it.
const char *fileProblem(const QByteArray &path, QFile &file)
{
    switch (fileKind(path)) {
    case FileKind::Missing: return "Firmware image not found: ";
    case FileKind::Folder:
    case FileKind::Other: return "Firmware image is not a file: ";
    case FileKind::Regular: break;
    }
    if (!openRegularFile(path, file))
        return "Firmware image cannot be read: ";
    if (file.size() <= 0)
        return "Firmware image is empty: ";
    return nullptr;
}

// The one read of the image in a run: the record takes its size and SHA-256
// from here. A file of another size than the shipped one is not read.
// path: as the log shows it.
QString contentProblem(const ExpectedImage &expected, const QString &path, QFile &file, FileDigest *digest)
{
    digest->size = file.size();
    if (expected.sha256.isEmpty() || (expected.size >= 0 && digest->size != expected.size))
        return notShipped + path;
    *digest = digestOf(file);
    if (digest->size < 0)
        return QStringLiteral("Firmware image cannot be read: ") + path;
    return digest->sha256 == expected.sha256 ? QString() : notShipped + path;
}

QString imageProblem(const QByteArray &path, CheckedImage *image)
{
    QFile file;
    const QString shown = outsideText(image->path);
    if (const char *problem = fileProblem(path, file))
        return QString::fromLatin1(problem) + shown;
    return contentProblem(image->expected, shown, file, &image->found);
}

} // namespace

QString firstUnusableImage(const ImageSource &images, const QVector<QByteArray> &paths)
{
    if (paths.contains(QByteArray()))
        return QStringLiteral("No firmware image for this device type.");
    // Read once for all the images, so that each is held to the same list.
    const ImageList list = images.read();
    if (!list.problem.isEmpty())
        return list.problem;
    ImageCheckObserver *const observer = threadObserver;
    if (observer && list.signer.isEmpty())
        observer->unsignedListTaken();
    for (const QByteArray &path : paths) {
        CheckedImage image;
        image.path = QFile::decodeName(path);
        image.expected = list.expectedImage(QFileInfo(image.path).fileName());
        image.signer = list.signer;
        QString problem = imageProblem(path, &image);
        image.usable = problem.isEmpty();
        if (observer)
            observer->imageChecked(image);
        if (!problem.isEmpty())
            return problem;
    }
    return QString();
}

void setImageCheckObserver(ImageCheckObserver *observer)
{
    threadObserver = observer;
}

QString bootImageProblem(const ImageSource &images, const DeviceStatus &status)
{
    return firstUnusableImage(images, { bootImagePath(images, status.targetFirmware) });
}
