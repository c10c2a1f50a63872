#pragma once
#include "base/ShellApi.h"

namespace qv {

// Shell services through kernel32, the shell link COM object and shell32.
// createShellLink needs COM initialised on the calling thread.
class Win32ShellApi final : public ShellApi {
public:
    bool pathExists(const std::string& path) override;
    bool createShellLink(const ShellLink& link, const std::string& path) override;
    bool shellExecuteEx(const std::string& verb, const std::string& file, const std::string& parameters,
                        uint32_t mask, int32_t show, const std::string& directory = {}) override;
};

} // namespace qv
