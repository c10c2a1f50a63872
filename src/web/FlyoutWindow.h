#pragma once
#include "base/ScreenPoint.h"
#include "web/PanelBrowser.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qv {

class GlassFlyoutPanel;

// The flyout's window and the browser inside it, as the flyout panel drives
// them. The Win32 implementation owns the HWND and the WebView2 interfaces
// and reports back to the panel: the browser's completion events and page
// messages, and the window messages the panel decides about. Everything runs
// on the user-interface thread.
class FlyoutWindow : public PanelBrowser {
public:
    virtual ~FlyoutWindow() = default;

    // The panel that the browser's events and the window's messages go to;
    // null detaches it.
    virtual void attach(GlassFlyoutPanel* panel) = 0;

    // --- The window ---------------------------------------------------------
    // Registers the class "QuorvaneGlassFlyout" and creates the hidden popup
    // (WS_EX_TOOLWINDOW | WS_EX_TOPMOST, WS_POPUP, title "Quorvane") over the
    // rectangle, then applies the window look. False when CreateWindowEx fails.
    virtual bool create(const ScreenRect& rect) = 0;
    virtual bool exists() const = 0;
    virtual void destroy() = 0;
    virtual bool isVisible() const = 0;
    // SetWindowPos(HWND_TOPMOST, SWP_SHOWWINDOW) to the rectangle, browser
    // bounds to the new client rectangle, SetForegroundWindow.
    virtual void showAt(const ScreenRect& rect) = 0;
    // ShowWindow(SW_HIDE).
    virtual void hide() = 0;
    // The level timer: id 1, every 50 ms.
    virtual void setLevelTimer() = 0;
    virtual void killLevelTimer() = 0;
    // Posts WM_APP + 21 to the window: each one runs the oldest deferred task.
    virtual void postTaskMessage() = 0;
    // PostQuitMessage.
    virtual void quit(int exitCode) = 0;
    // GetDpiForSystem; GetDpiForWindow (0 when unknown).
    virtual uint32_t systemDpi() const = 0;
    virtual uint32_t windowDpi() const = 0;
    // The work area of the monitor nearest the point; nothing when Windows
    // does not say.
    virtual std::optional<ScreenRect> workAreaNear(ScreenPoint point) const = 0;
};

} // namespace qv
