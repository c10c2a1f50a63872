#include "update/win32/Win32SignatureVerifier.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>

namespace qv {

namespace {

// Closes what it holds at the end of the scope, whichever way it is left.
struct Handles {
    BCRYPT_ALG_HANDLE sha256 = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    BCRYPT_ALG_HANDLE ecdsa = nullptr;
    BCRYPT_KEY_HANDLE key = nullptr;
    ~Handles() {
        if (key != nullptr) BCryptDestroyKey(key);
        if (ecdsa != nullptr) BCryptCloseAlgorithmProvider(ecdsa, 0);
        if (hash != nullptr) BCryptDestroyHash(hash);
        if (sha256 != nullptr) BCryptCloseAlgorithmProvider(sha256, 0);
    }
};

} // namespace

bool Win32SignatureVerifier::verifyP256Sha256(const std::string& message, const std::vector<uint8_t>& signature,
                                              const PublicKeyP256& key) {
    if (signature.size() != 64) return false;
    Handles h;
    UCHAR digest[32];
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&h.sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !BCRYPT_SUCCESS(BCryptCreateHash(h.sha256, &h.hash, nullptr, 0, nullptr, 0, 0)) ||
        !BCRYPT_SUCCESS(BCryptHashData(h.hash, reinterpret_cast<PUCHAR>(const_cast<char*>(message.data())),
                                       static_cast<ULONG>(message.size()), 0)) ||
        !BCRYPT_SUCCESS(BCryptFinishHash(h.hash, digest, sizeof digest, 0)))
        return false;

    // A BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y of cbKey bytes each
    // (learn.microsoft.com: "BCRYPT_ECCKEY_BLOB structure").
    UCHAR blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    BCRYPT_ECCKEY_BLOB header{};
    header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = 32;
    std::memcpy(blob, &header, sizeof header);
    std::memcpy(blob + sizeof header, key.data(), key.size());
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&h.ecdsa, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)) ||
        !BCRYPT_SUCCESS(BCryptImportKeyPair(h.ecdsa, nullptr, BCRYPT_ECCPUBLIC_BLOB, &h.key, blob, sizeof blob, 0)))
        return false;
    // The signature is r then s, each cbKey bytes (learn.microsoft.com:
    // "BCryptVerifySignature function"); anything but success refuses it.
    return BCryptVerifySignature(h.key, nullptr, digest, sizeof digest,
                                 const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()),
                                 0) == 0;
}

} // namespace qv
