#ifndef IMAGECHECK_H
#define IMAGECHECK_H

#include "catalogue/DeviceStatus.h"
#include "catalogue/FileDigest.h"
#include "catalogue/ImageDigests.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class ImageCopies;
class ImageList;
class ImageSource;

// The run's one read of the folder's SHA256SUMS and its signature, on the
// thread that checks; the observer learns of a list taken unsigned there.
ImageList readImageList(const ImageSource &images);

// Checks image files before a sequence erases anything, so that no part is
// cleared whose image cannot be written back: that the folder's list was
// taken, then that each image is a readable file holding exactly what the
// list expects of it. Each is read once, into its copy among copies, and the
// copy's bytes are the ones proven: the library is given the copy
// (provenCopy). Returns the log line for the folder's or the first unusable
// image's problem, in the order given, or an empty string.
QString firstUnusableImage(const ImageList &list, ImageCopies &copies, const QVector<QByteArray> &paths);
// Why the boot image a bootstrap of status's model would load cannot be
// used, or empty: one the library cannot use would only show as a failed
// bootstrap.
QString bootImageProblem(const ImageSource &images, const ImageList &list, ImageCopies &copies,
                         const DeviceStatus &status);
// The proven copy of the image at path as the catalogue names it, as the
// library is given it; empty where none was proven.
QByteArray provenCopy(const ImageCopies &copies, const QByteArray &path);

// An image file as the check found it.
struct CheckedImage
{
    // The original's, which the record names.
    QString path;
    // What the check read of it, which is what its copy holds (size -1: it did not get that far; no
    // SHA-256: it read none of it).
    FileDigest found;
    // What it had to hold; no SHA-256: the folder's list does not name it.
    ExpectedImage expected;
    // The id of the key that signed the list it was held to; empty: the list
    // was taken unsigned.
    QString signer;
    // The trusted comment that key signed the list with.
    QString comment;
    bool usable = false;
};

// Told of every image file the check looks at, on the thread that checks it,
// so that a record can name the files a run used and whose list proved them.
class ImageCheckObserver
{
public:
    virtual ~ImageCheckObserver() = default;
    // Before the images of a list that no trusted key signed (--allow-unsigned).
    virtual void unsignedListTaken() = 0;
    virtual void imageChecked(const CheckedImage &image) = 0;
};

// For the calling thread alone, as setDeviceCallObserver().
void setImageCheckObserver(ImageCheckObserver *observer);

#endif
