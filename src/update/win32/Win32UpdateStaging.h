#pragma once
#include "update/UpdateStaging.h"

namespace qv {

class Win32UpdateStaging final : public UpdateStaging {
public:
    bool windowsFolder(std::string& path) override;
    bool createFolder(const std::string& path, const std::string& sddl) override;
    bool removeFolder(const std::string& path) override;
    Start startProcess(const std::string& file, const std::string& parameters, const std::string& directory,
                       int32_t show, uint32_t waitMs) override;
};

} // namespace qv
