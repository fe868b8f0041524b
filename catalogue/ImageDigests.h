#ifndef IMAGEDIGESTS_H
#define IMAGEDIGESTS_H

#include <QByteArray>
#include <QHash>
#include <QString>

// What an image file must hold before anything is erased for it.
struct ExpectedImage
{
    // Not empty: no image can be verified, and this log line says why.
    QString unverifiable;
    // In bytes; -1 where only the SHA-256 tells.
    qint64 size = -1;
    // Lower-case hexadecimal; empty where the name is not known: no such
    // image was shipped.
    QByteArray sha256;
};

// By file name, what the build found in the images it shipped.
ExpectedImage shippedImage(const QString &fileName);

// File name to lower-case SHA-256, from text in the format sha256sum writes
// ("<hash>  <name>", or " *<name>" for its binary mode; a leading backslash
// where the name is escaped). Lines in no such form are left out, and so is
// a name listed with two different digests: it proves nothing.
QHash<QString, QByteArray> parseSha256Sums(const QByteArray &text);

#endif
