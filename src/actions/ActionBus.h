#pragma once
#include "actions/Action.h"
#include "display/DisplayInfo.h"
#include "display/Projection.h"

#include <functional>
#include <string>
#include <vector>

namespace qv {

class DisplayManager;
class LayoutStore;
class WindowHomecoming;
class WindowPlacement;
struct Config;
struct WindowEntry;

// The one place where requests are carried out. Every hotkey, menu entry and
// panel command becomes an Action that dispatch() turns into calls of the
// display manager, the window placement service, the layout store or the
// settings, answering with an ActionResult. Runs on the user-interface thread.
class ActionBus {
public:
    using ResultListener = std::function<void(const Action&, const ActionResult&)>;

    ActionBus(DisplayManager& displayManager, WindowPlacement& windows, LayoutStore& layouts, Config& config);

    // Logs "dispatch <kind>", carries the action out, logs the result's
    // message, tells the result listener and returns the result.
    ActionResult dispatch(const Action& action);

    // Called with every action and its result; may be empty.
    void setResultListener(ResultListener listener);
    // What RestoreWindows and RescueWindows use; without it they fail.
    void setWindowHomecoming(WindowHomecoming* homecoming) { homecoming_ = homecoming; }

    // A fresh enumeration with the user-chosen display names applied; the
    // display manager's cache keeps the system names.
    std::vector<DisplayInfo> displays();
    std::vector<DisplayMode> modes(const std::string& displayKey);
    Projection currentProjection();

    // The names of the saved layouts, in store order.
    std::vector<std::string> layoutNames() const;
    // The application windows on the display, top of the Z order first.
    std::vector<WindowEntry> windowsOn(const std::string& displayKey);

private:
    ActionResult carryOut(const Action& action);
    ActionResult toggleHdr(const Action& action);
    ActionResult renameDisplay(const Action& action);
    ActionResult gatherWindows(const Action& action);
    ActionResult grabWindow(const Action& action);
    ActionResult tileWindows(const Action& action);
    ActionResult snapWindow(const Action& action);
    ActionResult saveLayout(const Action& action);
    ActionResult restoreLayout(const Action& action);
    ActionResult deleteLayout(const Action& action);

    DisplayManager& displayManager_;
    WindowPlacement& windows_;
    LayoutStore& layouts_;
    Config& config_;
    ResultListener listener_;
    WindowHomecoming* homecoming_ = nullptr;
};

} // namespace qv
