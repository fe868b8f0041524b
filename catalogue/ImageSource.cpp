#include "catalogue/ImageSource.h"

#include "catalogue/NativeFile.h"
#include "catalogue/Signature.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Far beyond any list of images or its signature; a larger file is no list of ours.
constexpr qint64 largestListFile = 1 << 20;

QByteArray pathIn(const QByteArray &folder, const char *name)
{
    return folder + (folder.endsWith('/') ? "" : "/") + name;
}

bool missing(const QByteArray &path)
{
    return fileKind(path) == FileKind::Missing && !QFileInfo(QFile::decodeName(path)).isSymLink();
}

// Only a regular file is opened: a FIFO would wait for a writer.
bool readSmallFile(const QByteArray &path, QByteArray *content)
{
    QFile file;
    if (!openRegularFile(path, file) || file.size() > largestListFile)
        return false;
    *content = file.read(largestListFile);
    return file.error() == QFile::NoError;
}

} // namespace

ImageSource ImageSource::listedIn(const QByteArray &folder)
{
    ImageSource source;
    source.imageFolder = folder;
    source.builtIn = false;
    return source;
}

QString ImageSource::shownFolder() const
{
    return QDir::toNativeSeparators(QDir(QFile::decodeName(imageFolder)).absolutePath());
}

// A refusal names the folder as a user would look for it: "./firmware" says
// nothing of which folder the program started in.
ImageList ImageSource::read() const
{
    ImageList list;
    list.builtIn = builtIn;
    const QString shown = shownFolder();
    const QByteArray sumsPath = pathIn(imageFolder, "SHA256SUMS");
    QByteArray sums;
    if (!readSmallFile(sumsPath, &sums)) {
        list.problem = missing(sumsPath)
            ? QStringLiteral("Firmware images cannot be verified: no SHA256SUMS in ") + shown
            : QStringLiteral("Firmware images cannot be verified: SHA256SUMS in %1 cannot be read").arg(shown);
        return list;
    }
    const QByteArray signaturePath = pathIn(imageFolder, "SHA256SUMS.minisig");
    QByteArray signature;
    if (readSmallFile(signaturePath, &signature))
        list.signer = trustedSigner(sums, signature);
    if (list.signer.isEmpty() && !unsignedAllowed) {
        list.problem = missing(signaturePath)
            ? QStringLiteral("Firmware images are not signed: no SHA256SUMS.minisig in ") + shown
            : QStringLiteral("Firmware images are not signed by a trusted key: ") + shown;
        return list;
    }
    list.listed = parseSha256Sums(sums);
    return list;
}

// The images installed with the program are the ones shipped, whatever else
// their signed list holds. A listed image the build shipped as well is known
// by its size, so that a file of another size is not read at all.
ExpectedImage ImageList::expectedImage(const QString &fileName) const
{
    ExpectedImage shipped = shippedImage(fileName);
    if (builtIn)
        return shipped;
    ExpectedImage expected;
    expected.sha256 = listed.value(fileName);
    if (!expected.sha256.isEmpty() && shipped.sha256 == expected.sha256)
        expected.size = shipped.size;
    return expected;
}
