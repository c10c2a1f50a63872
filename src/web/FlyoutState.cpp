#include "web/FlyoutState.h"
#include "web/MessageMembers.h"

#include "actions/ActionBus.h"
#include "base/Version.h"
#include "display/ModeChoices.h"
#include "settings/Config.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace qv {

namespace {

using nlohmann::json;

const char* projectionText(Projection projection) {
    switch (projection) {
    case Projection::Internal: return "internal";
    case Projection::Clone: return "clone";
    case Projection::Extend: return "extend";
    case Projection::External: return "external";
    default: return "unknown";
    }
}

json audioChoices(const std::vector<AudioChoice>& choices) {
    json list = json::array();
    for (const AudioChoice& choice : choices)
        list.push_back(json{{"id", choice.id}, {"name", choice.name}, {"def", choice.isDefault}});
    return list;
}

void appendNumber(std::string& out, float value) {
    if (!std::isfinite(value)) value = 0.0f;
    char text[32];
    const std::string_view number(text, static_cast<size_t>(std::to_chars(text, text + sizeof text, value).ptr - text));
    out += number;
    if (number.find_first_of(".e") == std::string_view::npos) out += ".0";
}

// One level as an object whose members are in the order of their names.
void appendLevel(std::string& out, const FlyoutHooks::Level& level) {
    out += "{\"mute\":";
    out += level.muted ? "true" : "false";
    out += ",\"ok\":";
    out += level.ok ? "true" : "false";
    out += ",\"peak\":";
    appendNumber(out, level.peak);
    out += ",\"vol\":";
    appendNumber(out, level.volume);
    out += '}';
}

bool flag(const std::function<bool(const std::string&)>& hook, const std::string& key) {
    return hook ? hook(key) : false;
}

} // namespace

json FlyoutState::state(ActionBus& bus, const Config* config, const FlyoutHooks& hooks) {
    json doc = json::object();
    doc["version"] = kVersion;
    doc["projection"] = projectionText(bus.currentProjection());
    doc["layouts"] = bus.layoutNames();

    bool canHD = false;
    bool can4K = false;
    for (const DisplayInfo& display : bus.displays()) {
        for (const DisplayMode& mode : bus.modes(display.key)) {
            canHD = canHD || (mode.width == 1920 && mode.height == 1080);
            can4K = can4K || (mode.width == 3840 && mode.height == 2160);
        }
        if (canHD && can4K)
            break;
    }
    doc["canHD"] = canHD;
    doc["can4K"] = can4K;

    if (hooks.listAudio) {
        doc["spk"] = audioChoices(hooks.listAudio(false));
        doc["mic"] = audioChoices(hooks.listAudio(true));
    }
    if (hooks.foregroundApp)
        doc["fgApp"] = hooks.foregroundApp();
    doc["fgWin"] = hooks.foregroundWindow ? hooks.foregroundWindow() != 0 : false;
    doc["uiPanels"] = config ? config->uiPanels : std::string();
    doc["welcome"] = hooks.welcomePending ? hooks.welcomePending() : false;

    json displays = json::array();
    for (const DisplayInfo& display : bus.displays()) {
        const ModeChoices choices = modeChoices(bus.modes(display.key), display.width, display.height, kMaxResolutions);
        json resolutions = json::array();
        for (const auto& [w, h] : choices.resolutions)
            resolutions.push_back(json::array({w, h}));
        displays.push_back(json{{"key", display.key},
                                {"name", display.name},
                                {"w", display.width},
                                {"h", display.height},
                                {"hz", display.refreshHz},
                                {"posX", display.posX},
                                {"posY", display.posY},
                                {"active", display.active},
                                {"primary", display.primary},
                                {"hdrSupported", display.hdrSupported},
                                {"hdrEnabled", display.hdrEnabled},
                                {"preview", flag(hooks.previewOpen, display.key)},
                                {"recording", flag(hooks.recordingActive, display.key)},
                                {"ndi", flag(hooks.ndiActive, display.key)},
                                {"resList", std::move(resolutions)},
                                {"hzList", choices.rates}});
    }
    doc["displays"] = std::move(displays);
    return doc;
}

std::string FlyoutState::stateScript(const json& state) { return "window.qvState(" + compactJson(state) + ")"; }

std::string FlyoutState::levelsScript(const FlyoutHooks& hooks) {
    const FlyoutHooks::Level none;
    const FlyoutHooks::Level speakers = hooks.audioLevel ? hooks.audioLevel(false) : none;
    const FlyoutHooks::Level microphone = hooks.audioLevel ? hooks.audioLevel(true) : none;
    std::string script;
    script.reserve(192); // two levels of the longest numbers fit
    script += "window.qvLevels&&window.qvLevels({\"mic\":";
    appendLevel(script, microphone);
    script += ",\"spk\":";
    appendLevel(script, speakers);
    script += "})";
    return script;
}

} // namespace qv
