#include "sim/SimShell.h"

#include "base/StrPrintf.h"
#include "sim/SimProcess.h"

namespace qv::sim {

namespace {

constexpr std::uint32_t kWmCommand = 0x0111;

const char* messageText(std::uint32_t message) {
    switch (message) {
    case TrayShellApi::kNimAdd: return "NIM_ADD";
    case TrayShellApi::kNimModify: return "NIM_MODIFY";
    case TrayShellApi::kNimDelete: return "NIM_DELETE";
    case TrayShellApi::kNimSetVersion: return "NIM_SETVERSION";
    default: return "?";
    }
}

} // namespace

SimShell::SimShell(SimProcess& process) : process_(process) {}

void SimShell::restartExplorer() {
    icons.clear();
    explorerRunning = true;
    process_.broadcast(process_.messageId("TaskbarCreated"));
}

IconHandle SimShell::loadSmallIcon(std::uint64_t, int resource) {
    process_.record(strprintf("LoadImageW(%d, small)", resource));
    ++liveIcons_;
    return iconFor(resource);
}

void SimShell::destroyIcon(IconHandle icon) {
    process_.record(strprintf("DestroyIcon(%d)", static_cast<int>(icon - iconFor(0))));
    --liveIcons_;
}

bool SimShell::notifyIcon(std::uint32_t message, const NotifyIconData& data) {
    std::string call = std::string("Shell_NotifyIconW(") + messageText(message);
    if (message == kNimModify && (data.flags & kNifInfo)) {
        call += strprintf(", %s, %s, %s", data.infoFlags == kNiifError ? "NIIF_ERROR" : "NIIF_INFO",
                          data.infoTitle.c_str(), data.info.c_str());
    }
    process_.record(call + ")");

    if (data.size != kNotifyIconDataSize || !explorerRunning) return false;
    const auto key = std::make_pair(data.window, data.id);
    auto icon = icons.find(key);
    switch (message) {
    case kNimAdd:
        if (icon != icons.end()) return false;
        icons[key] = data;
        return true;
    case kNimDelete:
        if (icon == icons.end()) return false;
        icons.erase(icon);
        return true;
    case kNimSetVersion:
        if (icon == icons.end()) return false;
        icon->second.version = data.version;
        return true;
    case kNimModify:
        if (icon == icons.end()) return false;
        if (data.flags & kNifMessage) icon->second.callbackMessage = data.callbackMessage;
        if (data.flags & kNifIcon) icon->second.icon = data.icon;
        if (data.flags & kNifTip) icon->second.tip = data.tip;
        if (data.flags & kNifInfo) notices.push_back({data.infoTitle, data.info, data.infoFlags == kNiifError});
        return true;
    default:
        return false;
    }
}

MenuHandle SimShell::createPopupMenu() {
    process_.record("CreatePopupMenu");
    if (menuCreationFails) return 0;
    const MenuHandle menu = nextMenu_++;
    menus_[menu];
    return menu;
}

bool SimShell::appendMenu(MenuHandle menu, std::uint32_t flags, std::uint32_t id, const std::string& text) {
    process_.record(strprintf("AppendMenuW(0x%x, %u, %s)", flags, id, text.c_str()));
    auto it = menus_.find(menu);
    if (it == menus_.end()) return false;
    it->second.push_back({flags, id, (flags & kMfSeparator) ? std::string() : text});
    return true;
}

bool SimShell::notifyIconRect(WindowHandle, std::uint32_t id, ScreenRect& rect) {
    process_.record(strprintf("Shell_NotifyIconGetRect(%u)", id));
    if (!iconRect) return false;
    rect = *iconRect;
    return true;
}

bool SimShell::setForegroundWindow(WindowHandle window) {
    process_.record("SetForegroundWindow");
    return process_.windows.count(window) != 0;
}

bool SimShell::trackPopupMenu(MenuHandle menu, std::uint32_t flags, ScreenPoint point, WindowHandle owner) {
    process_.record(strprintf("TrackPopupMenu(0x%x, %d, %d)", flags, point.x, point.y));
    auto it = menus_.find(menu);
    if (it == menus_.end() || !process_.windows.count(owner)) return false;
    shownMenus.push_back({it->second, point, flags, owner});
    if (whileTracking) {
        std::function<void()> during = std::move(whileTracking);
        whileTracking = nullptr;
        during();
    }
    const std::uint32_t choice = menuChoice;
    menuChoice = 0;
    if (choice == 0) return true;
    for (const MenuRow& row : it->second) {
        const bool pickable = !(row.flags & (kMfSeparator | kMfDisabled | kMfGrayed));
        if (row.id == choice && pickable) {
            process_.postToController(kWmCommand, choice, 0);
            break;
        }
    }
    return true;
}

void SimShell::destroyMenu(MenuHandle menu) {
    process_.record("DestroyMenu");
    menus_.erase(menu);
}

} // namespace qv::sim
