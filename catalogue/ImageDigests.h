#ifndef IMAGEDIGESTS_H
#define IMAGEDIGESTS_H

#include <QByteArray>
#include <QHash>
#include <QString>

// What an image file must hold before anything is erased for it.
struct ExpectedImage
{
    // In bytes; -1 where only the SHA-256 tells.
    qint64 size = -1;
    // Lower-case hexadecimal; empty where the name is not known: no such
    // image was shipped.
    QByteArray sha256;
    // The folder's list does not name it with that digest: it is not taken.
    bool listedOtherwise = false;
};

// By file name, the shipped image as the build checked it against the
// signed list in the source.
ExpectedImage shippedImage(const QString &fileName);

// File name to lower-case SHA-256, from text in the format sha256sum writes
// ("<hash>  <name>", or " *<name>" for its binary mode; a leading backslash
// where the name is escaped). Lines in no such form are left out, and so is
// a name listed with two different digests: it proves nothing.
QHash<QString, QByteArray> parseSha256Sums(const QByteArray &text);

#endif
