#pragma once
#include "update/ManifestSignature.h"

#include <memory>
#include <string>
#include <vector>

namespace qv::sim {

// ECDSA P-256 with SHA-256 through OpenSSL: the native tests' stand-in for
// CNG, which checks the same signatures on Windows.
class OpenSslVerifier final : public SignatureVerifier {
public:
    bool verifyP256Sha256(const std::string& message, const std::vector<uint8_t>& signature,
                          const PublicKeyP256& key) override;
};

// A P-256 private key: the tests' own (tests/keys, whose public half
// development builds trust) or a fresh one that nobody trusts.
class SigningKey {
public:
    static SigningKey tests();
    static SigningKey fresh();
    ~SigningKey();
    SigningKey(SigningKey&& other) noexcept;
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

    // r then s over SHA-256 of bytes, base64, as the release script writes it.
    std::string signatureOf(const std::string& bytes) const;
    // The manifest with a "signature" member added after its last member, as
    // the release script adds it; text without a closing brace comes back
    // unsigned.
    std::string sign(const std::string& manifest) const;
    PublicKeyP256 publicKey() const;

private:
    explicit SigningKey(void* key) : key_(key) {}
    void* key_;  // EVP_PKEY
};

} // namespace qv::sim
