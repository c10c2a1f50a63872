#include "windows/WindowHomecoming.h"

#include "base/Log.h"
#include "base/StrPrintf.h"
#include "display/DisplayManager.h"
#include "windows/WindowPlacement.h"

#include <algorithm>
#include <set>

namespace qv {

namespace {

constexpr const char* kRefusedHint = " — some refused (run elevated to move them)";

bool isMaximized(const WindowPlacementInfo& p) { return p.showCmd == std::uint32_t(ws::SwShowMaximized); }
bool isMinimized(const WindowPlacementInfo& p) {
    return p.showCmd == std::uint32_t(ws::SwShowMinimized) || p.showCmd == std::uint32_t(ws::SwMinimize) ||
           p.showCmd == std::uint32_t(ws::SwShowMinNoActive);
}
// The three states a placement can restore to; SW_SHOWNORMAL, SW_RESTORE and
// the other "shown" commands all mean a normal window.
int stateOf(const WindowPlacementInfo& p) { return isMaximized(p) ? 2 : isMinimized(p) ? 1 : 0; }

bool overlaps(const ScreenRect& a, const ScreenRect& b) {
    return std::min(a.right, b.right) > std::max(a.left, b.left) &&
           std::min(a.bottom, b.bottom) > std::max(a.top, b.top);
}

// The rectangle of the same size (clamped to the area) centred in the area.
ScreenRect centredIn(const ScreenRect& rect, const ScreenRect& area) {
    const std::int32_t width = std::min(rect.width(), area.width());
    const std::int32_t height = std::min(rect.height(), area.height());
    const std::int32_t left = area.left + (area.width() - width) / 2;
    const std::int32_t top = area.top + (area.height() - height) / 2;
    return ScreenRect{left, top, left + width, top + height};
}

} // namespace

WindowHomecoming::WindowHomecoming(WindowSystem& system, DisplayManager& displays)
    : system_(system), displays_(displays) {}

// --- What is there -------------------------------------------------------------------

std::vector<WindowHomecoming::Monitor> WindowHomecoming::monitors() {
    std::vector<Monitor> out;
    for (MonitorHandle handle : system_.enumDisplayMonitors()) {
        MonitorInfo info;
        if (system_.getMonitorInfo(handle, info)) out.push_back(Monitor{info.device, info.monitor});
    }
    return out;
}

WindowHomecoming::DeviceKeys WindowHomecoming::deviceKeys() {
    DeviceKeys keys;
    // Clones share a GDI device name; the record later in enumeration order wins.
    for (const DisplayInfo& info : displays_.enumerate())
        if (!info.gdiName.empty()) keys[info.gdiName] = info.key;
    return keys;
}

// Every window the user would miss; untitled windows count.
bool WindowHomecoming::homeWindow(WindowHandle window) { return WindowPlacement::isUserWindow(system_, window); }

std::optional<WindowHome> WindowHomecoming::currentHome(WindowHandle window, const DeviceKeys& keys) {
    WindowHome home;
    if (!system_.getWindowRect(window, home.rect)) return std::nullopt;
    if (!system_.getWindowPlacement(window, home.placement)) return std::nullopt;
    home.processId = system_.windowProcessId(window);
    // A minimised window belongs to the monitor it restores onto.
    const MonitorHandle monitor = system_.monitorFromWindow(window, ws::MonitorDefaultToNull);
    MonitorInfo info;
    if (monitor != 0 && system_.getMonitorInfo(monitor, info)) {
        auto found = keys.find(info.device);
        if (found != keys.end()) home.displayKey = found->second;
        home.originX = info.monitor.left;
        home.originY = info.monitor.top;
    }
    return home;
}

std::optional<WindowHome> WindowHomecoming::placeNow(const WindowHome& home, const DeviceKeys& keys) {
    auto entry = std::find_if(keys.begin(), keys.end(), [&](const auto& e) { return e.second == home.displayKey; });
    if (entry == keys.end()) return std::nullopt;
    for (MonitorHandle handle : system_.enumDisplayMonitors()) {
        MonitorInfo info;
        if (!system_.getMonitorInfo(handle, info) || info.device != entry->first) continue;
        const std::int32_t dx = info.monitor.left - home.originX;
        const std::int32_t dy = info.monitor.top - home.originY;
        WindowHome moved = home;
        moved.originX = info.monitor.left;
        moved.originY = info.monitor.top;
        moved.rect = ScreenRect{home.rect.left + dx, home.rect.top + dy, home.rect.right + dx, home.rect.bottom + dy};
        ScreenRect& normal = moved.placement.normal;
        normal = ScreenRect{normal.left + dx, normal.top + dy, normal.right + dx, normal.bottom + dy};
        return moved;
    }
    return std::nullopt;
}

bool WindowHomecoming::exists(WindowHandle window, const WindowHome& home) {
    // A closed window's handle may be given to a new window of another program.
    return system_.isWindowVisible(window) && system_.windowProcessId(window) == home.processId;
}

std::optional<WindowHome> WindowHomecoming::homeOf(WindowHandle window) const {
    if (auto w = waiting_.find(window); w != waiting_.end()) return w->second.home;
    if (auto r = recorded_.find(window); r != recorded_.end()) return r->second;
    return std::nullopt;
}

// --- Recording -------------------------------------------------------------------------

void WindowHomecoming::prime() {
    settledMonitors_ = monitors();
    settledKeys_ = deviceKeys();
    settled_ = true;
    record();
}

void WindowHomecoming::record() {
    // While displays come and go, or before the change that made them differ
    // has been reported, what Windows does to the windows is not theirs.
    if (!settled_ || monitors() != settledMonitors_) return;
    std::map<WindowHandle, WindowHome> now;
    for (WindowHandle window : system_.enumWindows()) {
        if (waiting_.count(window) != 0 || !homeWindow(window)) continue;
        std::optional<WindowHome> home = currentHome(window, settledKeys_);
        if (home && !home->displayKey.empty()) now[window] = std::move(*home);
    }
    recorded_ = std::move(now);
}

void WindowHomecoming::displaysChanging(const std::vector<std::string>& connectedKeys) {
    settled_ = false;
    const std::set<std::string> connected(connectedKeys.begin(), connectedKeys.end());
    for (auto it = recorded_.begin(); it != recorded_.end();) {
        if (connected.count(it->second.displayKey) == 0) {
            waiting_[it->first] = Waiting{it->second, std::nullopt};
            it = recorded_.erase(it);
        } else {
            ++it;
        }
    }
}

void WindowHomecoming::displaysSettled() {
    settledMonitors_ = monitors();
    settledKeys_ = deviceKeys();
    settled_ = true;
    if (!enabled_) waiting_.clear();

    int done = 0;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        const WindowHandle window = it->first;
        Waiting& waiting = it->second;
        std::optional<WindowHome> now;
        if (exists(window, waiting.home)) now = currentHome(window, settledKeys_);
        if (!now) {  // closed meanwhile
            it = waiting_.erase(it);
            continue;
        }
        const bool movedSince = waiting.displaced && (now->rect != waiting.displaced->rect ||
                                                      now->placement != waiting.displaced->placement);
        if (movedSince) {  // the user put it somewhere: it stays there
            it = waiting_.erase(it);
            continue;
        }
        if (std::optional<WindowHome> target = placeNow(waiting.home, settledKeys_)) {
            if (putBack(window, *target) == Put::Done) ++done;
            it = waiting_.erase(it);
            continue;
        }
        // Its display is still away: remember where Windows left it, so that
        // a move by the user can be told from it later.
        if (!waiting.displaced) waiting.displaced = now;
        ++it;
    }
    if (done > 0) log::logf(log::Info, "Put %d window(s) back on the displays that came back", done);
    record();
}

