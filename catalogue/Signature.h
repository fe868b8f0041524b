#ifndef SIGNATURE_H
#define SIGNATURE_H

#include <QByteArray>
#include <QString>

// Which trusted key made minisig, a signature in minisign's format (Ed25519,
// over the text itself or over its BLAKE2b-512, with its trusted comment
// signed too), over text: the key's id as minisign shows it (16 upper-case
// hexadecimal digits), or an empty string when no trusted key did, the
// signature is malformed, or it does not match the text.
QString trustedSigner(const QByteArray &text, const QByteArray &minisig);

// A key's id as minisign shows it, from the key in minisign's base64 form;
// empty for anything else.
QString keyId(const QByteArray &publicKey);

#endif
