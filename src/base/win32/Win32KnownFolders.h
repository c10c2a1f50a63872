#pragma once
#include "base/KnownFolders.h"

namespace qv {

// Known folders through SHGetKnownFolderPath.
class Win32KnownFolders final : public KnownFolders {
public:
    std::string path(KnownFolder folder) override;
};

} // namespace qv
