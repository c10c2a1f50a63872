#pragma once
#include <string>

namespace qv {

// Digest of a file's bytes, as CNG computes it (BCrypt SHA-256 over the file
// read in 65,536-byte blocks).
class FileHasher {
public:
    virtual ~FileHasher() = default;
    // Lower-case hexadecimal SHA-256 of the file (64 characters), or empty on
    // any failure. Handles and the file are always released.
    virtual std::string sha256File(const std::string& path) = 0;
};

} // namespace qv
