#pragma once
#include "update/ManifestSignature.h"

namespace qv {

// ECDSA P-256 with SHA-256 through CNG (bcrypt.dll).
class Win32SignatureVerifier final : public SignatureVerifier {
public:
    bool verifyP256Sha256(const std::string& message, const std::vector<uint8_t>& signature,
                          const PublicKeyP256& key) override;
};

} // namespace qv
