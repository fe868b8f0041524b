#ifndef IMAGECHECK_H
#define IMAGECHECK_H

#include "catalogue/DeviceStatus.h"
#include "catalogue/FileDigest.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class ImageSource;

// Checks image files before a sequence erases anything, so that no part is
// cleared whose image cannot be written back: each must be a readable file
// holding exactly what images expects of it (the digests built in, or those
// its folder's SHA256SUMS lists). Returns the log line for the first
// unusable image, in the order given, or an empty string.
QString firstUnusableImage(const ImageSource &images, const QVector<QByteArray> &paths);
// Why the boot image a bootstrap of status's model would load cannot be
// used, or empty: one the library cannot use would only show as a failed
// bootstrap.
QString bootImageProblem(const ImageSource &images, const DeviceStatus &status);

// Told of every image file the check looks at, on the thread that checks it,
// so that a record can name the files a run used. digest: what the check
// read of it (size -1: it did not get that far; no SHA-256: it read none of
// it). usable: the check passed it.
class ImageCheckObserver
{
public:
    virtual ~ImageCheckObserver() = default;
    virtual void imageChecked(const QString &path, const FileDigest &digest, bool usable) = 0;
};

// For the calling thread alone, as setDeviceCallObserver().
void setImageCheckObserver(ImageCheckObserver *observer);

#endif
