#include "display/DisplayTopology.h"

#include "base/Log.h"
#include "base/StrPrintf.h"
#include "display/DisplayKey.h"
#include "display/DisplayManager.h"

#include <algorithm>
#include <utility>

namespace qv {

namespace {

// Hands a full configuration to Windows, letting it fill in what is missing.
constexpr uint32_t SuppliedConfig = dc::SdcUseSuppliedDisplayConfig | dc::SdcSaveToDatabase | dc::SdcAllowChanges;

// Why ChangeDisplaySettingsEx refused a mode, for the user.
std::string dispChangeText(int32_t code) {
    switch (code) {
    case dc::DispChangeRestart: return "the computer must be restarted first";
    case dc::DispChangeFailed: return "the display driver failed the mode";
    case dc::DispChangeBadMode: return "the mode is not supported";
    case dc::DispChangeNotUpdated: return "the settings could not be saved";
    case dc::DispChangeBadFlags: return "invalid flags";
    case dc::DispChangeBadParam: return "invalid parameter";
    default: return strprintf("error %d", static_cast<int>(code));
    }
}

uint32_t placedOrientation(uint32_t orientation) {
    return orientation == dc::Dmdo90 || orientation == dc::Dmdo180 || orientation == dc::Dmdo270 ? orientation
                                                                                                  : dc::DmdoDefault;
}

// Whether the display already is where and how the placement wants it, the
// placement's position taken relative to the origin. A size or rate of 0, an
// HDR state not given or not supported, and the primary flag of an
// arrangement that names no primary display ask for nothing.
bool alreadyPlaced(const DisplayInfo& display, const DisplayPlacement& placement, int64_t originX, int64_t originY,
                   bool namesPrimary) {
    if (display.posX != placement.x - originX || display.posY != placement.y - originY)
        return false;
    if ((placement.width != 0 && placement.width != display.width) ||
        (placement.height != 0 && placement.height != display.height))
        return false;
    if (placedOrientation(placement.orientation) != display.orientation)
        return false;
    if (namesPrimary && placement.primary != display.primary)
        return false;
    if (placement.refreshRate.known() && display.refreshRate.known()) {
        if (!placement.refreshRate.sameAs(display.refreshRate))
            return false;
    } else if (placement.refreshHz != 0 && placement.refreshHz != display.refreshHz) {
        return false;
    }
    if (placement.hdr && display.hdrSupported && display.hdrEnabled != *placement.hdr)
        return false;
    return true;
}

} // namespace

DisplayTopology::DisplayTopology(DisplayManager& manager, DisplayConfigApi& api) : manager_(manager), api_(api) {}

ActionResult DisplayTopology::setProjection(Projection mode) {
    uint32_t topology = 0;
    switch (mode) {
    case Projection::Internal: topology = dc::SdcTopologyInternal; break;
    case Projection::Clone: topology = dc::SdcTopologyClone; break;
    case Projection::Extend: topology = dc::SdcTopologyExtend; break;
    case Projection::External: topology = dc::SdcTopologyExternal; break;
    default: return ActionResult::failure("Unknown projection mode");
    }
    const std::string name = projectionName(mode);
    const int32_t rc = api_.setDisplayConfig({}, {}, dc::SdcApply | topology);
    if (rc != dc::ErrorSuccess)
        return ActionResult::failure("SetDisplayConfig(" + name + ") failed: " +
                                     manager_.errorText(static_cast<uint32_t>(rc)));

    const Projection current = manager_.currentProjection();
    if (current != Projection::Unknown && current != mode)
        return ActionResult::failure("Applied " + name + " but readback shows " + projectionName(current));
    manager_.enumerate();
    return ActionResult::success(name + " applied");
}

ActionResult DisplayTopology::setEnabled(const std::string& key, bool enable) {
    return enable ? this->enable(key) : disable(key);
}

ActionResult DisplayTopology::disable(const std::string& key) {
    const std::optional<DisplayInfo> display = manager_.findOrEnumerate(key);
    if (!display || display->gdiName.empty())
        return ActionResult::failure("Display not found: " + key);

    // A zero-sized mode at (0,0) detaches the display when committed.
    DevMode detach;
    detach.dmFields = dc::DmPosition | dc::DmPelsWidth | dc::DmPelsHeight;
    api_.changeDisplaySettings(&display->gdiName, &detach, dc::CdsUpdateRegistry | dc::CdsNoReset);
    if (api_.changeDisplaySettings(nullptr, nullptr, 0) != dc::DispChangeSuccessful)
        return ActionResult::failure("Disable apply failed for " + key);
    manager_.enumerate();
    // When Windows refused the staged detach the commit had nothing to do and
    // the display is still part of the desktop.
    for (const DisplayInfo& info : manager_.cache())
        if (info.adapterId == display->adapterId && info.targetId == display->targetId)
            return ActionResult::failure("Disable apply failed for " + key);
    return ActionResult::success(key + " disabled");
}

ActionResult DisplayTopology::enable(const std::string& key) {
    // An inactive display is not in the cache: look at every path Windows knows.
    std::vector<PathInfo> paths;
    std::vector<ModeInfo> modes;
    DisplayManager::QueryStage stage = DisplayManager::QueryStage::Query;
    if (manager_.queryConfig(dc::QdcAllPaths, paths, modes, nullptr, stage) != dc::ErrorSuccess)
        return ActionResult::failure(stage == DisplayManager::QueryStage::BufferSizes
                                         ? "Buffer sizing failed (enable)"
                                         : "QueryDisplayConfig(ALL) failed (enable)");

    // Keys are decided among every target Windows knows, so two identical
    // monitors keep apart here as they do in the display list.
    size_t chosen = paths.size();
    const std::vector<DisplayManager::TargetKey> targets = manager_.targetKeys(paths, false);
    if (const DisplayManager::TargetKey* target = findByKey(targets, key)) {
        for (size_t i = 0; i < paths.size(); ++i) {
            if (paths[i].targetInfo.adapterId == target->adapterId && paths[i].targetInfo.id == target->targetId) {
                chosen = i;
                break;
            }
        }
    }
    if (chosen == paths.size())
        return ActionResult::failure("No inactive path for " + key);

    paths[chosen].flags |= dc::PathActive;
    const int32_t rc = api_.setDisplayConfig(paths, modes, dc::SdcApply | SuppliedConfig);
    if (rc != dc::ErrorSuccess)
        return ActionResult::failure("Enable apply failed: " + manager_.errorText(static_cast<uint32_t>(rc)));
    manager_.enumerate();
    return ActionResult::success(key + " enabled");
}

ActionResult DisplayTopology::mirrorDisplays(const std::vector<std::string>& keys) {
    if (keys.size() < 2)
        return ActionResult::failure("Select at least two displays to mirror");
    std::vector<PathInfo> paths;
    std::vector<ModeInfo> modes;
    if (!manager_.queryActivePaths(paths, modes))
        return ActionResult::failure("Could not query display config");

    // The targets the keys name, each once; then their paths in path order.
    const std::vector<DisplayManager::TargetKey> targets = manager_.targetKeys(paths, true);
    std::vector<const DisplayManager::TargetKey*> named;
    for (const std::string& key : keys)
        if (const DisplayManager::TargetKey* target = findByKey(targets, key))
            named.push_back(target);
    std::vector<size_t> chosen;
    for (size_t i = 0; i < paths.size(); ++i) {
        if ((paths[i].flags & dc::PathActive) == 0)
            continue;
        for (const DisplayManager::TargetKey* target : named) {
            if (paths[i].targetInfo.adapterId == target->adapterId && paths[i].targetInfo.id == target->targetId) {
                chosen.push_back(i);
                break;
            }
        }
    }
    if (chosen.size() < 2)
        return ActionResult::failure("Chosen displays must all be active to mirror");

    // Every chosen target shows the first one's source; nothing else changes.
    const PathSourceInfo shown = paths[chosen.front()].sourceInfo;
    for (size_t i = 1; i < chosen.size(); ++i) {
        paths[chosen[i]].sourceInfo.id = shown.id;
        paths[chosen[i]].sourceInfo.modeInfoIdx = shown.modeInfoIdx;
    }

    int32_t rc = api_.setDisplayConfig(paths, modes, dc::SdcValidate | SuppliedConfig);
    if (rc != dc::ErrorSuccess)
        return ActionResult::failure("Subset mirror not supported for this combination: " +
                                     manager_.errorText(static_cast<uint32_t>(rc)));
    rc = api_.setDisplayConfig(paths, modes, dc::SdcApply | SuppliedConfig);
    if (rc != dc::ErrorSuccess)
        return ActionResult::failure("Mirror apply failed: " + manager_.errorText(static_cast<uint32_t>(rc)));
    manager_.enumerate();
    return ActionResult::success(strprintf("Mirrored %zu displays", chosen.size()));
}

ActionResult DisplayTopology::flipArrangement() {
    std::vector<PathInfo> paths;
    std::vector<ModeInfo> modes;
    if (!manager_.queryActivePaths(paths, modes))
        return ActionResult::failure("Could not query display config");

    // Desktop sources, each once (cloned targets share one).
    std::vector<uint32_t> sources;
    for (const PathInfo& path : paths) {
        if ((path.flags & dc::PathActive) == 0)
            continue;
        const uint32_t index = path.sourceInfo.modeInfoIdx;
        if (index == dc::PathModeIdxInvalid || index >= modes.size() ||
            modes[index].infoType != dc::ModeInfoTypeSource)
            continue;
        if (std::find(sources.begin(), sources.end(), index) == sources.end())
            sources.push_back(index);
    }
    if (sources.size() != 2)
        return ActionResult::failure(strprintf("Flip needs exactly two displays (found %zu)", sources.size()));

    SourceMode& first = modes[sources[0]].sourceMode;
    SourceMode& second = modes[sources[1]].sourceMode;
    std::swap(first.positionX, second.positionX);
    std::swap(first.positionY, second.positionY);
    const int32_t rc = api_.setDisplayConfig(paths, modes, dc::SdcApply | SuppliedConfig);
    if (rc != dc::ErrorSuccess)
        return ActionResult::failure("Flip failed: " + manager_.errorText(static_cast<uint32_t>(rc)));
    manager_.enumerate();
    return ActionResult::success("Arrangement flipped");
}

ActionResult DisplayTopology::applyArrangement(const std::vector<DisplayPlacement>& placements) {
    if (placements.empty())
        return ActionResult::failure("Empty arrangement");
    manager_.enumerate();

    // Positions are relative to the display that is to be primary.
    int64_t originX = 0;
    int64_t originY = 0;
    for (const DisplayPlacement& placement : placements) {
        if (placement.primary) {
            originX = placement.x;
            originY = placement.y;
            break;
        }
    }

    // Nothing to do when every display is already as placed: no mode set,
    // no black flash, whether the layout is restored by hand, on a hotplug
    // or from an arrangement that moved nothing.
    const bool namesPrimary = std::any_of(placements.begin(), placements.end(),
                                          [](const DisplayPlacement& placement) { return placement.primary; });
    const bool inEffect =
        std::all_of(placements.begin(), placements.end(), [&](const DisplayPlacement& placement) {
            const std::optional<DisplayInfo> display = manager_.find(placement.key);
            return display && alreadyPlaced(*display, placement, originX, originY, namesPrimary);
        });
    if (inEffect)
        return ActionResult::success(DisplayManager::ArrangementInEffect);

    std::vector<std::string> refusals;

    // Advanced colour before the modes: switching it can make the driver pick
    // another refresh rate, which the modes set below then put right.
    std::vector<DisplayInfo> colourSwitched;  // as they were before
    for (const DisplayPlacement& placement : placements) {
        const std::optional<DisplayInfo> display = manager_.find(placement.key);
        if (!placement.hdr || !display || !display->hdrSupported || display->hdrEnabled == *placement.hdr)
            continue;
        const int32_t rc = api_.setAdvancedColorState(display->adapterId, display->targetId, *placement.hdr);
        if (rc == dc::ErrorSuccess) {
            colourSwitched.push_back(*display);
            continue;
        }
        log::logf(log::Warn, "applyArrangement: advanced colour refused for %s (%d)", placement.key.c_str(),
                  static_cast<int>(rc));
        refusals.push_back(placement.key + " refused HDR " + (*placement.hdr ? "on" : "off") + ": " +
                           manager_.errorText(static_cast<uint32_t>(rc)));
    }
    if (!colourSwitched.empty())
        manager_.enumerate();

    // The display that is to be primary is staged first: when Windows
    // refuses it, nothing else has been staged and nothing is committed, so
    // the desktop is not left arranged around an origin that did not move.
    std::vector<size_t> order;
    const auto primary = std::find_if(placements.begin(), placements.end(),
                                      [](const DisplayPlacement& placement) { return placement.primary; });
    if (primary != placements.end())
        order.push_back(static_cast<size_t>(primary - placements.begin()));
    for (size_t i = 0; i < placements.size(); ++i)
        if (order.empty() || i != order.front())
            order.push_back(i);

    int applied = 0;
    int missing = 0;
    for (size_t index : order) {
        const DisplayPlacement& placement = placements[index];
        const std::optional<DisplayInfo> display = manager_.find(placement.key);
        if (!display || display->gdiName.empty()) {
            ++missing;
            continue;
        }
        DevMode mode;
        if (!api_.enumDisplaySettings(display->gdiName, dc::EnumCurrentSettings, mode)) {
            ++missing;
            continue;
        }
        mode.dmDisplayOrientation = placedOrientation(placement.orientation);
        if (placement.width != 0)
            mode.dmPelsWidth = placement.width;
        if (placement.height != 0)
            mode.dmPelsHeight = placement.height;
        mode.dmPositionX = static_cast<int32_t>(placement.x - originX);
        mode.dmPositionY = static_cast<int32_t>(placement.y - originY);
        mode.dmFields = dc::DmPosition | dc::DmDisplayOrientation | dc::DmPelsWidth | dc::DmPelsHeight;
        if (placement.refreshHz != 0) {
            mode.dmDisplayFrequency = placement.refreshHz;
            mode.dmFields |= dc::DmDisplayFrequency;
        }
        uint32_t flags = dc::CdsUpdateRegistry | dc::CdsNoReset;
        if (placement.primary)
            flags |= dc::CdsSetPrimary;
        const int32_t rc = api_.changeDisplaySettings(&display->gdiName, &mode, flags);
        if (rc == dc::DispChangeSuccessful) {
            ++applied;
            continue;
        }
        // A placement Windows refuses (a size or rate the monitor no longer
        // offers) is not applied, and the answer says which and why.
        log::logf(log::Warn, "applyArrangement: ChangeDisplaySettingsEx failed for %s (%d)", placement.key.c_str(),
                  static_cast<int>(rc));
        std::string refused = strprintf("%s refused %ux%u", placement.key.c_str(), mode.dmPelsWidth, mode.dmPelsHeight);
        if (placement.refreshHz != 0)
            refused += strprintf(" at %u Hz", placement.refreshHz);
        refusals.push_back(refused + ": " + dispChangeText(rc));
        if (index == order.front() && placement.primary) {
            // Nothing of the arrangement stays: the colour goes back too.
            for (const DisplayInfo& before : colourSwitched)
                api_.setAdvancedColorState(before.adapterId, before.targetId, before.hdrEnabled);
            if (!colourSwitched.empty())
                manager_.enumerate();
            return ActionResult::failure(refusals.back() + "; the arrangement was not applied");
        }
    }

    if (api_.changeDisplaySettings(nullptr, nullptr, 0) != dc::DispChangeSuccessful)
        return ActionResult::failure("Arrangement apply failed");
    manager_.enumerate();
    if (applied > 0)
        applyExactRates(placements, refusals);
    std::string refusedText;
    for (const std::string& refusal : refusals)
        refusedText += (refusedText.empty() ? "" : "; ") + refusal;
    if (applied == 0)
        return ActionResult::failure(refusals.empty() ? "No saved monitors are connected" : refusedText);
    const std::string summary = strprintf("Arrangement applied to %d display(s)%s", applied,
                                          missing > 0 ? " (some saved monitors not connected)" : "");
    if (!refusals.empty())
        return ActionResult::failure(summary + "; " + refusedText);
    return ActionResult::success(summary);
}

void DisplayTopology::applyExactRates(const std::vector<DisplayPlacement>& placements,
                                      std::vector<std::string>& refusals) {
    // GDI takes whole hertz only, so 59.94 Hz may have become 60 Hz. Each
    // display whose exact rate is known on both sides and differs gets it
    // through its path: the path's refresh rate without a target mode, which
    // Windows then chooses to match that rate.
    struct Wanted {
        const DisplayPlacement* placement;
        DisplayInfo display;
    };
    std::vector<Wanted> wanted;
    for (const DisplayPlacement& placement : placements) {
        const std::optional<DisplayInfo> display = manager_.find(placement.key);
        if (display && placement.refreshRate.known() && display->refreshRate.known() &&
            !placement.refreshRate.sameAs(display->refreshRate))
            wanted.push_back({&placement, *display});
    }
    if (wanted.empty())
        return;

    std::vector<PathInfo> paths;
    std::vector<ModeInfo> modes;
    if (!manager_.queryActivePaths(paths, modes)) {
        refusals.push_back("the exact refresh rates could not be set: the display configuration could not be read");
        return;
    }
    std::vector<bool> dropped(modes.size(), false);
    for (const Wanted& want : wanted) {
        for (PathInfo& path : paths) {
            if ((path.flags & dc::PathActive) == 0 || !(path.targetInfo.adapterId == want.display.adapterId) ||
                path.targetInfo.id != want.display.targetId)
                continue;
            path.targetInfo.refreshRate = Rational{want.placement->refreshRate.numerator,
                                                   want.placement->refreshRate.denominator};
            if (path.targetInfo.modeInfoIdx < modes.size() &&
                modes[path.targetInfo.modeInfoIdx].infoType == dc::ModeInfoTypeTarget)
                dropped[path.targetInfo.modeInfoIdx] = true;
            path.targetInfo.modeInfoIdx = dc::PathModeIdxInvalid;
        }
    }
    // The target modes no path refers to any more leave the list; the
    // indices of the others follow.
    std::vector<uint32_t> moved(modes.size(), dc::PathModeIdxInvalid);
    std::vector<ModeInfo> kept;
    for (size_t i = 0; i < modes.size(); ++i) {
        if (dropped[i])
            continue;
        moved[i] = static_cast<uint32_t>(kept.size());
        kept.push_back(modes[i]);
    }
    for (PathInfo& path : paths) {
        if (path.sourceInfo.modeInfoIdx < moved.size())
            path.sourceInfo.modeInfoIdx = moved[path.sourceInfo.modeInfoIdx];
        if (path.targetInfo.modeInfoIdx < moved.size())
            path.targetInfo.modeInfoIdx = moved[path.targetInfo.modeInfoIdx];
    }

    const int32_t rc = api_.setDisplayConfig(paths, kept, dc::SdcApply | SuppliedConfig);
    if (rc != dc::ErrorSuccess) {
        log::logf(log::Warn, "applyArrangement: SetDisplayConfig refused the exact refresh rates (%d)",
                  static_cast<int>(rc));
        for (const Wanted& want : wanted)
            refusals.push_back(want.placement->key + " refused " + want.placement->refreshRate.text() +
                               " Hz: " + manager_.errorText(static_cast<uint32_t>(rc)));
        return;
    }
    manager_.enumerate();
    for (const Wanted& want : wanted) {
        const std::optional<DisplayInfo> after = manager_.find(want.placement->key);
        if (after && !after->refreshRate.sameAs(want.placement->refreshRate))
            refusals.push_back(want.placement->key + " runs at " + after->refreshRate.text() + " Hz, not " +
                               want.placement->refreshRate.text() + " Hz");
    }
}

} // namespace qv
