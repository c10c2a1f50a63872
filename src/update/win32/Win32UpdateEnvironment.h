#pragma once
#include "update/UpdateEnvironment.h"

namespace qv {

class Win32UpdateEnvironment final : public UpdateEnvironment {
public:
    bool variable(const std::string& name, std::string& value) override;
    bool tempFolder(std::string& path) override;
    uint32_t currentProcessId() override;
};

} // namespace qv
