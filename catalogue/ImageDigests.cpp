#include "catalogue/ImageDigests.h"

#include "catalogue/NativeFile.h"
#include "catalogue/ShippedDigests.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

// Far beyond any list of images; a larger file is no list of ours.
constexpr qint64 largestSumsFile = 1 << 20;
constexpr int sha256HexLength = 64;

struct DigestSource
{
    bool builtIn = true;
    QString unverifiable;
    QHash<QString, QByteArray> listed;
};

DigestSource &source()
{
    static DigestSource current;
    return current;
}

bool isHex(const QByteArray &text)
{
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// sha256sum escapes a backslash as \\ and a newline as \n.
bool unescape(QByteArray *name)
{
    QByteArray plain;
    for (int i = 0; i < name->size(); ++i) {
        const char c = name->at(i);
        if (c != '\\') {
            plain += c;
            continue;
        }
        if (++i >= name->size())
            return false;
        if (name->at(i) == '\\')
            plain += '\\';
        else if (name->at(i) == 'n')
            plain += '\n';
        else
            return false;
    }
    *name = plain;
    return true;
}

QString readProblem(const QString &folder, const QByteArray &path)
{
    const QFileInfo info(QFile::decodeName(path));
    if (fileKind(path) == FileKind::Missing && !info.isSymLink())
        return QStringLiteral("Firmware images cannot be verified: no SHA256SUMS in ") + folder;
    return QStringLiteral("Firmware images cannot be verified: SHA256SUMS in %1 cannot be read").arg(folder);
}

} // namespace

ExpectedImage shippedImage(const QString &fileName)
{
    for (const ShippedDigest &digest : shippedDigests) {
        if (fileName == QLatin1String(digest.fileName))
            return { QString(), digest.size, QByteArray(digest.sha256) };
    }
    return ExpectedImage();
}

void useDigestsListedIn(const QByteArray &folder)
{
    DigestSource listed;
    listed.builtIn = false;
    const QByteArray path = folder + (folder.endsWith('/') ? "" : "/") + "SHA256SUMS";
    // Only a regular file is opened: a FIFO would wait for a writer.
    QFile file;
    if (!openRegularFile(path, file) || file.size() > largestSumsFile)
        listed.unverifiable = readProblem(QFile::decodeName(folder), path);
    else
        listed.listed = parseSha256Sums(file.read(largestSumsFile));
    source() = listed;
}

// A listed image the build shipped as well is known by its size, so that a
// file of another size is not read at all.
ExpectedImage expectedImage(const QString &fileName)
{
    const DigestSource &current = source();
    if (current.builtIn)
        return shippedImage(fileName);
    if (!current.unverifiable.isEmpty())
        return { current.unverifiable, -1, QByteArray() };
    ExpectedImage expected;
    expected.sha256 = current.listed.value(fileName);
    const ExpectedImage shipped = shippedImage(fileName);
    if (!expected.sha256.isEmpty() && shipped.sha256 == expected.sha256)
        expected.size = shipped.size;
    return expected;
}

QHash<QString, QByteArray> parseSha256Sums(const QByteArray &text)
{
    QHash<QString, QByteArray> digests;
    QSet<QString> conflicting;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const bool escaped = line.startsWith('\\');
        if (escaped)
            line.remove(0, 1);
        if (line.size() < sha256HexLength + 3 || line.at(sha256HexLength) != ' ')
            continue;
        const QByteArray hash = line.left(sha256HexLength).toLower();
        const char mode = line.at(sha256HexLength + 1);
        QByteArray name = line.mid(sha256HexLength + 2);
        if (!isHex(hash) || (mode != ' ' && mode != '*') || (escaped && !unescape(&name)))
            continue;
        if (name.startsWith("./"))
            name.remove(0, 2);
        const QString key = QFile::decodeName(name);
        if (digests.contains(key) && digests.value(key) != hash)
            conflicting.insert(key);
        digests.insert(key, hash);
    }
    for (const QString &name : conflicting)
        digests.remove(name);
    return digests;
}