// --- Putting a window back ----------------------------------------------------------------

WindowHomecoming::Put WindowHomecoming::placement(WindowHandle window, const WindowPlacementInfo& wanted) {
    std::uint32_t error = 0;
    if (system_.setWindowPlacement(window, wanted, error)) return Put::Done;
    return error == ws::ErrorAccessDenied ? Put::Refused : Put::Failed;
}

WindowHomecoming::Put WindowHomecoming::placeRect(WindowHandle window, const ScreenRect& rect) {
    std::uint32_t error = 0;
    const std::uint32_t flags = ws::SwpNoZOrder | ws::SwpNoActivate;
    if (!system_.setWindowPos(window, 0, rect.left, rect.top, rect.width(), rect.height(), flags, error))
        return error == ws::ErrorAccessDenied ? Put::Refused : Put::Failed;
    // A program aware of each monitor's DPI rescales itself when it lands on
    // a monitor of another DPI; the size it had there is set once more.
    ScreenRect now;
    if (system_.getWindowRect(window, now) && now != rect)
        system_.setWindowPos(window, 0, rect.left, rect.top, rect.width(), rect.height(), flags, error);
    return Put::Done;
}

WindowHomecoming::Put WindowHomecoming::putBack(WindowHandle window, const WindowHome& home) {
    WindowPlacementInfo current;
    ScreenRect rect;
    if (!system_.getWindowPlacement(window, current) || !system_.getWindowRect(window, rect)) return Put::Failed;
    const int wanted = stateOf(home.placement);
    if (stateOf(current) == wanted && current.normal == home.placement.normal && (wanted == 1 || rect == home.rect))
        return Put::Unchanged;

    if (wanted == 1) {
        // Minimised: it stays in the taskbar and opens on its display.
        WindowPlacementInfo p = home.placement;
        p.showCmd = std::uint32_t(ws::SwShowMinNoActive);
        return placement(window, p);
    }
    // Out of the maximised or minimised state first, onto its own display,
    // without activating it.
    if (stateOf(current) != 0 || wanted == 2) {
        WindowPlacementInfo p = home.placement;
        p.flags = 0;
        p.showCmd = std::uint32_t(ws::SwShowNoActivate);
        if (Put put = placement(window, p); put != Put::Done) return put;
    }
    if (wanted == 2) return placement(window, home.placement);
    // A normal window takes its real rectangle, which for a window snapped to
    // part of the screen is not its placement's.
    return placeRect(window, home.rect);
}

