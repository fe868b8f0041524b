#include "workers/ImageCheck.h"

#include "catalogue/ImageCopies.h"
#include "catalogue/ImageSource.h"
#include "catalogue/NativeFile.h"
#include "catalogue/OutsideText.h"

#include <QFile>
#include <QFileInfo>

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

// The one read of the image in a run, straight into its copy: the record
// takes its size and SHA-256 from here, and the library is given the copy.
// A file of another size than the shipped one is not read.
QString contentProblem(const CheckedImage &image, QFile &file, ImageCopies &copies, FileDigest *digest)
{
    const ExpectedImage &expected = image.expected;
    const QString name = QFileInfo(image.path).fileName();
    const QString shown = outsideText(image.path);
    digest->size = file.size();
    if (expected.sha256.isEmpty() || (expected.size >= 0 && digest->size != expected.size))
        return notShipped + shown;
    *digest = copies.copy(file, name);
    if (digest->size < 0)
        return QStringLiteral("Firmware image cannot be copied: ") + shown;
    QString problem;
    if (digest->sha256 != expected.sha256)
        problem = notShipped + shown;
    else if (expected.listedOtherwise)
        problem = QStringLiteral("Firmware image is listed with another digest than the one shipped: ") + shown;
    if (!problem.isEmpty())
        copies.discard(name);
    return problem;
}

QString imageProblem(const QByteArray &path, ImageCopies &copies, CheckedImage *image)
{
    QFile file;
    const QString shown = outsideText(image->path);
    if (const char *problem = fileProblem(path, file))
        return QString::fromLatin1(problem) + outsideText(image->path);
    return contentProblem(*image, file, copies, &image->found);
}

} // namespace

ImageList readImageList(const ImageSource &images)
{
    ImageList list = images.read();
    if (threadObserver && list.problem.isEmpty() && list.signer.isEmpty())
        threadObserver->unsignedListTaken();
    return list;
}

QString firstUnusableImage(const ImageList &list, ImageCopies &copies, const QVector<QByteArray> &paths)
{
    if (paths.contains(QByteArray()))
        return QStringLiteral("No firmware image for this device type.");
    if (!list.problem.isEmpty())
        return list.problem;
    ImageCheckObserver *const observer = threadObserver;
    for (const QByteArray &path : paths) {
        // Proven once in a run: what the bootstrap loaded, the restore writes.
        if (!provenCopy(copies, path).isEmpty())
            continue;
        CheckedImage image;
        image.path = QFile::decodeName(path);
        image.expected = list.expectedImage(QFileInfo(image.path).fileName());
        image.signer = list.signer;
        image.comment = list.comment;
        QString problem = imageProblem(path, copies, &image);
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

QString bootImageProblem(const ImageSource &images, const ImageList &list, ImageCopies &copies,
                         const DeviceStatus &status)
{
    return firstUnusableImage(list, copies, { bootImagePath(images, status.targetFirmware) });
}

QByteArray provenCopy(const ImageCopies &copies, const QByteArray &path)
{
    return path.isEmpty() ? QByteArray() : copies.path(QFileInfo(QFile::decodeName(path)).fileName());
}
