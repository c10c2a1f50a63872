#pragma once
#include "base/ScreenPoint.h"
#include "web/PanelBrowser.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qv {

class GlassSettingsWindow;

// The web settings window and the browser inside it, as GlassSettingsWindow
// drives them. The Win32 implementation owns the HWND and the WebView2
// interfaces and reports back: the browser's completion events and page
// messages, and the window messages the settings window decides about. When
// the window is destroyed, by whatever means, it reports that and forgets
// it, so the next create builds a new one. User-interface thread only.
class SettingsPageWindow : public PanelBrowser {
public:
    virtual ~SettingsPageWindow() = default;

    // The settings window that events go to; null detaches it.
    virtual void attach(GlassSettingsWindow* window) = 0;

    // --- The window ---------------------------------------------------------
    // Registers the class "QuorvaneGlassSettings" and creates the window
    // (WS_EX_DLGMODALFRAME, WS_CAPTION | WS_SYSMENU, title "Quorvane — Settings")
    // over the rectangle, hidden, and applies the window look. False when
    // CreateWindowEx fails.
    virtual bool create(uint64_t instance, const ScreenRect& rect) = 0;
    virtual bool exists() const = 0;
    // DestroyWindow.
    virtual void destroy() = 0;
    // PostMessage WM_CLOSE, so the page's message returns before the window goes.
    virtual void postClose() = 0;
    // ShowWindow(SW_SHOW), SetForegroundWindow.
    virtual void show() = 0;
    // GetCursorPos; the origin when it fails.
    virtual ScreenPoint cursor() const = 0;
    // GetDpiForWindow; 0 when unknown.
    virtual uint32_t windowDpi() const = 0;
    // The work area of the monitor nearest the point, or of the monitor the
    // window is on; nothing when Windows does not say.
    virtual std::optional<ScreenRect> workAreaNear(ScreenPoint point) const = 0;
    virtual std::optional<ScreenRect> workAreaOfWindow() const = 0;
    // GetWindowRect, and the height the frame adds to the client area.
    virtual ScreenRect windowRect() const = 0;
    virtual int32_t frameHeight() const = 0;
    // SetWindowPos with SWP_NOZORDER | SWP_NOACTIVATE.
    virtual void move(const ScreenRect& rect) = 0;
    // ShellExecuteW "open" on the folder, owned by this window, SW_SHOWNORMAL.
    virtual void openFolder(const std::string& path) = 0;
};

} // namespace qv
