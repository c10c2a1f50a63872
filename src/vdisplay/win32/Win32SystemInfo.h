#pragma once
#include "vdisplay/DeviceApi.h"

namespace qv::vdisplay {

// Facts about the running system from the registry and from ntdll's
// information functions (looked up at run time).
class Win32SystemInfo final : public SystemInfo {
public:
    Win32SystemInfo() = default;

    bool machineDword(const std::string& key, const std::string& value, uint32_t& out) override;
    bool codeIntegrityOptions(uint32_t& options) override;
    bool buildNumber(uint32_t& build) override;
};

} // namespace qv::vdisplay
