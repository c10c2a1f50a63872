#pragma once
#include "app/Action.h"
#include "display/DisplayInfo.h"
#include "display/Projection.h"

#include <functional>
#include <string>
#include <vector>

namespace qv {

class DisplayManager;
struct Config;

// The one place where requests are carried out. Every hotkey, menu entry and
// panel command becomes an Action that dispatch() turns into calls of the
// display manager, the window placement service, the layout store or the
// settings, answering with an ActionResult. Runs on the user-interface thread.
class ActionBus {
public:
    using ResultListener = std::function<void(const Action&, const ActionResult&)>;

    // TODO(window placement, layout store): the bus also holds references to
    // the window placement service and the layout store, in this order:
    // display manager, window placement, layout store, settings.
    ActionBus(DisplayManager& displayManager, Config& config);

    // Logs "dispatch <kind>", carries the action out, tells the result
    // listener and returns the result.
    ActionResult dispatch(const Action& action);

    // Called with every action and its result; may be empty.
    void setResultListener(ResultListener listener);

    // A fresh enumeration with the user-chosen display names applied; the
    // display manager's cache keeps the system names.
    std::vector<DisplayInfo> displays();
    std::vector<DisplayMode> modes(const std::string& displayKey);
    Projection currentProjection();

    // TODO(layout store): std::vector<std::string> layoutNames();
    // TODO(window placement): windowsOn(displayKey) → (window handle, title) list.

private:
    ActionResult carryOut(const Action& action);
    ActionResult renameDisplay(const Action& action);
    ActionResult saveLayout(const Action& action);
    ActionResult restoreLayout(const Action& action);
    ActionResult deleteLayout(const Action& action);

    DisplayManager& displayManager_;
    // TODO(window placement): WindowPlacement& windows_;
    // TODO(layout store): LayoutStore& layouts_;
    Config& config_;
    ResultListener listener_;
};

} // namespace qv
