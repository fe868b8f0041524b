#ifndef IMAGESOURCE_H
#define IMAGESOURCE_H

#include "catalogue/ImageDigests.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// Where the window program opens its images, from its working folder.
constexpr const char *defaultImageFolder = "./firmware";

// Where one run opens its images and what it checks them against. Each
// session holds its own, so that runs in one process share nothing about
// their images; a copy is cheap and may be read from any thread.
class ImageSource
{
public:
    // The images installed with the program: defaultImageFolder, checked
    // against the digests built in.
    ImageSource() = default;

    // folder's images, checked against the digests its SHA256SUMS lists,
    // read now, so that a run checks every image against the same list (a
    // folder without one, or with one that cannot be read, verifies no
    // image). folder as the system names it.
    static ImageSource listedIn(const QByteArray &folder);

    // As the library is given it.
    const QByteArray &folder() const { return imageFolder; }
    ExpectedImage expectedImage(const QString &fileName) const;

private:
    QByteArray imageFolder = defaultImageFolder;
    bool builtIn = true;
    // Not empty: why no image of the folder can be verified.
    QString unverifiable;
    QHash<QString, QByteArray> listed;
};

#endif
