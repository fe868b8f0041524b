#ifndef SIGNATURE_H
#define SIGNATURE_H

#include <QByteArray>
#include <QString>

// What a signature proves of a list, once a trusted key's signature held.
struct Signer
{
    // The key's id as minisign shows it (16 upper-case hexadecimal digits);
    // empty when no trusted key made the signature, it is malformed, or it
    // does not match the text.
    QString keyId;
    // The trusted comment the key signed with the text (UTF-8); empty with
    // keyId.
    QString comment;
};

// Which trusted key made minisig, a signature in minisign's format (Ed25519,
// over the text itself or over its BLAKE2b-512, with its trusted comment
// signed too), over text.
Signer trustedSigner(const QByteArray &text, const QByteArray &minisig);

// Whether a trusted comment says its list is a release of this program's
// images ("KD740 firmware 2.0.1: ..."): a key may sign other lists too, and
// a list it withdrew stays signed.
bool releasedForThisProgram(const QString &comment);

// A key's id as minisign shows it, from the key in minisign's base64 form;
// empty for anything else.
QString keyId(const QByteArray &publicKey);

#endif
