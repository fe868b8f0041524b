#ifndef IMAGESOURCE_H
#define IMAGESOURCE_H

#include "catalogue/ImageDigests.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// Where the window program opens its images, from its working folder.
constexpr const char *defaultImageFolder = "./firmware";

// What one check holds a folder's images to: the folder's SHA256SUMS as it
// was read once, so that every image of the check is held to the same list,
// and who signed it.
class ImageList
{
public:
    // Not empty: no image of the folder may be used, and this log line says why.
    QString problem;
    // The id of the trusted key that signed the list; empty for a list taken
    // unsigned (--allow-unsigned).
    QString signer;

    ExpectedImage expectedImage(const QString &fileName) const;

private:
    friend class ImageSource;
    bool builtIn = true;
    QHash<QString, QByteArray> listed;
};

// Where one run opens its images and what it checks them against. Each
// session holds its own, so that runs in one process share nothing about
// their images; a copy is cheap and may be read from any thread.
class ImageSource
{
public:
    // The images installed with the program: defaultImageFolder, whose
    // signed SHA256SUMS must hold, held to the digests built in.
    ImageSource() = default;

    // folder's images, held to the digests its signed SHA256SUMS lists.
    // folder as the system names it.
    static ImageSource listedIn(const QByteArray &folder);

    // A SHA256SUMS that no trusted key signed is taken too, its sizes and
    // digests still checked: --allow-unsigned.
    void allowUnsigned() { unsignedAllowed = true; }
    bool allowsUnsigned() const { return unsignedAllowed; }

    // As the library is given it.
    const QByteArray &folder() const { return imageFolder; }
    // As a user finds it: whole, from the root, in the system's separators.
    QString shownFolder() const;

    // The folder's SHA256SUMS and its signature, read and checked now: the
    // signature before any image, and before the instrument is opened.
    ImageList read() const;

private:
    QByteArray imageFolder = defaultImageFolder;
    bool builtIn = true;
    bool unsignedAllowed = false;
};

#endif
