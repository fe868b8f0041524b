#include "catalogue/ImageDigests.h"

#include "catalogue/ShippedDigests.h"

#include <QFile>
#include <QSet>

namespace {

constexpr int sha256HexLength = 64;

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

} // namespace

ExpectedImage shippedImage(const QString &fileName)
{
    for (const ShippedDigest &digest : shippedDigests) {
        if (fileName == QLatin1String(digest.fileName))
            return { digest.size, QByteArray(digest.sha256) };
    }
    return ExpectedImage();
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
