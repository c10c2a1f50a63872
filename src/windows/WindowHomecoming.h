#pragma once
#include "base/ActionResult.h"
#include "base/WindowHandle.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qv {

class DisplayManager;

// Where a window is: the display it belongs to, its real rectangle (a window
// snapped to half a screen keeps its snapped rectangle here, which its
// placement does not show) and its placement (show state and the rectangle a
// maximised or minimised window restores to).
struct WindowHome {
    std::string displayKey;
    // The display's top-left corner when the place was recorded: a display
    // that comes back elsewhere on the desktop (a layout restored, another
    // port) takes its windows along.
    std::int32_t originX = 0;
    std::int32_t originY = 0;
    ScreenRect rect;
    WindowPlacementInfo placement;
    std::uint32_t processId = 0;  // a handle reused by another program is not the same window

    friend bool operator==(const WindowHome&, const WindowHome&) = default;
};

// Puts application windows back where they were after the display they lay
// on went away and came back (sleep, undocking, a KVM switch, a monitor that
// powers down). Windows itself moves them onto the remaining displays when
// one goes and never moves them back.
//
// While the connected displays are settled, record() keeps the place of every
// application window (visible, a root window, not cloaked, not a plain tool
// window), on every window event the controller passes on. When a display
// change starts, displaysChanging() stops the recording, so the places kept
// are those from before the first change, and the windows of displays that
// are gone wait for them. Once the displays have settled again,
// displaysSettled() notes where Windows left each waiting window and puts
// back every one whose display is connected again, unless it was moved since
// (the user put it somewhere) or closed. User-interface thread only.
class WindowHomecoming {
public:
    WindowHomecoming(WindowSystem& system, DisplayManager& displays);

    // Turns the automatic homecoming on or off; off, waiting windows are
    // forgotten at the next settle. restoreNow() works either way.
    void setEnabled(bool enabled) { enabled_ = enabled; }

    // The displays as they are now are the settled ones: records their
    // monitors and every window's place. The starting point.
    void prime();
    // A window moved, was minimised or came to the front: records every
    // window's place when the monitors are still the settled ones.
    void record();
    // A display change arrived and these displays are connected now:
    // recording stops until the displays settle, and the windows of displays
    // no longer connected start waiting.
    void displaysChanging(const std::vector<std::string>& connectedKeys);
    // The connected displays have stayed the same for the settle time: puts
    // waiting windows whose display is back where they were, then records
    // again.
    void displaysSettled();

    // "RestoreWindows": puts every recorded or waiting window whose display is
    // connected back at its place now, whoever moved it since.
    ActionResult restoreNow();
    // "RescueWindows": brings every application window that lies outside
    // all displays onto the primary display's work area.
    ActionResult rescue();

    // Windows waiting for their display to come back.
    std::size_t waitingCount() const { return waiting_.size(); }
    // The place recorded for a window, if any (waiting windows first).
    std::optional<WindowHome> homeOf(WindowHandle window) const;

private:
    struct Monitor {
        std::string device;  // GDI device name
        ScreenRect rect;
        friend bool operator==(const Monitor&, const Monitor&) = default;
    };
    struct Waiting {
        WindowHome home;
        // Where Windows left the window once the displays had settled without
        // its own; unknown when its display came back before that.
        std::optional<WindowHome> displaced;
    };
    enum class Put { Done, Unchanged, Refused, Failed };

    using DeviceKeys = std::map<std::string, std::string>;  // GDI device name → display key

    std::vector<Monitor> monitors();
    bool homeWindow(WindowHandle window);
    std::optional<WindowHome> currentHome(WindowHandle window, const DeviceKeys& keys);
    DeviceKeys deviceKeys();
    Put putBack(WindowHandle window, const WindowHome& home);
    // The place on the display as it is now; nothing when it is not connected.
    std::optional<WindowHome> placeNow(const WindowHome& home, const DeviceKeys& keys);
    Put placeRect(WindowHandle window, const ScreenRect& rect);
    Put placement(WindowHandle window, const WindowPlacementInfo& placement);
    bool exists(WindowHandle window, const WindowHome& home);

    WindowSystem& system_;
    DisplayManager& displays_;
    bool enabled_ = true;
    bool settled_ = false;
    std::vector<Monitor> settledMonitors_;
    DeviceKeys settledKeys_;  // at the settle
    std::map<WindowHandle, WindowHome> recorded_;
    std::map<WindowHandle, Waiting> waiting_;
};

} // namespace qv
