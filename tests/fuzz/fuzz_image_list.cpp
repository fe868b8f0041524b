// libFuzzer's entry: one input is a SHA256SUMS followed by its signature,
// from the last line that begins one ("untrusted comment:").

#include "catalogue/ImageDigests.h"
#include "catalogue/Signature.h"
#include "catalogue/TrustedKeys.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const int at = input.lastIndexOf("\nuntrusted comment:") + 1;
    const QByteArray list = at > 0 ? input.left(at) : input;
    const QByteArray minisig = at > 0 ? input.mid(at) : QByteArray();

    parseSha256Sums(list);
    keyId(minisig);
    const Signer signer = trustedSigner(list, minisig);
    if (signer.keyId.isEmpty()) {
        if (!signer.comment.isEmpty())
            std::abort();
        return 0;
    }
    releasedForThisProgram(signer.comment);
    // Only a trusted key's signature holds.
    for (const QByteArray &key : trustedKeys()) {
        if (keyId(key) == signer.keyId)
            return 0;
    }
    std::abort();
}
