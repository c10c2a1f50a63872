// The signed update manifest. Any text splits into signed bytes and a
// signature only when it is an object with one top-level "signature" of 64
// bytes, and the signed bytes hold no signature of their own. A manifest
// that is a JSON object without one, signed with the tests' key the way
// the release script adds the member, verifies against that key and gives
// back exactly the bytes that were signed; any other key refuses it.
#include "FuzzSupport.h"

#include "sim/TestSigning.h"
#include "update/ManifestSignature.h"
#include "update/UpdateCheck.h"

using namespace qv;

namespace {

class Recording final : public SignatureVerifier {
public:
    bool verifyP256Sha256(const std::string& message, const std::vector<uint8_t>& signature,
                          const PublicKeyP256&) override {
        seen = message;
        QV_FUZZ_CHECK(signature.size() == 64, std::to_string(signature.size()));
        return true;
    }
    std::string seen;
};

const sim::SigningKey& testsKey() {
    static const sim::SigningKey key = sim::SigningKey::tests();
    return key;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = fuzz::bytes(data, size);

    std::string signedBytes;
    std::vector<uint8_t> signature;
    if (splitSignedManifest(text, signedBytes, signature)) {
        QV_FUZZ_CHECK(signature.size() == 64, fuzz::shown(text));
        QV_FUZZ_CHECK(signedBytes.size() < text.size(), fuzz::shown(text));
        std::string inner;
        std::vector<uint8_t> innerSignature;
        QV_FUZZ_CHECK(!splitSignedManifest(signedBytes, inner, innerSignature),
                      "the signed bytes carry a signature: " + fuzz::shown(signedBytes));
        Recording verifier;
        std::string verified;
        QV_FUZZ_CHECK(verifyManifest(text, verifier, updatePublicKey(), verified), fuzz::shown(text));
        QV_FUZZ_CHECK(verified == signedBytes && verifier.seen == signedBytes, fuzz::shown(text));
        UpdateInfo info;
        readManifest(signedBytes, info);
    } else {
        QV_FUZZ_CHECK(signedBytes.empty() && signature.empty(), fuzz::shown(text));
    }

    // A manifest the release would sign: a JSON object without a signature.
    // (The parser stops at a NUL byte; JSON text holds none.)
    if (text.find('\0') != std::string::npos || size > 2048) return 0;
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object() || doc.contains("signature")) return 0;
    const std::string signedText = testsKey().sign(text);
    sim::OpenSslVerifier openssl;
    std::string verified;
    QV_FUZZ_CHECK(verifyManifest(signedText, openssl, testsKey().publicKey(), verified),
                  "a signed manifest was refused: " + fuzz::shown(signedText));
    QV_FUZZ_CHECK(verified == text, fuzz::shown(text) + "\nsigned bytes: " + fuzz::shown(verified));
    PublicKeyP256 other = testsKey().publicKey();
    other[63] ^= 1;
    QV_FUZZ_CHECK(!verifyManifest(signedText, openssl, other, verified) && verified.empty(), fuzz::shown(text));
    return 0;
}
