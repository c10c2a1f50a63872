#include "display/DisplaySettings.h"

#include "base/StrPrintf.h"
#include "display/DisplayManager.h"

#include <utility>

namespace qv {

namespace {

bool isPortrait(uint32_t orientation) { return orientation == dc::Dmdo90 || orientation == dc::Dmdo270; }

ActionResult notFound(const std::string& key) { return ActionResult::failure("Display not found: " + key); }

} // namespace

DisplaySettings::DisplaySettings(DisplayManager& manager, DisplayConfigApi& api) : manager_(manager), api_(api) {}

std::optional<DisplayInfo> DisplaySettings::resolve(const std::string& key) {
    std::optional<DisplayInfo> display = manager_.findOrEnumerate(key);
    if (display && display->gdiName.empty())
        return std::nullopt;
    return display;
}

bool DisplaySettings::readCurrentMode(const std::string& gdiName, DevMode& mode) {
    mode = DevMode{};
    return api_.enumDisplaySettings(gdiName, dc::EnumCurrentSettings, mode);
}

ActionResult DisplaySettings::setMode(const std::string& key, uint32_t width, uint32_t height, uint32_t refreshHz) {
    const std::optional<DisplayInfo> display = resolve(key);
    if (!display)
        return notFound(key);
    DevMode mode;
    if (!readCurrentMode(display->gdiName, mode))
        return ActionResult::failure("Could not read current mode for " + key);

    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    if (refreshHz != 0)
        mode.dmDisplayFrequency = refreshHz;
    mode.dmFields = dc::DmPelsWidth | dc::DmPelsHeight | dc::DmDisplayFrequency;
    int32_t rc = api_.changeDisplaySettings(&display->gdiName, &mode, dc::CdsUpdateRegistry);
    if (rc == dc::DispChangeBadMode || rc == dc::DispChangeBadParam) {
        // The driver has no such size at that rate: let Windows choose the rate.
        mode.dmFields = dc::DmPelsWidth | dc::DmPelsHeight;
        rc = api_.changeDisplaySettings(&display->gdiName, &mode, dc::CdsUpdateRegistry);
    }
    if (rc != dc::DispChangeSuccessful)
        return ActionResult::failure("ChangeDisplaySettingsEx failed for " + key);
    manager_.enumerate();
    return ActionResult::success(strprintf("%s set to %ux%u@%uHz", key.c_str(), width, height, mode.dmDisplayFrequency));
}

ActionResult DisplaySettings::setRefreshRate(const std::string& key, uint32_t refreshHz) {
    const std::optional<DisplayInfo> display = resolve(key);
    if (!display)
        return notFound(key);
    DevMode mode;
    if (!readCurrentMode(display->gdiName, mode))
        return ActionResult::failure("Could not read current mode for " + key);

    mode.dmDisplayFrequency = refreshHz;
    mode.dmFields = dc::DmDisplayFrequency;
    if (api_.changeDisplaySettings(&display->gdiName, &mode, dc::CdsUpdateRegistry) != dc::DispChangeSuccessful)
        return ActionResult::failure("Refresh-rate change failed for " + key);
    manager_.enumerate();
    return ActionResult::success(strprintf("%s set to %u Hz", key.c_str(), refreshHz));
}

ActionResult DisplaySettings::setOrientation(const std::string& key, uint32_t orientation) {
    const std::optional<DisplayInfo> display = resolve(key);
    if (!display)
        return notFound(key);
    DevMode mode;
    if (!readCurrentMode(display->gdiName, mode))
        return ActionResult::failure("Could not read current mode for " + key);

    const uint32_t target =
        orientation == dc::Dmdo90 || orientation == dc::Dmdo180 || orientation == dc::Dmdo270 ? orientation
                                                                                                : dc::DmdoDefault;
    // Windows expects the size as the rotated desktop shows it.
    if (isPortrait(mode.dmDisplayOrientation) != isPortrait(target))
        std::swap(mode.dmPelsWidth, mode.dmPelsHeight);
    mode.dmDisplayOrientation = target;
    mode.dmFields |= dc::DmPelsWidth | dc::DmPelsHeight | dc::DmDisplayOrientation;
    if (api_.changeDisplaySettings(&display->gdiName, &mode, dc::CdsUpdateRegistry) != dc::DispChangeSuccessful)
        return ActionResult::failure("Orientation change failed for " + key);
    manager_.enumerate();
    return ActionResult::success(key + " orientation changed");
}

ActionResult DisplaySettings::rotateNext(const std::string& requested) {
    const std::string key = requested.empty() ? manager_.primaryKey() : requested;
    if (key.empty())
        return ActionResult::failure("No display to rotate");
    const std::optional<DisplayInfo> display = manager_.findOrEnumerate(key);
    if (!display)
        return notFound(key);
    uint32_t next = dc::DmdoDefault;
    switch (display->orientation) {
    case dc::DmdoDefault: next = dc::Dmdo90; break;
    case dc::Dmdo90: next = dc::Dmdo180; break;
    case dc::Dmdo180: next = dc::Dmdo270; break;
    default: next = dc::DmdoDefault; break;
    }
    return setOrientation(key, next);
}

ActionResult DisplaySettings::setPrimary(const std::string& key) {
    const std::optional<DisplayInfo> display = resolve(key);
    if (!display)
        return notFound(key);
    if (display->primary)
        return ActionResult::success(key + " is already primary");

    // Stage every display shifted by the new primary's position, so that it
    // lands at (0,0) and the others keep their places relative to it; then
    // apply them all at once.
    const int64_t x0 = display->posX;
    const int64_t y0 = display->posY;
    const std::vector<DisplayInfo> displays = manager_.cache();
    for (const DisplayInfo& info : displays) {
        if (info.gdiName.empty())
            continue;
        DevMode mode;
        if (!readCurrentMode(info.gdiName, mode))
            continue;
        mode.dmFields |= dc::DmPosition;
        mode.dmPositionX = static_cast<int32_t>(info.posX - x0);
        mode.dmPositionY = static_cast<int32_t>(info.posY - y0);
        uint32_t flags = dc::CdsUpdateRegistry | dc::CdsNoReset;
        if (info.key == display->key)
            flags |= dc::CdsSetPrimary;
        api_.changeDisplaySettings(&info.gdiName, &mode, flags);
    }
    if (api_.changeDisplaySettings(nullptr, nullptr, 0) != dc::DispChangeSuccessful)
        return ActionResult::failure("Set-primary apply failed");
    manager_.enumerate();
    // A staging call Windows refused leaves the commit nothing to do for this
    // display: only a display that now sits at the origin has become primary.
    const std::optional<DisplayInfo> after = manager_.find(key);
    if (!after || !after->primary)
        return ActionResult::failure("Set-primary apply failed");
    return ActionResult::success(key + " is now primary");
}

ActionResult DisplaySettings::setHdr(const std::string& key, bool enable) {
    const std::optional<DisplayInfo> display = manager_.findOrEnumerate(key);
    if (!display)
        return notFound(key);
    if (!display->hdrSupported)
        return ActionResult::failure(key + " doesn't support HDR / advanced color");
    const int32_t rc = api_.setAdvancedColorState(display->adapterId, display->targetId, enable);
    if (rc != dc::ErrorSuccess)
        return ActionResult::failure(std::string("HDR ") + (enable ? "enable" : "disable") +
                                     " failed: " + manager_.errorText(static_cast<uint32_t>(rc)));
    manager_.enumerate();
    return ActionResult::success(std::string("HDR ") + (enable ? "on" : "off") + " for " + key);
}

} // namespace qv
