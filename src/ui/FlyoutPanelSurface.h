#pragma once
#include "base/ScreenPoint.h"
#include "base/WindowHandle.h"
#include "ui/ClassicControls.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace qv {

class FlyoutPanel;

// The classic flyout's window as the panel drives it. The Win32
// implementation owns the popup, its child controls, fonts and brush; it
// paints what the panel describes and reports clicks, deactivation, Escape,
// display and DPI changes back to the attached panel. User-interface thread
// only.
class FlyoutPanelSurface {
public:
    virtual ~FlyoutPanelSurface() = default;

    virtual void attach(FlyoutPanel* panel) = 0;
    // Registers the class "QuorvaneFlyout" and creates the hidden popup
    // (WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WS_POPUP, 318 × 400, "Quorvane"),
    // applies the dark look and creates the fonts. False when
    // CreateWindowEx fails.
    virtual bool create() = 0;
    virtual bool isVisible() const = 0;
    virtual WindowHandle handle() const = 0;
    // The window's DPI (96 when unknown).
    virtual uint32_t dpi() const = 0;
    // Moves the window, unchanged in size, so that it takes the DPI of the
    // monitor at the point; recreates the fonts when that DPI differs.
    virtual void moveTo(ScreenPoint point) = 0;
    // Destroys the child controls and creates these instead (rectangles in
    // device-independent pixels at the window's DPI).
    virtual void setControls(const std::vector<ClassicControl>& controls) = 0;
    virtual ScreenRect windowRect() const = 0;
    // Moves and sizes the window without changing its visibility.
    virtual void setWindowRect(const ScreenRect& rect) = 0;
    // Shows the window topmost at the rectangle and brings it to the foreground.
    virtual void showAt(const ScreenRect& rect) = 0;
    virtual void hide() = 0;
    // Repaints the window and its controls.
    virtual void redraw() = 0;
    // The work area of the monitor nearest the point; nothing when Windows does not say.
    virtual std::optional<ScreenRect> workAreaNear(ScreenPoint point) const = 0;
    // Shows the menu at the cursor; the chosen command, 0 for none.
    virtual uint32_t trackMenu(const std::vector<MenuEntry>& entries) = 0;
    // Ends the program's message loop (exit code 0).
    virtual void quit() = 0;
};

} // namespace qv
