#include "windows/WindowPlacement.h"

#include "base/StrPrintf.h"
#include "display/DisplayManager.h"

#include <algorithm>

namespace qv {

namespace {

// Added to the gather and tile messages when some windows refused to move.
constexpr const char* kRefusedHint = " — some refused (run elevated to move them)";

const char* refusedSuffix(const MoveReport& report) { return report.refused > 0 ? kRefusedHint : ""; }

} // namespace

WindowPlacement::WindowPlacement(WindowSystem& system, DisplayManager& displays)
    : system_(system), displays_(displays) {}

// --- Application windows --------------------------------------------------------

bool WindowPlacement::isUserWindow(WindowSystem& system, WindowHandle window) {
    if (window == 0) return false;
    if (!system.isWindowVisible(window)) return false;
    if (system.getAncestor(window, ws::GaRoot) != window) return false;
    if (window == system.getShellWindow()) return false;
    std::uint32_t cloaked = 0;
    if (system.dwmCloaked(window, cloaked) && cloaked != 0) return false;
    // Tool windows stay out unless they also ask for a taskbar button.
    if ((system.getExStyle(window) & (ws::WsExToolWindow | ws::WsExAppWindow)) == ws::WsExToolWindow) return false;
    ScreenRect rect;
    return system.getWindowRect(window, rect) && rect.width() > 0 && rect.height() > 0;
}

bool WindowPlacement::isAppWindow(WindowHandle window) {
    return isUserWindow(system_, window) && system_.getWindowTextLength(window) > 0;
}

std::vector<WindowHandle> WindowPlacement::appWindows() {
    std::vector<WindowHandle> windows = system_.enumWindows();
    std::erase_if(windows, [this](WindowHandle window) { return !isAppWindow(window); });
    return windows;
}

// --- Monitors ----------------------------------------------------------------------

WindowPlacement::MonitorMap WindowPlacement::monitorMap() {
    MonitorMap map;
    // Clones share a GDI device name; the record later in enumeration order wins.
    for (const DisplayInfo& info : displays_.enumerate())
        if (!info.gdiName.empty()) map[info.gdiName] = info.key;
    return map;
}

std::optional<ScreenRect> WindowPlacement::workArea(const MonitorMap& map, const std::string& key) {
    // The key as the display goes by now (a key stored while identical
    // monitors shared one names the first of them).
    const std::optional<DisplayInfo> display = displays_.find(key);
    const std::string wanted = display ? display->key : key;
    auto entry = std::find_if(map.begin(), map.end(), [&](const auto& e) { return e.second == wanted; });
    if (entry == map.end()) return std::nullopt;
    for (MonitorHandle monitor : system_.enumDisplayMonitors()) {
        MonitorInfo info;
        if (system_.getMonitorInfo(monitor, info) && info.device == entry->first) return info.work;
    }
    return std::nullopt;
}

std::string WindowPlacement::displayOf(const MonitorMap& map, WindowHandle window) {
    const MonitorHandle monitor = system_.monitorFromWindow(window, ws::MonitorDefaultToNull);
    if (monitor == 0) return std::string();
    MonitorInfo info;
    if (!system_.getMonitorInfo(monitor, info)) return std::string();
    auto entry = map.find(info.device);
    return entry == map.end() ? std::string() : entry->second;
}

// --- Moving one window ----------------------------------------------------------------

WindowPlacement::MoveResult WindowPlacement::setPosition(WindowHandle window, const ScreenRect& rect) {
    std::uint32_t error = 0;
    if (system_.setWindowPos(window, 0, rect.left, rect.top, rect.width(), rect.height(),
                             ws::SwpNoActivate | ws::SwpNoZOrder, error))
        return MoveResult::Moved;
    return error == ws::ErrorAccessDenied ? MoveResult::Refused : MoveResult::Failed;
}

WindowPlacement::MoveResult WindowPlacement::centreMove(WindowHandle window, const ScreenRect& work) {
    bool wasMaximised = system_.isZoomed(window);
    if (system_.isIconic(window)) {
        system_.showWindow(window, ws::SwRestore);
        // A window minimised from the maximised state comes back maximised:
        // it is moved restored and maximised again on the target like any
        // maximised window.
        if (system_.isZoomed(window)) wasMaximised = true;
    }
    if (wasMaximised) system_.showWindow(window, ws::SwRestore);

    ScreenRect rect;
    if (!system_.getWindowRect(window, rect)) return MoveResult::Failed;
    const std::int32_t width = std::min(rect.width(), work.width());
    const std::int32_t height = std::min(rect.height(), work.height());
    ScreenRect target;
    target.left = work.left + (work.width() - width) / 2;
    target.top = work.top + (work.height() - height) / 2;
    target.right = target.left + width;
    target.bottom = target.top + height;

    const MoveResult result = setPosition(window, target);
    if (result == MoveResult::Moved && wasMaximised) system_.showWindow(window, ws::SwShowMaximized);
    return result;
}

WindowPlacement::MoveResult WindowPlacement::placeInRect(WindowHandle window, ScreenRect target) {
    // Placed windows stay restored. A window minimised from the maximised
    // state needs a second restore.
    if (system_.isIconic(window)) system_.showWindow(window, ws::SwRestore);
    if (system_.isZoomed(window)) system_.showWindow(window, ws::SwRestore);

    // The window rectangle includes the invisible resize borders; widen the
    // target by them so that the visible frame lines up with the cell.
    ScreenRect rect;
    ScreenRect frame;
    if (system_.getWindowRect(window, rect) && system_.dwmExtendedFrameBounds(window, frame)) {
        target.left += rect.left - frame.left;
        target.top += rect.top - frame.top;
        target.right += rect.right - frame.right;
        target.bottom += rect.bottom - frame.bottom;
    }
    return setPosition(window, target);
}

void WindowPlacement::count(MoveReport& report, MoveResult result) {
    switch (result) {
    case MoveResult::Moved: ++report.moved; break;
    case MoveResult::Refused: ++report.refused; break;
    case MoveResult::Failed: ++report.skipped; break;
    }
}

// --- Operations ------------------------------------------------------------------------

MoveReport WindowPlacement::gatherWindows(const std::string& targetKey) {
    MoveReport report;
    const MonitorMap map = monitorMap();
    const std::optional<ScreenRect> work = workArea(map, targetKey);
    if (!work) {
        report.ok = false;
        report.message = "Target monitor not connected";
        return report;
    }
    for (WindowHandle window : appWindows()) {
        if (displayOf(map, window) == targetKey)
            ++report.skipped;
        else
            count(report, centreMove(window, *work));
    }
    report.message = strprintf("Gathered %d window(s)%s", report.moved, refusedSuffix(report));
    return report;
}

bool WindowPlacement::grabWindow(WindowHandle window, const std::string& targetKey) {
    if (window == 0) return false;
    const MonitorMap map = monitorMap();
    const std::optional<ScreenRect> work = workArea(map, targetKey);
    if (!work) return false;
    return centreMove(window, *work) == MoveResult::Moved;
}

MoveReport WindowPlacement::tileWindows(const std::string& targetKey, const Grid& grid) {
    MoveReport report;
    if (!grid.valid()) {
        report.ok = false;
        report.message = "Invalid grid";
        return report;
    }
    const MonitorMap map = monitorMap();
    const std::optional<ScreenRect> work = workArea(map, targetKey);
    if (!work) {
        report.ok = false;
        report.message = "Monitor not connected";
        return report;
    }
    std::int32_t next = 0;
    bool any = false;
    for (WindowHandle window : appWindows()) {
        if (displayOf(map, window) != targetKey) continue;
        any = true;
        // Extra windows stack onto the first cells again; a window that fails
        // to move still uses up its cell.
        const ScreenRect cell = grid.cell(*work, next);
        next = (next + 1) % grid.cellCount();
        count(report, placeInRect(window, cell));
    }
    if (!any)
        report.message = "No windows on that display to tile";
    else
        report.message =
            strprintf("Tiled %d window(s) into a %s grid%s", report.moved, grid.text().c_str(), refusedSuffix(report));
    return report;
}

bool WindowPlacement::snapWindow(WindowHandle window, const std::string& targetKey, const Grid& grid,
                                 std::int32_t cell) {
    if (!isAppWindow(window) || !grid.valid() || cell < 0 || cell >= grid.cellCount()) return false;
    const MonitorMap map = monitorMap();
    const std::optional<ScreenRect> work = workArea(map, targetKey);
    if (!work) return false;
    return placeInRect(window, grid.cell(*work, cell)) == MoveResult::Moved;
}

std::vector<WindowEntry> WindowPlacement::windowsOnDisplay(const std::string& displayKey) {
    const MonitorMap map = monitorMap();
    std::vector<WindowEntry> entries;
    for (WindowHandle window : appWindows()) {
        WindowEntry entry;
        entry.window = window;
        const std::int32_t length = system_.getWindowTextLength(window);
        if (length > 0) entry.title = system_.getWindowText(window, length);
        entry.displayKey = displayOf(map, window);
        if (entry.displayKey == displayKey) entries.push_back(std::move(entry));
    }
    return entries;
}

WindowHandle WindowPlacement::foregroundAppWindow() {
    const WindowHandle window = system_.getForegroundWindow();
    return isAppWindow(window) ? window : 0;
}

std::string WindowPlacement::displayOfWindow(WindowHandle window) {
    if (window == 0) return std::string();
    return displayOf(monitorMap(), window);
}

} // namespace qv
