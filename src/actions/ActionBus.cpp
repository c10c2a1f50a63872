#include "actions/ActionBus.h"

#include "settings/Config.h"
#include "base/Log.h"
#include "base/StrPrintf.h"
#include "display/DisplayKey.h"
#include "display/DisplayManager.h"
#include "layout/LayoutStore.h"
#include "windows/Grid.h"
#include "windows/WindowHomecoming.h"
#include "windows/WindowPlacement.h"

#include <cstdint>
#include <map>
#include <optional>

namespace qv {

ActionBus::ActionBus(DisplayManager& displayManager, WindowPlacement& windows, LayoutStore& layouts, Config& config)
    : displayManager_(displayManager), windows_(windows), layouts_(layouts), config_(config) {}

void ActionBus::setResultListener(ResultListener listener) { listener_ = std::move(listener); }

ActionResult ActionBus::dispatch(const Action& action) {
    log::logf(log::Info, "dispatch %s", actionKindName(action.kind));
    ActionResult result = carryOut(action);
    // The user and the log read the same sentence: successes as information,
    // failures as warnings.
    log::write(result.ok ? log::Info : log::Warn, result.message);
    if (listener_) listener_(action, result);
    return result;
}

ActionResult ActionBus::carryOut(const Action& action) {
    switch (action.kind) {
    case ActionKind::None:
        return ActionResult::failure("No action");

    // Display manager operations: their own result is the answer.
    case ActionKind::ProjectionInternal:
        return displayManager_.setProjection(Projection::Internal);
    case ActionKind::ProjectionClone:
        return displayManager_.setProjection(Projection::Clone);
    case ActionKind::ProjectionExtend:
        return displayManager_.setProjection(Projection::Extend);
    case ActionKind::ProjectionExternal:
        return displayManager_.setProjection(Projection::External);
    case ActionKind::SetResolution:
        // Rate 0: the display keeps its current refresh rate.
        return displayManager_.setMode(action.display, static_cast<uint32_t>(action.width),
                                       static_cast<uint32_t>(action.height), 0);
    case ActionKind::SetRefreshRate:
        return displayManager_.setRefreshRate(action.display, static_cast<uint32_t>(action.refreshHz));
    case ActionKind::SetOrientation:
        return displayManager_.setOrientation(action.display, static_cast<uint32_t>(action.orientation));
    case ActionKind::SetPrimary:
        return displayManager_.setPrimary(action.display);
    case ActionKind::EnableDisplay:
        return displayManager_.setEnabled(action.display, true);
    case ActionKind::DisableDisplay:
        return displayManager_.setEnabled(action.display, false);
    case ActionKind::ToggleHdr:
        return toggleHdr(action);
    case ActionKind::RotateNext:
        return displayManager_.rotateNext(action.display);
    case ActionKind::PushNativeResolutions:
        return displayManager_.pushNativeModes();
    case ActionKind::PushMaxResolutions:
        return displayManager_.pushMaxModes();
    case ActionKind::PushResolutionAll:
        return displayManager_.pushResolution(static_cast<uint32_t>(action.width),
                                              static_cast<uint32_t>(action.height));
    case ActionKind::FlipArrangement:
        return displayManager_.flipArrangement();
    case ActionKind::ApplyArrangement:
        return displayManager_.applyArrangement(action.placements);
    case ActionKind::MirrorSpecific:
        return displayManager_.mirrorDisplays(action.displays);

    case ActionKind::RenameDisplay:
        return renameDisplay(action);

    // Window placement operations.
    case ActionKind::GatherWindows:
        return gatherWindows(action);
    case ActionKind::GrabWindow:
        return grabWindow(action);
    case ActionKind::TileWindows:
        return tileWindows(action);
    case ActionKind::SnapWindow:
        return snapWindow(action);

    case ActionKind::OpenPreview:
        return ActionResult::failure(std::string(actionKindName(action.kind)) + " is not implemented yet");

    // Layout store operations.
    case ActionKind::SaveLayout:
        return saveLayout(action);
    case ActionKind::RestoreLayout:
        return restoreLayout(action);
    case ActionKind::DeleteLayout:
        return deleteLayout(action);

    case ActionKind::RefreshDisplays:
        displayManager_.enumerate();
        return ActionResult::success("Displays refreshed");

    case ActionKind::RestoreWindows:
        if (!homecoming_) return ActionResult::failure("Window positions are not being kept");
        return homecoming_->restoreNow();
    case ActionKind::RescueWindows:
        if (!homecoming_) return ActionResult::failure("Window positions are not being kept");
        return homecoming_->rescue();

    // Carried out by the caller that offers them (the tray menu).
    case ActionKind::OpenSettings:
    case ActionKind::RelaunchElevated:
    case ActionKind::Exit:
        return ActionResult::success(actionKindName(action.kind));
    }
    return ActionResult::failure("Unhandled action");
}

// HDR flips from the state Windows reports now, not from the cache. A key
// that is not connected asks for "on", and setHdr then reports the display as
// not found.
ActionResult ActionBus::toggleHdr(const Action& action) {
    const std::vector<DisplayInfo> list = displayManager_.enumerate();
    const DisplayInfo* info = findByKey(list, action.display);
    return displayManager_.setHdr(action.display, info ? !info->hdrEnabled : true);
}

ActionResult ActionBus::renameDisplay(const Action& action) {
    if (action.display.empty()) return ActionResult::failure("No display to rename");
    const std::map<std::string, std::string> before = config_.displayNames;
    config_.setDisplayName(action.display, action.name);
    if (!config_.save()) {
        // The name shown stays the one the settings file holds.
        config_.displayNames = before;
        return ActionResult::failure("Could not save the display name");
    }
    if (action.name.empty()) return ActionResult::success("Display name reset");
    return ActionResult::success("Renamed to '" + action.name + "'");
}

// --- Window placement ---------------------------------------------------------
// A target display given with the action wins; otherwise tiling and snapping
// use the display of the window concerned, and everything falls back to the
// primary display.

namespace {

const char* const kBadGrid = "Grid must be COLSxROWS (2x2, 3x2, 4x4, …)";
const char* const kNotMoved = "Could not move window (elevated owner?)";

} // namespace

ActionResult ActionBus::gatherWindows(const Action& action) {
    const std::string target = action.display.empty() ? displayManager_.primaryKey() : action.display;
    if (target.empty()) return ActionResult::failure("No target monitor for gather");
    const MoveReport report = windows_.gatherWindows(target);
    // A target that is not connected moved nothing and must not read as success.
    const bool ok = report.ok && !(report.moved == 0 && report.refused > 0);
    return ok ? ActionResult::success(report.message) : ActionResult::failure(report.message);
}

ActionResult ActionBus::grabWindow(const Action& action) {
    const std::string target = action.display.empty() ? displayManager_.primaryKey() : action.display;
    if (action.window == 0 || target.empty()) return ActionResult::failure("No window/target for grab");
    if (!windows_.grabWindow(action.window, target)) return ActionResult::failure(kNotMoved);
    return ActionResult::success("Window grabbed");
}

ActionResult ActionBus::tileWindows(const Action& action) {
    const std::optional<Grid> grid = parseGrid(action.name);
    if (!grid) return ActionResult::failure(kBadGrid);
    std::string target = action.display;
    if (target.empty()) target = windows_.displayOfWindow(windows_.foregroundAppWindow());
    if (target.empty()) target = displayManager_.primaryKey();
    if (target.empty()) return ActionResult::failure("No target monitor for tiling");
    const MoveReport report = windows_.tileWindows(target, *grid);
    // An invalid grid or a target that is not connected moved nothing and
    // must not read as success.
    const bool ok = report.ok && (report.moved > 0 || (report.skipped == 0 && report.refused == 0));
    return ok ? ActionResult::success(report.message) : ActionResult::failure(report.message);
}

ActionResult ActionBus::snapWindow(const Action& action) {
    const std::optional<Grid> grid = parseGrid(action.name);
    if (!grid) return ActionResult::failure(kBadGrid);
    if (action.cell < 0 || action.cell >= grid->cellCount()) return ActionResult::failure("Grid cell out of range");
    const WindowHandle window = action.window != 0 ? action.window : windows_.foregroundAppWindow();
    if (window == 0) return ActionResult::failure("No app window to snap");
    std::string target = action.display;
    if (target.empty()) target = windows_.displayOfWindow(window);
    if (target.empty()) target = displayManager_.primaryKey();
    if (target.empty()) return ActionResult::failure("No target monitor for snap");
    if (!windows_.snapWindow(window, target, *grid, action.cell)) return ActionResult::failure(kNotMoved);
    return ActionResult::success(strprintf("Snapped window to cell %d of %s", action.cell + 1, grid->text().c_str()));
}

ActionResult ActionBus::saveLayout(const Action& action) {
    if (action.name.empty()) return ActionResult::failure("Layout name required");
    if (!layouts_.captureCurrent(action.name, displayManager_)) return ActionResult::failure("Could not save layout");
    return ActionResult::success("Saved layout '" + action.name + "'");
}

ActionResult ActionBus::restoreLayout(const Action& action) {
    if (action.name.empty()) return ActionResult::failure("Layout name required");
    ActionResult result = layouts_.restore(action.name, displayManager_);
    if (!result.ok) return ActionResult::failure("Could not restore '" + action.name + "'");
    return result;
}

ActionResult ActionBus::deleteLayout(const Action& action) {
    if (action.name.empty() || !layouts_.remove(action.name)) return ActionResult::failure("Could not delete layout");
    return ActionResult::success("Deleted layout '" + action.name + "'");
}

std::vector<DisplayInfo> ActionBus::displays() {
    std::vector<DisplayInfo> list = displayManager_.enumerate();
    const auto userName = [&](const std::string& key) {
        auto it = config_.displayNames.find(key);
        return it == config_.displayNames.end() ? std::string() : it->second;
    };
    for (DisplayInfo& info : list) {
        std::string name = userName(info.key);
        // A name saved while identical monitors shared one key stays with the
        // first of them, the one that key still finds.
        if (name.empty() && info.sharedKey != info.key && findByKey(list, info.sharedKey) == &info)
            name = userName(info.sharedKey);
        if (!name.empty()) info.name = name;
    }
    return list;
}

std::vector<DisplayMode> ActionBus::modes(const std::string& displayKey) { return displayManager_.modes(displayKey); }

Projection ActionBus::currentProjection() { return displayManager_.currentProjection(); }

std::vector<std::string> ActionBus::layoutNames() const { return layouts_.names(); }

std::vector<WindowEntry> ActionBus::windowsOn(const std::string& displayKey) {
    return windows_.windowsOnDisplay(displayKey);
}

} // namespace qv
