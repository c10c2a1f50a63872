#include "web/FlyoutCommands.h"

#include "actions/ActionBus.h"
#include "base/Log.h"
#include "base/StrPrintf.h"
#include "web/MessageMembers.h"
#include "settings/Config.h"
#include "windows/Grid.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <optional>
#include <utility>

namespace qv {

namespace {

using nlohmann::json;

Action make(ActionKind kind, std::string display = {}) {
    Action action;
    action.kind = kind;
    action.display = std::move(display);
    return action;
}

std::optional<ActionKind> projectionKind(const std::string& mode) {
    if (mode == "internal") return ActionKind::ProjectionInternal;
    if (mode == "clone") return ActionKind::ProjectionClone;
    if (mode == "extend") return ActionKind::ProjectionExtend;
    if (mode == "external") return ActionKind::ProjectionExternal;
    return std::nullopt;
}

void ignoreSpoiled(const std::string& type, const MessageMembers& m) {
    log::logf(log::Warn, "Flyout message '%s' ignored: '%s' has the wrong type", type.c_str(), m.spoiled());
}

// The member of an action that holds a value the page never sends: a size or
// a refresh rate of 0 or less, a grid other than 1 to 8 by 1 to 8, a cell
// outside the grid. Null when every value is in range.
const char* outOfRange(const Action& action) {
    switch (action.kind) {
    case ActionKind::SetResolution:
    case ActionKind::PushResolutionAll:
        if (action.width <= 0) return "w";
        if (action.height <= 0) return "h";
        break;
    case ActionKind::SetRefreshRate:
        if (action.refreshHz <= 0) return "hz";
        break;
    case ActionKind::TileWindows:
    case ActionKind::SnapWindow: {
        const std::optional<Grid> grid = parseGrid(action.name);
        if (!grid) return "grid";
        if (action.kind == ActionKind::SnapWindow && (action.cell < 0 || action.cell >= grid->cellCount()))
            return "cell";
        break;
    }
    default:
        break;
    }
    return nullptr;
}

void ignoreUnknown(const std::string& type, const char* member) {
    log::logf(log::Warn, "Flyout message '%s' ignored: '%s' is not a value the page sends", type.c_str(), member);
}

void ignoreOutOfRange(const std::string& type, const char* member) {
    log::logf(log::Warn, "Flyout message '%s' ignored: '%s' is out of range", type.c_str(), member);
}

} // namespace

FlyoutCommands::FlyoutCommands(ActionBus* bus, Config* config, const FlyoutHooks& hooks, Panel& panel)
    : bus_(bus), config_(config), hooks_(hooks), panel_(panel) {}

std::string FlyoutCommands::generatedLayoutName(size_t savedLayouts, size_t displays) {
    std::string name = strprintf("Layout %zu (%zu displays)", savedLayouts + 1, displays);
    if (name.size() > 63) name.resize(63);
    return name;
}

void FlyoutCommands::onWebMessage(const std::string& text) {
    if (!bus_) return;
    std::string type;
    const std::optional<json> parsed = MessageMembers::parse(text, type);
    if (!parsed) return;
    const json& message = *parsed;
    MessageMembers m(message);
    ActionBus& bus = *bus_;

    // Reads the members first; acts only when all of them had their types.
    const auto dispatch = [&](const Action& action) {
        if (!m.ok()) return ignoreSpoiled(type, m);
        if (const char* member = outOfRange(action)) return ignoreOutOfRange(type, member);
        bus.dispatch(action);
        panel_.pushState();
    };

    if (type == "size") {
        const int32_t h = m.integer("h", 520);
        if (!m.ok()) return ignoreSpoiled(type, m);
        panel_.resize(h);
    } else if (type == "close") {
        panel_.hide();
    } else if (type == "ui") {
        const std::string panels = m.text("panels");
        if (!m.ok()) return ignoreSpoiled(type, m);
        if (config_) {
            config_->uiPanels = panels;
            config_->save();
        }
    } else if (type == "welcomeDone") {
        if (hooks_.welcomeDone) hooks_.welcomeDone();
        panel_.pushState();
    } else if (type == "proj") {
        const std::optional<ActionKind> kind = projectionKind(m.text("mode"));
        if (!m.ok()) return ignoreSpoiled(type, m);
        if (kind) bus.dispatch(make(*kind));
        panel_.pushState();
    } else if (type == "pushNative") {
        dispatch(make(ActionKind::PushNativeResolutions));
    } else if (type == "pushMax") {
        dispatch(make(ActionKind::PushMaxResolutions));
    } else if (type == "pushRes") {
        Action action = make(ActionKind::PushResolutionAll);
        action.width = m.integer("w");
        action.height = m.integer("h");
        dispatch(action);
    } else if (type == "arrangeMap") {
        const std::string key = m.text("key");
        const std::optional<int32_t> x = m.optionalInteger("x");
        const std::optional<int32_t> y = m.optionalInteger("y");
        if (!m.ok()) return ignoreSpoiled(type, m);
        Action action = make(ActionKind::ApplyArrangement);
        for (const DisplayInfo& display : bus.displays()) {
            if (!display.active) continue;
            const bool moved = display.key == key;
            action.placements.push_back(DisplayPlacement{display.key, moved ? x.value_or(display.posX) : display.posX,
                                                         moved ? y.value_or(display.posY) : display.posY,
                                                         display.width, display.height, display.refreshHz,
                                                         display.orientation, display.primary,
                                                         display.refreshRate, std::nullopt});
        }
        if (!action.placements.empty()) bus.dispatch(action);
        panel_.pushState();
    } else if (type == "setaud") {
        const bool capture = m.flag("cap");
        const std::string id = m.text("id");
        if (!m.ok()) return ignoreSpoiled(type, m);
        if (hooks_.setDefaultAudio) hooks_.setDefaultAudio(id, capture);
        panel_.pushState();
    } else if (type == "setvol") {
        const bool capture = m.flag("cap");
        const float volume = m.number("vol");
        if (!m.ok()) return ignoreSpoiled(type, m);
        // No state push: the page posts this on every step of a drag or an
        // arrow key, the levels ticks already carry the new volume back, and
        // a re-render for each step would only cost time.
        if (hooks_.setVolume) hooks_.setVolume(volume, capture);
    } else if (type == "setmute") {
        const bool capture = m.flag("cap");
        const bool on = m.flag("on");
        if (!m.ok()) return ignoreSpoiled(type, m);
        if (hooks_.setMute) hooks_.setMute(on, capture);
        panel_.pushState();
    } else if (type == "fixapp") {
        panel_.hide();
        if (hooks_.resetAppAudio) hooks_.resetAppAudio();
        panel_.pushState();
    } else if (type == "flip") {
        dispatch(make(ActionKind::FlipArrangement));
    } else if (type == "refresh") {
        dispatch(make(ActionKind::RefreshDisplays));
    } else if (type == "windows") {
        // The windows of every display: put back where they were, or brought
        // onto the primary display from outside all displays.
        const std::string what = m.text("do");
        if (!m.ok()) return ignoreSpoiled(type, m);
        if (what == "restore") {
            dispatch(make(ActionKind::RestoreWindows));
        } else if (what == "rescue") {
            dispatch(make(ActionKind::RescueWindows));
        } else {
            ignoreUnknown(type, "do");
        }
    } else if (type == "mirror") {
        Action action = make(ActionKind::MirrorSpecific);
        action.displays = {m.text("a"), m.text("b")};
        dispatch(action);
    } else if (type == "layoutSave") {
        Action action = make(ActionKind::SaveLayout);
        action.name = generatedLayoutName(bus.layoutNames().size(), bus.displays().size());
        dispatch(action);
    } else if (type == "layoutRestore" || type == "layoutDelete") {
        Action action = make(type == "layoutRestore" ? ActionKind::RestoreLayout : ActionKind::DeleteLayout);
        action.name = m.text("name");
        dispatch(action);
    } else if (type == "open") {
        const std::string what = m.text("what");
        if (!m.ok()) return ignoreSpoiled(type, m);
        if (what == "settings") {
            panel_.hide();
            if (hooks_.openSettings) hooks_.openSettings();
        } else if (what == "arrange") {
            panel_.hide();
            if (hooks_.openArrangement) hooks_.openArrangement();
        } else if (what == "recordings") {
            if (hooks_.openRecordings) hooks_.openRecordings();
        }
    } else if (type == "exit") {
        // Quits whatever the bus answers.
        bus.dispatch(make(ActionKind::Exit));
        panel_.quit(0);
    } else if (type == "disp") {
        onDisplayMessage(message);
    }
}

void FlyoutCommands::onDisplayMessage(const json& message) {
    MessageMembers m(message);
    const std::string key = m.text("key");
    const std::string act = m.text("act");
    ActionBus& bus = *bus_;
    const std::string type = "disp";

    // Every action of this message carries its display key.
    const auto dispatch = [&](ActionKind kind, const std::function<void(Action&)>& fill = nullptr) {
        Action action = make(kind, key);
        if (fill) fill(action);
        if (!m.ok()) return ignoreSpoiled(type, m);
        if (const char* member = outOfRange(action)) return ignoreOutOfRange(type, member);
        bus.dispatch(action);
        panel_.pushState();
    };
    // A controller callback for this display, then the state.
    const auto toggle = [&](const std::function<void(const std::string&)>& hook) {
        if (!m.ok()) return ignoreSpoiled(type, m);
        if (hook) hook(key);
        panel_.pushState();
    };
    // The region picker runs a modal loop of its own: the flyout goes first,
    // and the toggle runs once the page's message callback has returned.
    const auto deferred = [&](const std::function<void(const std::string&)>& hook) {
        if (!m.ok()) return ignoreSpoiled(type, m);
        panel_.hide();
        panel_.post([hook, key] {
            if (hook) hook(key);
        });
    };

    if (act == "res") {
        dispatch(ActionKind::SetResolution, [&](Action& a) {
            a.width = m.integer("w");
            a.height = m.integer("h");
        });
    } else if (act == "hz") {
        dispatch(ActionKind::SetRefreshRate, [&](Action& a) { a.refreshHz = m.integer("hz"); });
    } else if (act == "rotate") {
        dispatch(ActionKind::RotateNext);
    } else if (act == "primary") {
        dispatch(ActionKind::SetPrimary);
    } else if (act == "enable") {
        dispatch(ActionKind::EnableDisplay);
    } else if (act == "disable") {
        dispatch(ActionKind::DisableDisplay);
    } else if (act == "hdr") {
        dispatch(ActionKind::ToggleHdr);
    } else if (act == "gather") {
        dispatch(ActionKind::GatherWindows);
    } else if (act == "tile") {
        dispatch(ActionKind::TileWindows, [&](Action& a) { a.name = m.text("grid", "2x2"); });
    } else if (act == "snap") {
        dispatch(ActionKind::SnapWindow, [&](Action& a) {
            a.name = m.text("grid", "2x2");
            a.cell = m.integer("cell");
            // The window that was in front when the flyout opened.
            a.window = hooks_.foregroundWindow ? hooks_.foregroundWindow() : 0;
        });
    } else if (act == "rename") {
        dispatch(ActionKind::RenameDisplay, [&](Action& a) { a.name = m.text("name"); });
    } else if (act == "preview") {
        toggle(hooks_.togglePreview);
    } else if (act == "record") {
        toggle(hooks_.toggleRecording);
    } else if (act == "ndi") {
        toggle(hooks_.toggleNdi);
    } else if (act == "recordRegion") {
        deferred(hooks_.toggleRegionRecording);
    } else if (act == "ndiRegion") {
        deferred(hooks_.toggleRegionNdi);
    } else if (!m.ok()) {
        ignoreSpoiled(type, m);
    }
}

} // namespace qv
