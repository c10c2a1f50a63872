#include "update/ManifestSignature.h"

// The build passes the trusted key as 128 hexadecimal digits; CMake checks
// their form.
#ifndef QV_UPDATE_PUBLIC_KEY
#error "QV_UPDATE_PUBLIC_KEY is not defined"
#endif

namespace qv {

const PublicKeyP256& updatePublicKey() {
    static const PublicKeyP256 key = [] {
        PublicKeyP256 parsed{};
        // A key that does not parse stays all zero, which is no point on the
        // curve: then no manifest verifies.
        if (!parsePublicKeyHex(QV_UPDATE_PUBLIC_KEY, parsed)) parsed.fill(0);
        return parsed;
    }();
    return key;
}

} // namespace qv
