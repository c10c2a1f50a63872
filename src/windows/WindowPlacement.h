#pragma once
#include "base/ActionResult.h"
#include "base/WindowHandle.h"
#include "windows/Grid.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qv {

class DisplayManager;

// An application window and the display it sits on.
struct WindowEntry {
    WindowHandle window = 0;
    std::string title;       // UTF-8
    std::string displayKey;  // empty when the window is on no monitor

    friend bool operator==(const WindowEntry&, const WindowEntry&) = default;
};

// The outcome of gathering or tiling.
struct MoveReport {
    std::int32_t moved = 0;
    std::int32_t skipped = 0;
    std::int32_t refused = 0;  // refused by Windows, typically windows of elevated programs
    std::string message;
    // False when nothing could be attempted: an invalid grid or a target
    // display that is not connected. The counters are then all 0.
    bool ok = true;
};

// Moves other programs' top-level windows between displays: gathering every
// application window onto one display, grabbing one window, tiling a
// display's windows into a grid and snapping one window into a grid cell.
// Displays are named by their display key; the service finds a display's
// monitor through its GDI device name, from a fresh enumeration on every
// operation. It keeps nothing between calls. User-interface thread only.
class WindowPlacement {
public:
    WindowPlacement(WindowSystem& system, DisplayManager& displays);

    MoveReport gatherWindows(const std::string& targetKey);
    // Centres one window on the target; the window need not pass the
    // application window test. True when it was moved.
    bool grabWindow(WindowHandle window, const std::string& targetKey);
    MoveReport tileWindows(const std::string& targetKey, const Grid& grid);
    // True when the window passes the application window test, the cell lies
    // in the grid and the window was placed in it.
    bool snapWindow(WindowHandle window, const std::string& targetKey, const Grid& grid, std::int32_t cell);

    // The application windows on the display, top of the Z order first.
    std::vector<WindowEntry> windowsOnDisplay(const std::string& displayKey);
    // The foreground window if it is an application window, else 0.
    WindowHandle foregroundAppWindow();
    // Key of the display holding the window; empty when none.
    std::string displayOfWindow(WindowHandle window);

    // A visible, uncloaked, titled top-level root window with a size, that is
    // neither the shell's desktop window nor a plain tool window.
    bool isAppWindow(WindowHandle window);
    // The same without the title: every window a user would miss.
    static bool isUserWindow(WindowSystem& system, WindowHandle window);

private:
    enum class MoveResult { Moved, Refused, Failed };
    // GDI device name → display key.
    using MonitorMap = std::map<std::string, std::string>;

    MonitorMap monitorMap();
    std::optional<ScreenRect> workArea(const MonitorMap& map, const std::string& key);
    std::string displayOf(const MonitorMap& map, WindowHandle window);
    std::vector<WindowHandle> appWindows();

    MoveResult centreMove(WindowHandle window, const ScreenRect& work);
    MoveResult placeInRect(WindowHandle window, ScreenRect target);
    MoveResult setPosition(WindowHandle window, const ScreenRect& rect);
    static void count(MoveReport& report, MoveResult result);

    WindowSystem& system_;
    DisplayManager& displays_;
};

} // namespace qv
