#pragma once
#include "windows/WindowSystem.h"

namespace qv {

// The window system through user32 and dwmapi. Handles are HWND and HMONITOR
// bits; text is converted between UTF-8 and UTF-16.
class Win32WindowSystem final : public WindowSystem {
public:
    std::vector<WindowHandle> enumWindows() override;
    bool isWindowVisible(WindowHandle window) override;
    WindowHandle getAncestor(WindowHandle window, std::uint32_t flags) override;
    WindowHandle getShellWindow() override;
    bool dwmCloaked(WindowHandle window, std::uint32_t& cloaked) override;
    std::uint32_t getExStyle(WindowHandle window) override;
    bool getWindowRect(WindowHandle window, ScreenRect& rect) override;
    std::int32_t getWindowTextLength(WindowHandle window) override;
    std::string getWindowText(WindowHandle window, std::int32_t maxChars) override;
    MonitorHandle monitorFromWindow(WindowHandle window, std::uint32_t flags) override;
    std::vector<MonitorHandle> enumDisplayMonitors() override;
    bool getMonitorInfo(MonitorHandle monitor, MonitorInfo& info) override;
    bool isIconic(WindowHandle window) override;
    bool isZoomed(WindowHandle window) override;
    bool showWindow(WindowHandle window, std::int32_t command) override;
    bool setWindowPos(WindowHandle window, WindowHandle insertAfter, std::int32_t x, std::int32_t y, std::int32_t cx,
                      std::int32_t cy, std::uint32_t flags, std::uint32_t& lastError) override;
    bool dwmExtendedFrameBounds(WindowHandle window, ScreenRect& bounds) override;
    WindowHandle getForegroundWindow() override;
    bool getWindowPlacement(WindowHandle window, WindowPlacementInfo& placement) override;
    bool setWindowPlacement(WindowHandle window, const WindowPlacementInfo& placement,
                            std::uint32_t& lastError) override;
    std::uint32_t windowProcessId(WindowHandle window) override;
};

} // namespace qv
