#pragma once
#include "base/ScreenPoint.h"
#include "ui/ClassicControls.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv {

class SettingsWindow;

// The classic settings window as the SettingsWindow drives it. The Win32
// implementation owns the HWND, its fonts and brush, creates the controls it
// is given and paints them; it reports the window's commands and the close
// box back to the attached SettingsWindow, which decides what they mean.
// When the window is destroyed, by whatever means, the surface forgets it,
// so the next create builds a new one. User-interface thread only.
class SettingsSurface {
public:
    virtual ~SettingsSurface() = default;

    // The SettingsWindow that commands and closing go to; null detaches it.
    virtual void attach(SettingsWindow* window) = 0;

    // Registers the class "QuorvaneSettings" (a failed registration is
    // ignored), creates the window (WS_EX_DLGMODALFRAME, WS_CAPTION |
    // WS_SYSMENU, title "Quorvane — Settings", default position, 100 × 100,
    // no owner, hidden) and applies the dark look. False when CreateWindowEx
    // fails.
    virtual bool create(uint64_t instance) = 0;
    virtual bool exists() const = 0;
    // DestroyWindow.
    virtual void destroy() = 0;
    // GetDpiForWindow; 0 when Windows does not know.
    virtual uint32_t dpi() const = 0;
    // Creates the body and title fonts for the DPI and a child control for
    // each record, in order (the order is the tab order).
    virtual void build(const std::vector<ClassicControl>& controls, uint32_t dpi) = 0;
    // The window's outer width and height for a client area of that size:
    // AdjustWindowRectExForDpi with the window's styles.
    virtual ScreenRect frameFor(int32_t clientWidth, int32_t clientHeight, uint32_t dpi) const = 0;
    // GetCursorPos; the origin when it fails.
    virtual ScreenPoint cursor() const = 0;
    // The work area of the monitor nearest the point; nothing when Windows
    // does not say.
    virtual std::optional<ScreenRect> workAreaAt(ScreenPoint point) const = 0;
    // SetWindowPos with SWP_NOZORDER.
    virtual void move(const ScreenRect& rect) = 0;
    // ShowWindow(SW_SHOW), then SetForegroundWindow.
    virtual void show() = 0;

    // A check box's state: BM_GETCHECK is BST_CHECKED.
    virtual bool isChecked(uint32_t id) const = 0;
    virtual void setChecked(uint32_t id, bool checked) = 0;
    // A drop-down list's selected item (CB_GETCURSEL); -1 for none.
    virtual int32_t selection(uint32_t id) const = 0;
    // ShellExecuteW "open" on the folder, owned by this window, SW_SHOWNORMAL.
    virtual void openFolder(const std::string& path) = 0;
};

} // namespace qv
