#pragma once
#include "update/FileHasher.h"

namespace qv {

class Win32FileHasher final : public FileHasher {
public:
    std::string sha256File(const std::string& path) override;
};

} // namespace qv
