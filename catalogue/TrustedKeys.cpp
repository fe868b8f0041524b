#include "catalogue/TrustedKeys.h"

// Written by the build from its key list; a folder of its own per list.
#include "TrustedKeyList.h"

const QByteArrayList &trustedKeys()
{
    static const QByteArrayList keys { KD740_TRUSTED_KEY_LIST };
    return keys;
}
