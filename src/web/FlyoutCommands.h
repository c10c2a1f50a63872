#pragma once
#include "web/FlyoutHooks.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <functional>
#include <string>

namespace qv {

class ActionBus;
struct Config;

// Turns each message of the flyout page into an action on the bus, a call of
// one of the controller's callbacks, or a change of the flyout window, and
// then, for most messages, asks for a fresh state document so the page shows
// the outcome. Action results are not returned to the page: the bus's result
// listener reports failures.
//
// Every member is read with its default when missing; an unknown "do" of a
// "windows" message is logged and does nothing. A message that does not
// parse, whose "type" is not a string, or one of whose members holds another
// JSON type than the one read, does nothing at all.
class FlyoutCommands {
public:
    // What a message may do to the flyout window itself.
    class Panel {
    public:
        virtual ~Panel() = default;
        // The page's wanted height in device-independent pixels.
        virtual void resize(int32_t height) = 0;
        virtual void hide() = 0;
        // Runs the task after the message callback has returned.
        virtual void post(std::function<void()> task) = 0;
        virtual void pushState() = 0;
        // Ends the message loop with the exit code.
        virtual void quit(int exitCode) = 0;
    };

    // bus and config may be null (not built yet): without a bus every
    // message is ignored; without settings "ui" changes nothing.
    FlyoutCommands(ActionBus* bus, Config* config, const FlyoutHooks& hooks, Panel& panel);

    // One message as UTF-8 JSON text.
    void onWebMessage(const std::string& text);

    // The name "layoutSave" gives: "Layout %zu (%zu displays)", at most 63 characters.
    static std::string generatedLayoutName(size_t savedLayouts, size_t displays);

private:
    // "type" "disp": one display's commands, by "act".
    void onDisplayMessage(const nlohmann::json& message);

    ActionBus* bus_;
    Config* config_;
    const FlyoutHooks& hooks_;
    Panel& panel_;
};

} // namespace qv
