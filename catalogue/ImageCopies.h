#ifndef IMAGECOPIES_H
#define IMAGECOPIES_H

#include "catalogue/FileDigest.h"
#include "catalogue/PrivateFolder.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <mutex>

class QIODevice;

// One run's private copies of the images it proved: the check reads each
// image once, into a copy in a folder of the run's own, and hashes exactly
// the bytes it copied; the library is then given the copy, so that what it
// writes is what was proven, whatever happens to the originals meanwhile.
// Each copy keeps its image's file name, so that the calls still name it.
// They go with the run (removeAll, or the destructor); a later run removes
// what a killed one left. Its members may be called from any thread.
class ImageCopies
{
public:
    ImageCopies() = default;
    ~ImageCopies();
    ImageCopies(const ImageCopies &) = delete;
    ImageCopies &operator=(const ImageCopies &) = delete;

    // Copies source, from where it stands to its end, under fileName: the
    // size and SHA-256 of what was copied; size -1 where no copy was made.
    // A copy made before under that name goes first.
    FileDigest copy(QIODevice &source, const QString &fileName);
    // The copy's path as the library is given it; empty where there is none.
    QByteArray path(const QString &fileName) const;
    // A copy that proved to be no image of the run's goes at once.
    void discard(const QString &fileName);
    // The run is over: every copy and the folder go, and no copy is made after.
    void removeAll();

private:
    QByteArray pathIn(const QString &fileName) const;
    void discardLocked(const QString &fileName);

    mutable std::mutex mutex;
    PrivateFolder folder;
    // Held open until the run ends, by file name.
    QHash<QString, NativeHandle> held;
    bool over = false;
};

#endif
