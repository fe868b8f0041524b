#include "catalogue/ImageSource.h"

#include "catalogue/NativeFile.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Far beyond any list of images; a larger file is no list of ours.
constexpr qint64 largestSumsFile = 1 << 20;

QString readProblem(const QString &folder, const QByteArray &path)
{
    const QFileInfo info(QFile::decodeName(path));
    if (fileKind(path) == FileKind::Missing && !info.isSymLink())
        return QStringLiteral("Firmware images cannot be verified: no SHA256SUMS in ") + folder;
    return QStringLiteral("Firmware images cannot be verified: SHA256SUMS in %1 cannot be read").arg(folder);
}

} // namespace

ImageSource ImageSource::listedIn(const QByteArray &folder)
{
    ImageSource source;
    source.imageFolder = folder;
    source.builtIn = false;
    const QByteArray path = folder + (folder.endsWith('/') ? "" : "/") + "SHA256SUMS";
    // Only a regular file is opened: a FIFO would wait for a writer.
    QFile file;
    if (!openRegularFile(path, file) || file.size() > largestSumsFile)
        source.unverifiable = readProblem(QFile::decodeName(folder), path);
    else
        source.listed = parseSha256Sums(file.read(largestSumsFile));
    return source;
}

// A listed image the build shipped as well is known by its size, so that a
// file of another size is not read at all.
ExpectedImage ImageSource::expectedImage(const QString &fileName) const
{
    if (builtIn)
        return shippedImage(fileName);
    if (!unverifiable.isEmpty())
        return { unverifiable, -1, QByteArray() };
    ExpectedImage expected;
    expected.sha256 = listed.value(fileName);
    const ExpectedImage shipped = shippedImage(fileName);
    if (!expected.sha256.isEmpty() && shipped.sha256 == expected.sha256)
        expected.size = shipped.size;
    return expected;
}
