#include "sim/SimWindows.h"

#include "base/StrPrintf.h"

#include <algorithm>
#include <cstdlib>

namespace qv::sim {

namespace {

constexpr std::int32_t kMinimizedPosition = -32000;

std::string showCommandText(std::int32_t command) {
    switch (command) {
    case 0: return "SW_HIDE";
    case ws::SwShowNormal: return "SW_SHOWNORMAL";
    case ws::SwShowMinimized: return "SW_SHOWMINIMIZED";
    case ws::SwShowMaximized: return "SW_SHOWMAXIMIZED";
    case ws::SwShowNoActivate: return "SW_SHOWNOACTIVATE";
    case ws::SwShowMinNoActive: return "SW_SHOWMINNOACTIVE";
    case 6: return "SW_MINIMIZE";
    case ws::SwRestore: return "SW_RESTORE";
    default: return strprintf("%d", command);
    }
}

std::string swpFlagsText(std::uint32_t flags) {
    std::string text;
    auto add = [&](std::uint32_t bit, const char* name) {
        if ((flags & bit) == 0) return;
        if (!text.empty()) text += "|";
        text += name;
        flags &= ~bit;
    };
    add(0x0001, "SWP_NOSIZE");
    add(0x0002, "SWP_NOMOVE");
    add(ws::SwpNoZOrder, "SWP_NOZORDER");
    add(ws::SwpNoActivate, "SWP_NOACTIVATE");
    if (flags != 0) text += (text.empty() ? "" : "|") + strprintf("0x%X", flags);
    return text.empty() ? "0" : text;
}

std::int64_t overlapArea(const ScreenRect& a, const ScreenRect& b) {
    const std::int64_t width = std::int64_t(std::min(a.right, b.right)) - std::max(a.left, b.left);
    const std::int64_t height = std::int64_t(std::min(a.bottom, b.bottom)) - std::max(a.top, b.top);
    return width > 0 && height > 0 ? width * height : 0;
}

ScreenRect sourceRect(const SimSource& source) {
    return ScreenRect{source.x, source.y, source.x + std::int32_t(source.width), source.y + std::int32_t(source.height)};
}

// Number of UTF-16 code units of one UTF-8 sequence starting with `lead`.
int utf16Units(unsigned char lead) { return lead >= 0xF0 ? 2 : 1; }
bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

std::int32_t utf16Length(const std::string& text) {
    std::int32_t units = 0;
    for (unsigned char c : text)
        if (!isContinuation(c)) units += utf16Units(c);
    return units;
}

// The longest prefix of the text that fits in maxUnits UTF-16 code units.
std::string utf16Prefix(const std::string& text, std::int32_t maxUnits) {
    std::int32_t units = 0;
    size_t end = 0;
    while (end < text.size()) {
        const int add = utf16Units(static_cast<unsigned char>(text[end]));
        if (units + add > maxUnits) break;
        units += add;
        ++end;
        while (end < text.size() && isContinuation(static_cast<unsigned char>(text[end]))) ++end;
    }
    return text.substr(0, end);
}

} // namespace

SimWindows::SimWindows(SimDisplays& displays) : displays_(displays) {}

// --- The desktop -------------------------------------------------------------------

WindowHandle SimWindows::open(SimWindow window) {
    const WindowHandle handle = nextHandle_;
    nextHandle_ += 0x10;
    windows_.insert(windows_.begin(), Entry{handle, std::move(window)});
    return handle;
}

WindowHandle SimWindows::openOn(const std::string& gdiName, std::string title, std::int32_t width,
                                std::int32_t height) {
    const ScreenRect work = workArea(gdiName);
    SimWindow window;
    window.title = std::move(title);
    window.rect.left = work.left + (work.width() - width) / 2;
    window.rect.top = work.top + (work.height() - height) / 2;
    window.rect.right = window.rect.left + width;
    window.rect.bottom = window.rect.top + height;
    return open(std::move(window));
}

void SimWindows::close(WindowHandle window) {
    std::erase_if(windows_, [&](const Entry& e) { return e.handle == window; });
    if (foreground_ == window) foreground_ = 0;
}

SimWindow& SimWindows::window(WindowHandle window) {
    Entry* entry = find(window);
    if (entry == nullptr) std::abort();  // a test asked for a window it never opened
    return entry->window;
}

void SimWindows::minimize(WindowHandle handle) {
    SimWindow& w = window(handle);
    if (w.show == SimShow::Minimized) return;
    w.maximizeOnRestore = w.show == SimShow::Maximized;
    w.show = SimShow::Minimized;
}

void SimWindows::maximize(WindowHandle handle) { window(handle).show = SimShow::Maximized; }

void SimWindows::moveTo(WindowHandle handle, ScreenRect rect) {
    Entry* entry = find(handle);
    if (entry == nullptr) std::abort();
    entry->movedWhileMaximized.reset();
    entry->window.snappedFrom.reset();
    entry->window.rect = rect;
}

std::uint32_t SimWindows::dpiOf(const ScreenRect& rect) const {
    const SimSource* source = sourceOfRect(rect);
    if (source == nullptr) return 96;
    auto found = dpis_.find(source->gdiName());
    return found != dpis_.end() ? found->second : 96;
}

ScreenRect SimWindows::afterDpiChange(const SimWindow& window, const ScreenRect& from, ScreenRect to) const {
    if (!window.perMonitorDpiAware) return to;
    const std::uint32_t before = dpiOf(from);
    const std::uint32_t after = dpiOf(to);
    if (before == after) return to;
    const std::int32_t width = static_cast<std::int32_t>(std::int64_t(to.width()) * after / before);
    const std::int32_t height = static_cast<std::int32_t>(std::int64_t(to.height()) * after / before);
    return ScreenRect{to.left, to.top, to.left + width, to.top + height};
}

// --- What the user sees ---------------------------------------------------------------

ScreenRect SimWindows::monitorRect(const std::string& gdiName) const {
    const SimSource* source = sourceByGdiName(gdiName);
    return source != nullptr ? sourceRect(*source) : ScreenRect{};
}

ScreenRect SimWindows::workArea(const std::string& gdiName) const {
    const SimSource* source = sourceByGdiName(gdiName);
    if (source == nullptr) return ScreenRect{};
    auto set = workAreas_.find(gdiName);
    if (set != workAreas_.end()) return set->second;
    ScreenRect work = sourceRect(*source);
    work.bottom -= kTaskbarHeight;
    return work;
}

std::string SimWindows::monitorOf(WindowHandle window) const {
    const Entry* entry = find(window);
    const SimSource* source = entry != nullptr ? sourceOfRect(placeOf(*entry)) : nullptr;
    return source != nullptr ? source->gdiName() : std::string();
}

ScreenRect SimWindows::windowRect(WindowHandle window) const {
    const Entry* entry = find(window);
    return entry != nullptr ? windowRectOf(*entry) : ScreenRect{};
}

ScreenRect SimWindows::visibleFrame(WindowHandle window) const {
    const Entry* entry = find(window);
    if (entry == nullptr) return ScreenRect{};
    const ScreenRect rect = windowRectOf(*entry);
    const ScreenRect& borders = entry->window.invisibleBorders;
    return ScreenRect{rect.left + borders.left, rect.top + borders.top, rect.right - borders.right,
                      rect.bottom - borders.bottom};
}

std::vector<std::string> SimWindows::callsFor(WindowHandle window) const {
    std::vector<std::string> out;
    for (const Call& call : calls_)
        if (call.window == window) out.push_back(call.text);
    return out;
}

std::vector<std::string> SimWindows::changes() const {
    std::vector<std::string> out;
    for (const Call& call : calls_) {
        if (call.text.rfind("SetWindowPos", 0) != 0 && call.text.rfind("ShowWindow", 0) != 0) continue;
        const Entry* entry = find(call.window);
        out.push_back((entry != nullptr ? entry->window.title : std::string("?")) + ": " + call.text);
    }
    return out;
}

// --- Internal model ----------------------------------------------------------------------

SimWindows::Entry* SimWindows::find(WindowHandle window) {
    for (Entry& e : windows_)
        if (e.handle == window) return &e;
    return nullptr;
}

const SimWindows::Entry* SimWindows::find(WindowHandle window) const {
    for (const Entry& e : windows_)
        if (e.handle == window) return &e;
    return nullptr;
}

const SimSource* SimWindows::sourceByGdiName(const std::string& gdiName) const {
    for (const SimSource& source : displays_.sources())
        if (source.gdiName() == gdiName) return &source;
    return nullptr;
}

// The monitor with the largest share of the rectangle; the first one on a tie.
const SimSource* SimWindows::sourceOfRect(const ScreenRect& rect) const {
    const SimSource* best = nullptr;
    std::int64_t bestArea = 0;
    for (const SimSource& source : displays_.sources()) {
        const std::int64_t area = overlapArea(rect, sourceRect(source));
        if (area > bestArea) {
            best = &source;
            bestArea = area;
        }
    }
    return best;
}

const ScreenRect& SimWindows::placeOf(const Entry& entry) const {
    // A minimised or maximised window belongs to the monitor of its restored
    // place, unless it was moved while maximised.
    if (entry.window.show == SimShow::Maximized && entry.movedWhileMaximized) return *entry.movedWhileMaximized;
    return entry.window.rect;
}

ScreenRect SimWindows::windowRectOf(const Entry& entry) const {
    const SimWindow& window = entry.window;
    if (window.show == SimShow::Maximized && entry.movedWhileMaximized) return *entry.movedWhileMaximized;
    switch (window.show) {
    case SimShow::Normal: return window.rect;
    case SimShow::Minimized:
        return ScreenRect{kMinimizedPosition, kMinimizedPosition, kMinimizedPosition + 160, kMinimizedPosition + 28};
    case SimShow::Maximized: {
        // The work area of its monitor, with the invisible borders outside it.
        const SimSource* source = sourceOfRect(window.rect);
        if (source == nullptr) return window.rect;
        const ScreenRect work = workArea(source->gdiName());
        const ScreenRect& borders = window.invisibleBorders;
        return ScreenRect{work.left - borders.left, work.top - borders.top, work.right + borders.right,
                          work.bottom + borders.bottom};
    }
    }
    return window.rect;
}

// --- WindowSystem ----------------------------------------------------------------------------

std::vector<WindowHandle> SimWindows::enumWindows() {
    record(0, "EnumWindows");
    std::vector<WindowHandle> handles;
    for (const Entry& e : windows_) handles.push_back(e.handle);
    return handles;
}

bool SimWindows::isWindowVisible(WindowHandle window) {
    record(window, "IsWindowVisible");
    const Entry* entry = find(window);
    return entry != nullptr && entry->window.visible;
}

WindowHandle SimWindows::getAncestor(WindowHandle window, std::uint32_t flags) {
    record(window, flags == ws::GaRoot ? "GetAncestor(GA_ROOT)" : strprintf("GetAncestor(%u)", flags));
    const Entry* entry = find(window);
    if (entry == nullptr) return 0;
    return entry->window.root != 0 ? entry->window.root : window;
}

WindowHandle SimWindows::getShellWindow() {
    record(0, "GetShellWindow");
    return shell_;
}

bool SimWindows::dwmCloaked(WindowHandle window, std::uint32_t& cloaked) {
    record(window, "DwmGetWindowAttribute(DWMWA_CLOAKED)");
    const Entry* entry = find(window);
    if (entry == nullptr || entry->window.cloakQueryFails) return false;
    cloaked = entry->window.cloaked ? 2 /* DWM_CLOAKED_SHELL */ : 0;
    return true;
}

std::uint32_t SimWindows::getExStyle(WindowHandle window) {
    record(window, "GetWindowLongPtr(GWL_EXSTYLE)");
    const Entry* entry = find(window);
    return entry != nullptr ? entry->window.exStyle : 0;
}

bool SimWindows::getWindowRect(WindowHandle window, ScreenRect& rect) {
    record(window, "GetWindowRect");
    const Entry* entry = find(window);
    if (entry == nullptr) return false;
    rect = windowRectOf(*entry);
    return true;
}

std::int32_t SimWindows::getWindowTextLength(WindowHandle window) {
    record(window, "GetWindowTextLength");
    const Entry* entry = find(window);
    return entry != nullptr ? utf16Length(entry->window.title) : 0;
}

std::string SimWindows::getWindowText(WindowHandle window, std::int32_t maxChars) {
    record(window, strprintf("GetWindowText(%d)", maxChars));
    const Entry* entry = find(window);
    if (entry == nullptr || maxChars <= 0) return std::string();
    return utf16Prefix(entry->window.title, maxChars);
}

MonitorHandle SimWindows::monitorFromWindow(WindowHandle window, std::uint32_t flags) {
    record(window, flags == ws::MonitorDefaultToNull ? "MonitorFromWindow(MONITOR_DEFAULTTONULL)"
                                                     : strprintf("MonitorFromWindow(%u)", flags));
    const Entry* entry = find(window);
    const SimSource* source = entry != nullptr ? sourceOfRect(placeOf(*entry)) : nullptr;
    if (source == nullptr) {
        if (flags == ws::MonitorDefaultToNull) return 0;
        // MONITOR_DEFAULTTOPRIMARY and MONITOR_DEFAULTTONEAREST: the first monitor will do here.
        const auto& sources = displays_.sources();
        return sources.empty() ? 0 : kFirstMonitor + sources.front().id;
    }
    return kFirstMonitor + source->id;
}

std::vector<MonitorHandle> SimWindows::enumDisplayMonitors() {
    record(0, "EnumDisplayMonitors");
    std::vector<MonitorHandle> monitors;
    for (const SimSource& source : displays_.sources()) monitors.push_back(kFirstMonitor + source.id);
    return monitors;
}

bool SimWindows::getMonitorInfo(MonitorHandle monitor, MonitorInfo& info) {
    record(0, strprintf("GetMonitorInfo(0x%llX)", static_cast<unsigned long long>(monitor)));
    for (const SimSource& source : displays_.sources()) {
        if (kFirstMonitor + source.id != monitor) continue;
        info.monitor = sourceRect(source);
        info.work = workArea(source.gdiName());
        info.flags = source.x == 0 && source.y == 0 ? ws::MonitorInfoPrimary : 0;
        info.device = source.gdiName();
        return true;
    }
    return false;
}

bool SimWindows::isIconic(WindowHandle window) {
    record(window, "IsIconic");
    const Entry* entry = find(window);
    return entry != nullptr && entry->window.show == SimShow::Minimized;
}

bool SimWindows::isZoomed(WindowHandle window) {
    record(window, "IsZoomed");
    const Entry* entry = find(window);
    return entry != nullptr && entry->window.show == SimShow::Maximized;
}

bool SimWindows::showWindow(WindowHandle window, std::int32_t command) {
    record(window, "ShowWindow(" + showCommandText(command) + ")");
    Entry* entry = find(window);
    if (entry == nullptr) return false;
    SimWindow& w = entry->window;
    const bool wasVisible = w.visible;
    if (w.elevated) return wasVisible;  // a higher integrity level ignores us
    switch (command) {
    case ws::SwRestore:
        entry->movedWhileMaximized.reset();
        w.show = w.show == SimShow::Minimized && w.maximizeOnRestore ? SimShow::Maximized : SimShow::Normal;
        w.maximizeOnRestore = false;
        w.visible = true;
        break;
    case ws::SwShowMaximized:
        w.show = SimShow::Maximized;  // an already maximised window stays where it is
        w.visible = true;
        foreground_ = window;  // this command also activates the window
        break;
    case 6:  // SW_MINIMIZE
        minimize(window);
        break;
    case 0:  // SW_HIDE
        w.visible = false;
        break;
    default: break;
    }
    return wasVisible;
}

bool SimWindows::setWindowPos(WindowHandle window, WindowHandle insertAfter, std::int32_t x, std::int32_t y,
                              std::int32_t cx, std::int32_t cy, std::uint32_t flags, std::uint32_t& lastError) {
    record(window, strprintf("SetWindowPos(%s%d, %d, %d, %d, %s)",
                             insertAfter != 0 ? strprintf("after 0x%llX, ", (unsigned long long)insertAfter).c_str()
                                              : "",
                             x, y, cx, cy, swpFlagsText(flags).c_str()));
    Entry* entry = find(window);
    if (entry == nullptr) {
        lastError = ws::ErrorInvalidWindowHandle;
        return false;
    }
    SimWindow& w = entry->window;
    if (w.elevated) {
        lastError = ws::ErrorAccessDenied;
        return false;
    }
    if (w.moveError != 0) {
        lastError = w.moveError;
        return false;
    }
    lastError = 0;
    // A minimised window keeps its icon's place. A maximised one takes the
    // new rectangle but stays flagged maximised with its restored place
    // unchanged. A normal window simply takes it.
    if (w.show == SimShow::Maximized) {
        ScreenRect moved = windowRectOf(*entry);
        if ((flags & 0x0002) == 0) moved = ScreenRect{x, y, x + moved.width(), y + moved.height()};
        if ((flags & 0x0001) == 0) moved = ScreenRect{moved.left, moved.top, moved.left + cx, moved.top + cy};
        entry->movedWhileMaximized = moved;
    } else if (w.show == SimShow::Normal) {
        const ScreenRect before = w.rect;
        w.snappedFrom.reset();
        if ((flags & 0x0002) == 0) {  // SWP_NOMOVE
            const std::int32_t width = w.rect.width();
            const std::int32_t height = w.rect.height();
            w.rect = ScreenRect{x, y, x + width, y + height};
        }
        if ((flags & 0x0001) == 0) {  // SWP_NOSIZE
            w.rect.right = w.rect.left + cx;
            w.rect.bottom = w.rect.top + cy;
        }
        w.rect = afterDpiChange(w, before, w.rect);
    }
    if ((flags & ws::SwpNoZOrder) == 0 && insertAfter == 0) {
        Entry moved = *entry;
        std::erase_if(windows_, [&](const Entry& e) { return e.handle == window; });
        windows_.insert(windows_.begin(), std::move(moved));
    }
    if ((flags & ws::SwpNoActivate) == 0) foreground_ = window;
    return true;
}

bool SimWindows::dwmExtendedFrameBounds(WindowHandle window, ScreenRect& bounds) {
    record(window, "DwmGetWindowAttribute(DWMWA_EXTENDED_FRAME_BOUNDS)");
    const Entry* entry = find(window);
    if (entry == nullptr || entry->window.frameQueryFails) return false;
    bounds = visibleFrame(window);
    return true;
}

WindowHandle SimWindows::getForegroundWindow() {
    record(0, "GetForegroundWindow");
    return foreground_;
}

bool SimWindows::getWindowPlacement(WindowHandle window, WindowPlacementInfo& placement) {
    record(window, "GetWindowPlacement");
    const Entry* entry = find(window);
    if (entry == nullptr) return false;
    const SimWindow& w = entry->window;
    // The simulated work areas never start beside a taskbar at the top or
    // left, so workspace and screen coordinates agree here.
    placement = WindowPlacementInfo{};
    placement.flags = w.show == SimShow::Minimized && w.maximizeOnRestore ? ws::WpfRestoreToMaximized : 0;
    placement.showCmd = w.show == SimShow::Minimized   ? ws::SwShowMinimized
                        : w.show == SimShow::Maximized ? ws::SwShowMaximized
                                                       : ws::SwShowNormal;
    placement.minX = placement.minY = placement.maxX = placement.maxY = -1;
    placement.normal = w.show == SimShow::Normal && w.snappedFrom ? *w.snappedFrom : w.rect;
    return true;
}

bool SimWindows::setWindowPlacement(WindowHandle window, const WindowPlacementInfo& placement,
                                    std::uint32_t& lastError) {
    record(window, strprintf("SetWindowPlacement(%s, %d, %d, %d, %d%s)",
                             showCommandText(static_cast<std::int32_t>(placement.showCmd)).c_str(),
                             placement.normal.left, placement.normal.top, placement.normal.width(),
                             placement.normal.height(),
                             (placement.flags & ws::WpfRestoreToMaximized) != 0 ? ", WPF_RESTORETOMAXIMIZED" : ""));
    Entry* entry = find(window);
    if (entry == nullptr) {
        lastError = ws::ErrorInvalidWindowHandle;
        return false;
    }
    SimWindow& w = entry->window;
    if (w.elevated) {
        lastError = ws::ErrorAccessDenied;
        return false;
    }
    lastError = 0;
    const ScreenRect before = w.rect;
    entry->movedWhileMaximized.reset();
    w.snappedFrom.reset();
    switch (static_cast<std::int32_t>(placement.showCmd)) {
    case ws::SwShowMinimized:
    case 6:  // SW_MINIMIZE
    case ws::SwShowMinNoActive:
        w.show = SimShow::Minimized;
        w.maximizeOnRestore = (placement.flags & ws::WpfRestoreToMaximized) != 0;
        w.rect = placement.normal;
        break;
    case ws::SwShowMaximized:
        w.show = SimShow::Maximized;
        w.rect = placement.normal;
        foreground_ = window;
        break;
    default:
        w.show = SimShow::Normal;
        w.rect = afterDpiChange(w, before, placement.normal);
        break;
    }
    w.visible = true;
    return true;
}

std::uint32_t SimWindows::windowProcessId(WindowHandle window) {
    record(window, "GetWindowThreadProcessId");
    const Entry* entry = find(window);
    return entry != nullptr ? entry->window.processId : 0;
}

} // namespace qv::sim
