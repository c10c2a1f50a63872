#include "update/win32/Win32FileHasher.h"

#include "base/win32/Utf16.h"

#include <windows.h>
#include <bcrypt.h>

#include <vector>

namespace qv {

namespace {

// Closes what it holds at the end of the scope, whichever way it is left.
struct Handles {
    HANDLE file = INVALID_HANDLE_VALUE;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~Handles() {
        if (hash != nullptr) BCryptDestroyHash(hash);
        if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
};

} // namespace

std::string Win32FileHasher::sha256File(const std::string& path) {
    Handles h;
    h.file = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h.file == INVALID_HANDLE_VALUE) return {};
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&h.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return {};
    if (!BCRYPT_SUCCESS(BCryptCreateHash(h.algorithm, &h.hash, nullptr, 0, nullptr, 0, 0))) return {};

    std::vector<UCHAR> block(65536);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(h.file, block.data(), static_cast<DWORD>(block.size()), &read, nullptr)) return {};
        if (read == 0) break;
        if (!BCRYPT_SUCCESS(BCryptHashData(h.hash, block.data(), read, 0))) return {};
    }
    UCHAR digest[32];
    if (!BCRYPT_SUCCESS(BCryptFinishHash(h.hash, digest, sizeof digest, 0))) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (UCHAR byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    }
    return text;
}

} // namespace qv
