#ifndef TRUSTEDKEYS_H
#define TRUSTEDKEYS_H

#include <QByteArrayList>

// The public keys whose signature on a folder's SHA256SUMS makes its images
// the maker's, in minisign's base64 form. Fixed when the program is built
// (KD740_TRUSTED_KEYS): nothing at run time adds one. Each program links the
// one definition meant for it (TrustedKeys.cpp, built once per key list), so
// that a test build may trust its own keys as well.
const QByteArrayList &trustedKeys();

#endif
