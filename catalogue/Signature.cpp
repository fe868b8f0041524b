#include "catalogue/Signature.h"

#include "catalogue/TrustedKeys.h"

#include <QList>

#include <sodium.h>

namespace {

constexpr int algorithmBytes = 2;
constexpr int keyIdBytes = 8;
constexpr int keyBytes = algorithmBytes + keyIdBytes + crypto_sign_PUBLICKEYBYTES;
constexpr int signatureBytes = algorithmBytes + keyIdBytes + crypto_sign_BYTES;
const QByteArray trustedCommentMark = "trusted comment: ";

// "Ed": the signature is over the text; "ED": over its BLAKE2b-512, which
// minisign signs by default so that a large file need not be held whole.
bool knownAlgorithm(const QByteArray &algorithm)
{
    return algorithm == "Ed" || algorithm == "ED";
}

bool verify(const QByteArray &signature, const QByteArray &message, const QByteArray &publicKey)
{
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.constData()),
                                       reinterpret_cast<const unsigned char *>(message.constData()),
                                       static_cast<unsigned long long>(message.size()),
                                       reinterpret_cast<const unsigned char *>(publicKey.constData()))
        == 0;
}

QByteArray blake2b512(const QByteArray &text)
{
    QByteArray hash(crypto_generichash_BYTES_MAX, '\0');
    crypto_generichash(reinterpret_cast<unsigned char *>(hash.data()), static_cast<size_t>(hash.size()),
                       reinterpret_cast<const unsigned char *>(text.constData()),
                       static_cast<unsigned long long>(text.size()), nullptr, 0);
    return hash;
}

QByteArray decoded(const QByteArray &base64)
{
    const auto result = QByteArray::fromBase64Encoding(base64.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    return result ? *result : QByteArray();
}

// minisign reads the id as a little-endian number and prints it in
// hexadecimal, without leading zeros.
QString idText(const QByteArray &id)
{
    quint64 value = 0;
    for (int index = keyIdBytes - 1; index >= 0; --index)
        value = (value << 8) | static_cast<unsigned char>(id.at(index));
    return QString::number(value, 16).toUpper();
}

} // namespace

QString keyId(const QByteArray &publicKey)
{
    const QByteArray key = decoded(publicKey);
    if (key.size() != keyBytes || key.left(algorithmBytes) != "Ed")
        return QString();
    return idText(key.mid(algorithmBytes, keyIdBytes));
}

bool releasedForThisProgram(const QString &comment)
{
    return comment.startsWith(QLatin1String(KD740_RELEASE_COMMENT));
}

Signer trustedSigner(const QByteArray &text, const QByteArray &minisig)
{
    if (sodium_init() < 0)
        return Signer();
    // untrusted comment, signature, trusted comment, the comment's signature.
    QList<QByteArray> lines = minisig.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (lines.size() < 4 || !lines.at(0).startsWith("untrusted comment:")
        || !lines.at(2).startsWith(trustedCommentMark))
        return Signer();
    const QByteArray signature = decoded(lines.at(1));
    const QByteArray commentSignature = decoded(lines.at(3));
    if (signature.size() != signatureBytes || commentSignature.size() != crypto_sign_BYTES
        || !knownAlgorithm(signature.left(algorithmBytes)))
        return Signer();
    const QByteArray id = signature.mid(algorithmBytes, keyIdBytes);
    const QByteArray ed25519 = signature.mid(algorithmBytes + keyIdBytes);
    const QByteArray signedText = signature.startsWith("ED") ? blake2b512(text) : text;
    const QByteArray comment = lines.at(2).mid(trustedCommentMark.size());
    for (const QByteArray &trusted : trustedKeys()) {
        const QByteArray key = decoded(trusted);
        if (key.size() != keyBytes || key.mid(algorithmBytes, keyIdBytes) != id)
            continue;
        const QByteArray publicKey = key.mid(algorithmBytes + keyIdBytes);
        // The trusted comment is signed with the signature it follows, so
        // neither can be moved onto another list.
        if (verify(ed25519, signedText, publicKey) && verify(commentSignature, ed25519 + comment, publicKey))
            return { idText(id), QString::fromUtf8(comment) };
    }
    return Signer();
}
