#pragma once
#include "sim/SimDisplays.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qv::sim {

enum class SimShow { Normal, Minimized, Maximized };

// One top-level window of another program.
struct SimWindow {
    std::string title;                // UTF-8; empty: an untitled window
    ScreenRect rect;                  // where the window is when it is neither minimised nor maximised
    SimShow show = SimShow::Normal;
    bool maximizeOnRestore = false;   // minimised from the maximised state
    bool visible = true;
    std::uint32_t exStyle = 0;        // WS_EX_* bits
    WindowHandle owner = 0;           // an owned window is still a top-level root
    WindowHandle root = 0;            // what GetAncestor(GA_ROOT) answers; 0: the window itself
    bool cloaked = false;             // hidden by DWM (another virtual desktop, a suspended app)
    bool cloakQueryFails = false;     // DwmGetWindowAttribute(DWMWA_CLOAKED) fails
    // Widths of the invisible resize borders around the visible frame
    // (left, top, right, bottom), as Windows 10 and 11 draw them.
    ScreenRect invisibleBorders{7, 0, 7, 7};
    bool frameQueryFails = false;     // DwmGetWindowAttribute(DWMWA_EXTENDED_FRAME_BOUNDS) fails
    bool elevated = false;            // owned by an elevated process: moves are denied, ShowWindow does nothing
    std::uint32_t moveError = 0;      // non-zero: SetWindowPos fails with this error
    std::uint32_t processId = 0;      // the owning process; 0: unknown
    std::string imagePath;            // its executable; empty: the process cannot be opened
    // Per-monitor DPI aware: moved onto a monitor of another DPI, it takes
    // the size Windows suggests with WM_DPICHANGED (scaled by the DPI ratio,
    // keeping its top-left corner), as such programs do.
    bool perMonitorDpiAware = false;
    // Snapped to part of a monitor (Win+arrow, or dragged to an edge): the
    // window is at `rect`, while its placement still gives the rectangle it
    // had before, which it returns to when dragged away. Any move unsnaps it.
    std::optional<ScreenRect> snappedFrom;
};

// The window part of the simulated desktop. Its monitors are SimDisplays'
// desktop sources, looked up afresh on every call, so plugging, unplugging
// and moving monitors there moves the monitors windows report here. Each
// monitor's work area is the monitor less a taskbar at its bottom unless a
// test sets another. Every call is recorded per window.
class SimWindows final : public WindowSystem {
public:
    static constexpr std::int32_t kTaskbarHeight = 40;
    static constexpr MonitorHandle kFirstMonitor = 0x10001;

    explicit SimWindows(SimDisplays& displays);

    // --- The desktop ---------------------------------------------------------
    // Opens a window on top of the Z order and returns its handle.
    WindowHandle open(SimWindow window);
    // Opens a titled width × height window centred in the monitor's work area.
    WindowHandle openOn(const std::string& gdiName, std::string title, std::int32_t width, std::int32_t height);
    void close(WindowHandle window);
    SimWindow& window(WindowHandle window);
    void minimize(WindowHandle window);
    void maximize(WindowHandle window);
    void setForeground(WindowHandle window) { foreground_ = window; }
    WindowHandle foreground() const { return foreground_; }
    void setShellWindow(WindowHandle window) { shell_ = window; }
    void setWorkArea(const std::string& gdiName, ScreenRect work) { workAreas_[gdiName] = work; }
    // The monitor's DPI; 96 unless set.
    void setMonitorDpi(const std::string& gdiName, std::uint32_t dpi) { dpis_[gdiName] = dpi; }
    // Moves a window as Windows does when its monitor goes away, or as the
    // user does by dragging: no call is recorded.
    void moveTo(WindowHandle window, ScreenRect rect);

    // --- What the user sees --------------------------------------------------
    ScreenRect monitorRect(const std::string& gdiName) const;
    ScreenRect workArea(const std::string& gdiName) const;
    // GDI name of the monitor holding the window; empty when none does.
    std::string monitorOf(WindowHandle window) const;
    ScreenRect windowRect(WindowHandle window) const;    // as GetWindowRect reports it
    ScreenRect visibleFrame(WindowHandle window) const;  // the window rectangle without its invisible borders

    // --- Call log --------------------------------------------------------------
    // The calls about one window, in order, without the handle: "IsZoomed",
    // "ShowWindow(SW_RESTORE)", "SetWindowPos(10, 20, 800, 600, SWP_NOZORDER|SWP_NOACTIVATE)", ...
    std::vector<std::string> callsFor(WindowHandle window) const;
    // Every SetWindowPos and ShowWindow call, with the window's title first.
    std::vector<std::string> changes() const;
    void clearCalls() { calls_.clear(); }

    // --- WindowSystem ------------------------------------------------------------
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

private:
    struct Entry {
        WindowHandle handle = 0;
        SimWindow window;
        // Where SetWindowPos put a maximised window. It stays flagged
        // maximised there, and its restored place does not change.
        std::optional<ScreenRect> movedWhileMaximized;
    };
    struct Call {
        WindowHandle window = 0;
        std::string text;
    };

    Entry* find(WindowHandle window);
    const Entry* find(WindowHandle window) const;
    const SimSource* sourceByGdiName(const std::string& gdiName) const;
    const SimSource* sourceOfRect(const ScreenRect& rect) const;
    ScreenRect windowRectOf(const Entry& entry) const;
    // The rectangle MonitorFromWindow judges by.
    const ScreenRect& placeOf(const Entry& entry) const;
    void record(WindowHandle window, std::string text) { calls_.push_back({window, std::move(text)}); }
    std::uint32_t dpiOf(const ScreenRect& rect) const;
    // The restored rectangle after a move to `to`, with the DPI rescale of an aware window.
    ScreenRect afterDpiChange(const SimWindow& window, const ScreenRect& from, ScreenRect to) const;

    SimDisplays& displays_;
    std::vector<Entry> windows_;  // top of the Z order first
    std::map<std::string, ScreenRect> workAreas_;
    std::map<std::string, std::uint32_t> dpis_;
    WindowHandle nextHandle_ = 0x20010;
    WindowHandle foreground_ = 0;
    WindowHandle shell_ = 0;
    std::vector<Call> calls_;
};

} // namespace qv::sim
