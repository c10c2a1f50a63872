#include "app/ActionBus.h"

#include "app/Config.h"
#include "app/Log.h"
#include "base/StrPrintf.h"
#include "display/DisplayManager.h"

namespace qv {

namespace {

// The answer for a kind whose operation is not part of the program yet.
ActionResult notAvailable(const Action& action) {
    return ActionResult::failure(strprintf("%s is not available yet", actionKindName(action.kind)));
}

} // namespace

ActionBus::ActionBus(DisplayManager& displayManager, Config& config)
    : displayManager_(displayManager), config_(config) {}

void ActionBus::setResultListener(ResultListener listener) { listener_ = std::move(listener); }

ActionResult ActionBus::dispatch(const Action& action) {
    log::logf(log::Info, "dispatch %s", actionKindName(action.kind));
    ActionResult result = carryOut(action);
    if (listener_) listener_(action, result);
    return result;
}

ActionResult ActionBus::carryOut(const Action& action) {
    switch (action.kind) {
    case ActionKind::None:
        return ActionResult::failure("No action");

    // Display manager operations.
    case ActionKind::ProjectionInternal:
    case ActionKind::ProjectionClone:
    case ActionKind::ProjectionExtend:
    case ActionKind::ProjectionExternal:
    case ActionKind::SetResolution:
    case ActionKind::SetRefreshRate:
    case ActionKind::SetOrientation:
    case ActionKind::SetPrimary:
    case ActionKind::EnableDisplay:
    case ActionKind::DisableDisplay:
    case ActionKind::ToggleHdr:
    case ActionKind::RotateNext:
    case ActionKind::PushNativeResolutions:
    case ActionKind::PushMaxResolutions:
    case ActionKind::PushResolutionAll:
    case ActionKind::FlipArrangement:
    case ActionKind::ApplyArrangement:
    case ActionKind::MirrorSpecific:
        return notAvailable(action);

    case ActionKind::RenameDisplay:
        return renameDisplay(action);

    // Window placement operations.
    case ActionKind::GatherWindows:
    case ActionKind::GrabWindow:
    case ActionKind::TileWindows:
    case ActionKind::SnapWindow:
        return notAvailable(action);

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

    // Carried out by the caller that offers them (the tray menu).
    case ActionKind::OpenSettings:
    case ActionKind::RelaunchElevated:
    case ActionKind::Exit:
        return ActionResult::success(actionKindName(action.kind));
    }
    return ActionResult::failure("Unhandled action");
}

ActionResult ActionBus::renameDisplay(const Action& action) {
    if (action.display.empty()) return ActionResult::failure("No display to rename");
    config_.setDisplayName(action.display, action.name);
    config_.save();
    if (action.name.empty()) return ActionResult::success("Display name reset");
    return ActionResult::success("Renamed to '" + action.name + "'");
}

ActionResult ActionBus::saveLayout(const Action& action) {
    if (action.name.empty()) return ActionResult::failure("Layout name required");
    // TODO(layout store): captureCurrent(name) → success "Saved layout '<name>'"
    // or failure "Could not save layout".
    return notAvailable(action);
}

ActionResult ActionBus::restoreLayout(const Action& action) {
    if (action.name.empty()) return ActionResult::failure("Layout name required");
    // TODO(layout store): restore(name) → success "Restored layout '<name>'" or
    // failure "Could not restore '<name>'".
    return notAvailable(action);
}

ActionResult ActionBus::deleteLayout(const Action& action) {
    if (action.name.empty()) return ActionResult::failure("Could not delete layout");
    // TODO(layout store): remove(name) → success "Deleted layout '<name>'" or
    // failure "Could not delete layout".
    return notAvailable(action);
}

std::vector<DisplayInfo> ActionBus::displays() {
    std::vector<DisplayInfo> list = displayManager_.enumerate();
    for (DisplayInfo& info : list) {
        auto it = config_.displayNames.find(info.key);
        if (it != config_.displayNames.end() && !it->second.empty()) info.name = it->second;
    }
    return list;
}

std::vector<DisplayMode> ActionBus::modes(const std::string& displayKey) { return displayManager_.modes(displayKey); }

Projection ActionBus::currentProjection() { return displayManager_.currentProjection(); }

} // namespace qv
