#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// An uncompressed P-256 public key: X then Y, 32 big-endian bytes each.
using PublicKeyP256 = std::array<uint8_t, 64>;

// Checks ECDSA signatures on the NIST P-256 curve with SHA-256.
class SignatureVerifier {
public:
    virtual ~SignatureVerifier() = default;
    // True when signature (r then s, 32 big-endian bytes each) is key's
    // signature over the SHA-256 digest of message.
    virtual bool verifyP256Sha256(const std::string& message, const std::vector<uint8_t>& signature,
                                  const PublicKeyP256& key) = 0;
};

// The key this build trusts update manifests from.
const PublicKeyP256& updatePublicKey();

// Reads 128 hexadecimal digits into a key; false for anything else.
bool parsePublicKeyHex(const std::string& hex, PublicKeyP256& key);

inline constexpr const char* kManifestSignatureInvalid = "Update manifest signature is not valid";

// An update manifest is a JSON object with one member "signature": the
// ECDSA P-256 signature with SHA-256 over the manifest's exact bytes without
// that member, in standard base64 of r then s. The member is taken out with
// the comma that separates it from the member before it (or, when it comes
// first, the one after it), so a signer adds it to finished bytes and the
// verifier gets them back unchanged. Splits text into those bytes and the
// signature; false, with both empty, when text is not an object with exactly
// one top-level "signature" whose value is a base64 string of 64 bytes.
bool splitSignedManifest(const std::string& text, std::string& signedBytes, std::vector<uint8_t>& signature);

// The signed bytes of a manifest whose signature key made; false (and
// signedBytes empty) when it has none or another.
bool verifyManifest(const std::string& text, SignatureVerifier& verifier, const PublicKeyP256& key,
                    std::string& signedBytes);

} // namespace qv
