#pragma once
#include "base/WindowHandle.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// A monitor as the portable code sees it: the HMONITOR's bits, 0 meaning none.
using MonitorHandle = std::uint64_t;

// A RECT in virtual-screen pixels: left and top inside, right and bottom outside.
struct ScreenRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }

    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// A window of the size opened at a point (a dialog at the cursor): moved left
// and up so that it ends inside the work area, then right and down so that
// it starts inside it.
inline ScreenRect openedAt(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                           const ScreenRect& work) {
    if (x + width > work.right) x = work.right - width;
    if (y + height > work.bottom) y = work.bottom - height;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    return ScreenRect{x, y, x + width, y + height};
}

// WINDOWPLACEMENT without its length: a window's show state and where it goes
// when restored, maximised or minimised. Its rectangles are in workspace
// coordinates, which differ from screen coordinates by the primary
// monitor's taskbar when that sits at the top or left; they are only read
// back from and handed to the same calls, never mixed with screen rectangles.
struct WindowPlacementInfo {
    std::uint32_t flags = 0;
    std::uint32_t showCmd = 0;
    std::int32_t minX = 0, minY = 0;  // ptMinPosition
    std::int32_t maxX = 0, maxY = 0;  // ptMaxPosition
    ScreenRect normal;                // rcNormalPosition

    friend bool operator==(const WindowPlacementInfo&, const WindowPlacementInfo&) = default;
};

// MONITORINFOEXW, the fields read from it.
struct MonitorInfo {
    ScreenRect monitor;  // rcMonitor
    ScreenRect work;     // rcWork: the monitor without the taskbar and docked bars
    std::uint32_t flags = 0;
    std::string device;  // szDevice, the GDI device name (\\.\DISPLAYn), UTF-8
};

// Windows constants the placement code passes through, with their documented values.
namespace ws {

// winuser.h values; each line names the learn.microsoft.com page it was checked against.
inline constexpr std::uint32_t GaRoot = 2;                   // "GetAncestor function"
inline constexpr std::uint32_t WsExToolWindow = 0x00000080;  // "Extended Window Styles"
inline constexpr std::uint32_t WsExAppWindow = 0x00040000;
inline constexpr std::int32_t SwShowNormal = 1;              // "ShowWindow function"
inline constexpr std::int32_t SwShowMinimized = 2;
inline constexpr std::int32_t SwShowMaximized = 3;
inline constexpr std::int32_t SwShowNoActivate = 4;
inline constexpr std::int32_t SwMinimize = 6;
inline constexpr std::int32_t SwShowMinNoActive = 7;
inline constexpr std::int32_t SwRestore = 9;
inline constexpr std::uint32_t WpfRestoreToMaximized = 0x0002; // "WINDOWPLACEMENT structure", flags
inline constexpr std::uint32_t SwpNoZOrder = 0x0004;         // "SetWindowPos function"
inline constexpr std::uint32_t SwpNoActivate = 0x0010;
inline constexpr std::uint32_t MonitorDefaultToNull = 0;     // "MonitorFromWindow function"
inline constexpr std::uint32_t MonitorInfoPrimary = 0x1;     // "MONITORINFO structure", dwFlags
// winerror.h values, learn.microsoft.com "System Error Codes (0-499)" and "(1300-1699)".
inline constexpr std::uint32_t ErrorAccessDenied = 5;
inline constexpr std::uint32_t ErrorInvalidWindowHandle = 1400;

} // namespace ws

// The desktop's top-level windows and monitors, as the window placement
// service asks for them: one method per user32 / dwmapi call.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // EnumWindows: the top-level windows, top of the Z order first.
    virtual std::vector<WindowHandle> enumWindows() = 0;

    // The inputs of the application window test.
    virtual bool isWindowVisible(WindowHandle window) = 0;
    virtual WindowHandle getAncestor(WindowHandle window, std::uint32_t flags) = 0;
    virtual WindowHandle getShellWindow() = 0;
    // DwmGetWindowAttribute(DWMWA_CLOAKED): false when the call fails.
    virtual bool dwmCloaked(WindowHandle window, std::uint32_t& cloaked) = 0;
    // GetWindowLongPtrW(GWL_EXSTYLE).
    virtual std::uint32_t getExStyle(WindowHandle window) = 0;
    virtual bool getWindowRect(WindowHandle window, ScreenRect& rect) = 0;
    virtual std::int32_t getWindowTextLength(WindowHandle window) = 0;
    // GetWindowTextW into a buffer of maxChars + 1 characters, as UTF-8;
    // empty when nothing was copied.
    virtual std::string getWindowText(WindowHandle window, std::int32_t maxChars) = 0;

    // Monitors.
    virtual MonitorHandle monitorFromWindow(WindowHandle window, std::uint32_t flags) = 0;
    // EnumDisplayMonitors over the whole desktop, in the order Windows reports them.
    virtual std::vector<MonitorHandle> enumDisplayMonitors() = 0;
    // GetMonitorInfoW with a MONITORINFOEXW.
    virtual bool getMonitorInfo(MonitorHandle monitor, MonitorInfo& info) = 0;

    // Window state and placement.
    virtual bool isIconic(WindowHandle window) = 0;
    virtual bool isZoomed(WindowHandle window) = 0;
    // ShowWindow: true when the window was visible before.
    virtual bool showWindow(WindowHandle window, std::int32_t command) = 0;
    // SetLastError(0), SetWindowPos, and on failure GetLastError into lastError
    // (0 on success).
    virtual bool setWindowPos(WindowHandle window, WindowHandle insertAfter, std::int32_t x, std::int32_t y,
                              std::int32_t cx, std::int32_t cy, std::uint32_t flags, std::uint32_t& lastError) = 0;
    // DwmGetWindowAttribute(DWMWA_EXTENDED_FRAME_BOUNDS): the visible frame
    // without the invisible resize borders; false when the call fails.
    virtual bool dwmExtendedFrameBounds(WindowHandle window, ScreenRect& bounds) = 0;

    virtual WindowHandle getForegroundWindow() = 0;

    // GetWindowPlacement and SetWindowPlacement; on failure lastError holds
    // GetLastError (0 on success).
    virtual bool getWindowPlacement(WindowHandle window, WindowPlacementInfo& placement) = 0;
    virtual bool setWindowPlacement(WindowHandle window, const WindowPlacementInfo& placement,
                                    std::uint32_t& lastError) = 0;
    // GetWindowThreadProcessId: the owning process, 0 when the window is gone.
    virtual std::uint32_t windowProcessId(WindowHandle window) = 0;
};

} // namespace qv
