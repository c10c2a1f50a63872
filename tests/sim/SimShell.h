#pragma once
#include "ui/TrayShellApi.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv::sim {

class SimProcess;

// The notification area and popup menus of the simulated desktop, beside the
// process's windows (SimProcess). Icons are kept per (window, id) as Explorer
// keeps them: NIM_ADD of an existing icon, and every other message for a
// missing one, fails; while Explorer is not running nothing can be added.
// Calls are recorded in the process's call log, e.g.
// "Shell_NotifyIconW(NIM_MODIFY, NIIF_ERROR, Quorvane, text)". A tracked
// menu posts the user's choice to its owner as WM_COMMAND, as user32 does.
class SimShell final : public TrayShellApi {
public:
    // One row of a menu as it was appended.
    struct MenuRow {
        std::uint32_t flags = 0;
        std::uint32_t id = 0;
        std::string text;
        friend bool operator==(const MenuRow&, const MenuRow&) = default;
    };
    // A menu the user saw.
    struct ShownMenu {
        std::vector<MenuRow> rows;
        ScreenPoint point;
        std::uint32_t flags = 0;
        WindowHandle owner = 0;
    };
    // A notice the shell showed.
    struct Notice {
        std::string title;
        std::string text;
        bool error = false;
        friend bool operator==(const Notice&, const Notice&) = default;
    };

    explicit SimShell(SimProcess& process);

    // --- the scenario ---
    bool explorerRunning = true;
    bool menuCreationFails = false;
    // What the user picks in the next tracked menu: an item's id, or 0 to
    // close the menu without a choice. Disabled items and separators cannot
    // be picked.
    std::uint32_t menuChoice = 0;
    // Runs inside the next tracked menu's message loop, before the choice is
    // made: what the program receives while its menu is open.
    std::function<void()> whileTracking;
    // Explorer ends and starts again: every icon is gone, and the new
    // Explorer broadcasts the registered "TaskbarCreated" message.
    void restartExplorer();

    // --- what happened ---
    // Icons in the notification area by (window, id).
    std::map<std::pair<WindowHandle, std::uint32_t>, NotifyIconData> icons;
    std::vector<Notice> notices;
    std::vector<ShownMenu> shownMenus;
    // Where the shell says the icon is; nothing: it cannot say.
    std::optional<ScreenRect> iconRect;
    // Menus created and not destroyed.
    std::size_t openMenuCount() const { return menus_.size(); }
    // Icons loaded and not destroyed.
    int liveIconCount() const { return liveIcons_; }

    // --- TrayShellApi ---
    IconHandle loadSmallIcon(std::uint64_t instance, int resource) override;
    void destroyIcon(IconHandle icon) override;
    bool notifyIcon(std::uint32_t message, const NotifyIconData& data) override;
    MenuHandle createPopupMenu() override;
    bool appendMenu(MenuHandle menu, std::uint32_t flags, std::uint32_t id, const std::string& text) override;
    bool setForegroundWindow(WindowHandle window) override;
    bool notifyIconRect(WindowHandle window, std::uint32_t id, ScreenRect& rect) override;
    bool trackPopupMenu(MenuHandle menu, std::uint32_t flags, ScreenPoint point, WindowHandle owner) override;
    void destroyMenu(MenuHandle menu) override;

    // The icon handle loadSmallIcon gives for a resource.
    static IconHandle iconFor(int resource) { return 0x1C000 + static_cast<IconHandle>(resource); }

private:
    SimProcess& process_;
    std::map<MenuHandle, std::vector<MenuRow>> menus_;
    MenuHandle nextMenu_ = 0x2A000;
    int liveIcons_ = 0;
};

} // namespace qv::sim
