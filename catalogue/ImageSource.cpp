#include "catalogue/ImageSource.h"

#include "catalogue/NativeFile.h"
#include "catalogue/OutsideText.h"
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
    return outsideText(QDir::toNativeSeparators(QDir(QFile::decodeName(imageFolder)).absolutePath()));
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
    if (readSmallFile(signaturePath, &signature)) {
        const Signer signer = trustedSigner(sums, signature);
        list.signer = signer.keyId;
        list.comment = signer.comment;
    }
    // A trusted key's list that is no release of ours (another program's, or
    // one withdrawn) is refused even where an unsigned one would be taken.
    if (!list.signer.isEmpty() && !releasedForThisProgram(list.comment)) {
        list.problem = QStringLiteral("Firmware images are not signed for this program: ") + shown;
        return list;
    }
    if (list.signer.isEmpty() && !unsignedAllowed) {
        list.problem = missing(signaturePath)
            ? QStringLiteral("Firmware images are not signed: no SHA256SUMS.minisig in ") + shown
            : QStringLiteral("Firmware images are not signed by a trusted key: ") + shown;
        return list;
    }
    list.listed = parseSha256Sums(sums);
    return list;
}

// A folder of its own may name other images than those shipped, held to its
// list's digests where a trusted key signed it; an image of a shipped name is
// the shipped one in every folder. A list that names such an image with
// another digest vouches for other bytes: nothing of that name is taken.
ExpectedImage ImageList::expectedImage(const QString &fileName) const
{
    const ExpectedImage shipped = shippedImage(fileName);
    const auto named = listed.constFind(fileName);
    if (shipped.sha256.isEmpty()) {
        ExpectedImage expected;
        if (!builtIn && !signer.isEmpty() && named != listed.constEnd())
            expected.sha256 = named.value();
        return expected;
    }
    ExpectedImage expected = shipped;
    expected.listedOtherwise = named == listed.constEnd() || named.value() != shipped.sha256;
    return expected;
}
