#ifndef IMAGESOURCE_H
#define IMAGESOURCE_H

#include "catalogue/ImageDigests.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// Where the window program opens its images, from its working folder.
constexpr const char *defaultImageFolder = "./firmware";

// What one run holds a folder's images to: the folder's SHA256SUMS as it was
// read once, so that the check, the record and every view take the same
// list, and who signed it.
class ImageList
{
public:
    // Not empty: no image of the folder may be used, and this log line says why.
    QString problem;
    // The id of the trusted key that signed the list; empty for a list taken
    // unsigned (--allow-unsigned).
    QString signer;
    // What that key signed with the list: the release it belongs to
    // ("KD740 firmware 2.0.1: the eight shipped images"); empty with signer.
    QString comment;

    // An image the program ships is held to its shipped size and SHA-256,
    // whatever the folder and whether or not its list was signed; the list
    // must name it with that digest too (listedOtherwise where it does not).
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
    // SHA256SUMS must be signed, held to the digests built in.
    ImageSource() = default;

    // folder's images: those of shipped names held to the digests built in
    // as everywhere, any other to the digest its signed SHA256SUMS lists.
    // folder as the system names it.
    static ImageSource listedIn(const QByteArray &folder);

    // A SHA256SUMS that no trusted key signed is taken too: --allow-unsigned.
    // Its images are still held to the digests shipped with the program, so
    // only the shipped images are taken from such a folder.
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
