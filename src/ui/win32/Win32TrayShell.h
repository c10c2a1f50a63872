#pragma once
#include "ui/TrayShellApi.h"

namespace qv {

// The notification area through shell32's Shell_NotifyIconW, and the tray
// icon's popup menu through user32.
class Win32TrayShell final : public TrayShellApi {
public:
    IconHandle loadSmallIcon(std::uint64_t instance, int resource) override;
    void destroyIcon(IconHandle icon) override;
    bool notifyIcon(std::uint32_t message, const NotifyIconData& data) override;
    MenuHandle createPopupMenu() override;
    bool appendMenu(MenuHandle menu, std::uint32_t flags, std::uint32_t id, const std::string& text) override;
    bool setForegroundWindow(WindowHandle window) override;
    bool trackPopupMenu(MenuHandle menu, std::uint32_t flags, ScreenPoint point, WindowHandle owner) override;
    void destroyMenu(MenuHandle menu) override;
    bool notifyIconRect(WindowHandle window, std::uint32_t id, ScreenRect& rect) override;
};

} // namespace qv
