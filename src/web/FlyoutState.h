#pragma once
#include "display/DisplayInfo.h"
#include "web/FlyoutHooks.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qv {

class ActionBus;
struct Config;

// The two documents the flyout page renders from: the state document,
// rebuilt from scratch and sent whole on every user-paced change, and the
// levels document sent twenty times a second while the flyout is open.
class FlyoutState {
public:
    // A display's resolution choices (distinct sizes, largest pixel count
    // first, at most 24) and the refresh rates of its current size (distinct,
    // highest first), from its mode list in the driver's order.
    // The page's resolution list holds at most this many sizes.
    static constexpr size_t kMaxResolutions = 24;

    // The state document. config may be null (no settings): "uiPanels" is
    // then empty. Audio and foreground members are present only when their
    // hooks are set.
    static nlohmann::json state(ActionBus& bus, const Config* config, const FlyoutHooks& hooks);

    // The script that hands the state document to the page: compact JSON,
    // non-ASCII characters written as UTF-8.
    static std::string stateScript(const nlohmann::json& state);
    // The script that hands the levels document {"mic": level, "spk": level}
    // to the page, from one level read of the speakers, then one of the
    // microphone (all zero without audioLevel). It runs twenty times a second,
    // so it is written straight into one string: its text is the only
    // allocation. Numbers are the shortest text that reads back as the same
    // float, whole ones with ".0"; a value that is not finite is sent as 0.
    static std::string levelsScript(const FlyoutHooks& hooks);
};

} // namespace qv
