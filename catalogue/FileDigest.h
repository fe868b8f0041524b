#ifndef FILEDIGEST_H
#define FILEDIGEST_H

#include <QByteArray>
#include <QString>

class QIODevice;

// What a file held when it was read: its size and SHA-256, so that a record
// proves which image was used.
struct FileDigest
{
    qint64 size = -1; // -1: it could not be read
    QByteArray sha256; // lower-case hexadecimal; empty: not read
};

// Reads from where the device stands to its end, in chunks.
FileDigest digestOf(QIODevice &device);
FileDigest digestOf(const QString &path);

#endif
