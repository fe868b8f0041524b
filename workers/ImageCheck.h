#ifndef IMAGECHECK_H
#define IMAGECHECK_H

#include "catalogue/DeviceStatus.h"
#include "catalogue/FileDigest.h"
#include "catalogue/ImageDigests.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class ImageSource;

// Checks image files before a sequence erases anything, so that no part is
// cleared whose image cannot be written back: first that a trusted key signed
// the folder's SHA256SUMS, then that each image is a readable file holding
// exactly what images expects of it (the digests built in, or those the
// folder's list gives). Returns the log line for the folder's or the first
// unusable image's problem, in the order given, or an empty string.
QString firstUnusableImage(const ImageSource &images, const QVector<QByteArray> &paths);
// Why the boot image a bootstrap of status's model would load cannot be
// used, or empty: one the library cannot use would only show as a failed
// bootstrap.
QString bootImageProblem(const ImageSource &images, const DeviceStatus &status);

// An image file as the check found it.
struct CheckedImage
{
    QString path;
    // What the check read of it (size -1: it did not get that far; no
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