// --- Actions ----------------------------------------------------------------------------------

ActionResult WindowHomecoming::restoreNow() {
    if (recorded_.empty() && waiting_.empty()) return ActionResult::failure("No window positions kept yet");
    const DeviceKeys keys = deviceKeys();
    int done = 0, refused = 0;
    const auto put = [&](WindowHandle window, const WindowHome& home) {
        std::optional<WindowHome> target = placeNow(home, keys);
        if (!target || !exists(window, home)) return false;
        switch (putBack(window, *target)) {
        case Put::Done: ++done; break;
        case Put::Refused: ++refused; break;
        case Put::Unchanged:
        case Put::Failed: break;
        }
        return true;
    };
    for (auto it = waiting_.begin(); it != waiting_.end();)
        it = put(it->first, it->second.home) ? waiting_.erase(it) : std::next(it);
    for (const auto& [window, home] : recorded_) put(window, home);
    return ActionResult::success(strprintf("Put %d window(s) back%s", done, refused > 0 ? kRefusedHint : ""));
}

ActionResult WindowHomecoming::rescue() {
    std::vector<ScreenRect> screens;
    std::optional<ScreenRect> primaryWork;
    for (MonitorHandle handle : system_.enumDisplayMonitors()) {
        MonitorInfo info;
        if (!system_.getMonitorInfo(handle, info)) continue;
        screens.push_back(info.monitor);
        if ((info.flags & ws::MonitorInfoPrimary) != 0 || !primaryWork) primaryWork = info.work;
    }
    if (!primaryWork) return ActionResult::failure("No display to bring windows onto");
    const auto outside = [&](const ScreenRect& rect) {
        return std::none_of(screens.begin(), screens.end(), [&](const ScreenRect& s) { return overlaps(rect, s); });
    };

    int done = 0, refused = 0;
    for (WindowHandle window : system_.enumWindows()) {
        if (!homeWindow(window)) continue;
        WindowPlacementInfo current;
        ScreenRect rect;
        if (!system_.getWindowPlacement(window, current) || !system_.getWindowRect(window, rect)) continue;
        // Minimised or maximised, where it restores to decides. The
        // placement's rectangle is in workspace coordinates, close enough to
        // the screen's to tell off-screen from on.
        const bool normal = stateOf(current) == 0;
        if (!outside(normal ? rect : current.normal)) continue;
        WindowHome target;
        target.placement = current;
        target.placement.normal = centredIn(current.normal, *primaryWork);
        target.rect = normal ? centredIn(rect, *primaryWork) : rect;
        const Put put = putBack(window, target);
        if (put == Put::Done) ++done;
        if (put == Put::Refused) ++refused;
    }
    record();
    return ActionResult::success(strprintf("Brought %d window(s) onto the primary display%s", done,
                                           refused > 0 ? kRefusedHint : ""));
}

} // namespace qv
