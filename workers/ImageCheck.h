#ifndef IMAGECHECK_H
#define IMAGECHECK_H

#include <QByteArray>
#include <QString>
#include <QVector>

// Checks image files before a sequence erases anything, so that no part is
// cleared whose image cannot be written back. Returns the log line for the
// first unusable image, in the order given, or an empty string.
QString firstUnusableImage(const QVector<QByteArray> &paths);

// Told of every image file the check looks at, on the thread that checks it,
// so that a record can name the files a run used. usable: the check passed it.
class ImageCheckObserver
{
public:
    virtual ~ImageCheckObserver() = default;
    virtual void imageChecked(const QByteArray &path, bool usable) = 0;
};

// Process-wide. Set or cleared only while no worker checks images.
void setImageCheckObserver(ImageCheckObserver *observer);

#endif
