#pragma once
#include "base/ActionResult.h"
#include "display/DisplayConfigApi.h"
#include "display/DisplayInfo.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qv {

class DisplayManager;

// Changes to one display: its mode, refresh rate, orientation, the primary
// flag and advanced colour. Reached through the DisplayManager members of the
// same names; every success refreshes the manager's cache.
class DisplaySettings {
public:
    DisplaySettings(DisplayManager& manager, DisplayConfigApi& api);

    ActionResult setMode(const std::string& key, uint32_t width, uint32_t height, uint32_t refreshHz);
    ActionResult setRefreshRate(const std::string& key, uint32_t refreshHz);
    ActionResult setOrientation(const std::string& key, uint32_t orientation);
    ActionResult rotateNext(const std::string& key);
    ActionResult setPrimary(const std::string& key);
    ActionResult setHdr(const std::string& key, bool enable);

private:
    // The display with that key that has a GDI device name, enumerating once
    // when the cache does not know the key.
    std::optional<DisplayInfo> resolve(const std::string& key);
    // The current mode of a GDI device, read into a zeroed DevMode.
    bool readCurrentMode(const std::string& gdiName, DevMode& mode);

    DisplayManager& manager_;
    DisplayConfigApi& api_;
};

} // namespace qv
