#include "sim/TestSigning.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <stdexcept>

namespace qv::sim {

namespace {

EVP_PKEY* pkey(void* key) { return static_cast<EVP_PKEY*>(key); }

// SubjectPublicKeyInfo of a P-256 key up to its uncompressed point
// (RFC 5480: id-ecPublicKey with the prime256v1 parameters, then a BIT
// STRING of 66 bytes).
constexpr unsigned char kP256InfoPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d,
                                             0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01,
                                             0x07, 0x03, 0x42, 0x00, 0x04};

std::string base64(const unsigned char* bytes, size_t size) {
    std::string out(4 * ((size + 2) / 3) + 1, '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes, static_cast<int>(size));
    out.resize(static_cast<size_t>(written));
    return out;
}

} // namespace

bool OpenSslVerifier::verifyP256Sha256(const std::string& message, const std::vector<uint8_t>& signature,
                                       const PublicKeyP256& key) {
    if (signature.size() != 64) return false;
    unsigned char info[sizeof kP256InfoPrefix + 64];
    std::memcpy(info, kP256InfoPrefix, sizeof kP256InfoPrefix);
    std::memcpy(info + sizeof kP256InfoPrefix, key.data(), key.size());
    const unsigned char* cursor = info;
    EVP_PKEY* publicKey = d2i_PUBKEY(nullptr, &cursor, sizeof info);
    if (!publicKey) return false;  // not a point on the curve

    ECDSA_SIG* sig = ECDSA_SIG_new();
    ECDSA_SIG_set0(sig, BN_bin2bn(signature.data(), 32, nullptr), BN_bin2bn(signature.data() + 32, 32, nullptr));
    unsigned char* der = nullptr;
    const int derSize = i2d_ECDSA_SIG(sig, &der);
    ECDSA_SIG_free(sig);

    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool ok = derSize > 0 && EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, publicKey) == 1 &&
                    EVP_DigestVerify(context, der, static_cast<size_t>(derSize),
                                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
    EVP_MD_CTX_free(context);
    OPENSSL_free(der);
    EVP_PKEY_free(publicKey);
    return ok;
}

SigningKey SigningKey::tests() {
    BIO* file = BIO_new_file(QV_SOURCE_DIR "/tests/keys/update-test-key.pem", "r");
    EVP_PKEY* key = file ? PEM_read_bio_PrivateKey(file, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(file);
    if (!key) throw std::runtime_error("the tests' signing key cannot be read");
    return SigningKey(key);
}

SigningKey SigningKey::fresh() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key) throw std::runtime_error("no P-256 key could be made");
    return SigningKey(key);
}

SigningKey::~SigningKey() { EVP_PKEY_free(pkey(key_)); }

SigningKey::SigningKey(SigningKey&& other) noexcept : key_(other.key_) { other.key_ = nullptr; }

std::string SigningKey::signatureOf(const std::string& bytes) const {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    unsigned char der[80];
    size_t derSize = sizeof der;
    const bool signedOk = EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, pkey(key_)) == 1 &&
                          EVP_DigestSign(context, der, &derSize, reinterpret_cast<const unsigned char*>(bytes.data()),
                                         bytes.size()) == 1;
    EVP_MD_CTX_free(context);
    if (!signedOk) throw std::runtime_error("signing failed");
    const unsigned char* cursor = der;
    ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(derSize));
    unsigned char raw[64];
    const BIGNUM* r = nullptr;
    const BIGNUM* s = nullptr;
    ECDSA_SIG_get0(sig, &r, &s);
    BN_bn2binpad(r, raw, 32);
    BN_bn2binpad(s, raw + 32, 32);
    ECDSA_SIG_free(sig);
    return base64(raw, sizeof raw);
}

std::string SigningKey::sign(const std::string& manifest) const {
    const size_t close = manifest.rfind('}');
    if (close == std::string::npos) return manifest;
    size_t last = close;
    while (last > 0 && (manifest[last - 1] == ' ' || manifest[last - 1] == '\n' || manifest[last - 1] == '\r' ||
                        manifest[last - 1] == '\t'))
        --last;
    const std::string separator = last > 0 && manifest[last - 1] == '{' ? "" : ",";
    return manifest.substr(0, last) + separator + "\n  \"signature\": \"" + signatureOf(manifest) + "\"" +
           manifest.substr(last);
}

PublicKeyP256 SigningKey::publicKey() const {
    unsigned char* info = nullptr;
    const int size = i2d_PUBKEY(pkey(key_), &info);
    PublicKeyP256 key{};
    if (size == static_cast<int>(sizeof kP256InfoPrefix + 64))
        std::memcpy(key.data(), info + sizeof kP256InfoPrefix, key.size());
    OPENSSL_free(info);
    return key;
}

} // namespace qv::sim
