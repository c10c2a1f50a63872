#pragma once
#include "base/WindowHandle.h"
#include "ui/TrayWindowApi.h"
#include "windows/WindowSystem.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qv {

// An icon or a menu as the portable code sees it: the handle's bits, 0 meaning none.
using IconHandle = std::uint64_t;
using MenuHandle = std::uint64_t;

// The fields of NOTIFYICONDATAW that the program fills. Texts are UTF-8 and
// already cut to what the structure holds (see Notices); the Win32 side
// copies them into the fixed UTF-16 buffers.
struct NotifyIconData {
    std::uint32_t size = 0;  // cbSize
    WindowHandle window = 0; // hWnd
    std::uint32_t id = 0;    // uID
    std::uint32_t flags = 0; // uFlags (NIF_*)
    std::uint32_t callbackMessage = 0;
    IconHandle icon = 0;
    std::string tip;           // szTip
    std::uint32_t version = 0; // uVersion (NOTIFYICON_VERSION_*)
    std::string infoTitle;     // szInfoTitle
    std::string info;          // szInfo
    std::uint32_t infoFlags = 0; // dwInfoFlags (NIIF_*)
};

// The notification area and the tray icon's context menu: Shell_NotifyIconW,
// the small icon it shows, and the popup menu calls of user32. Constants keep
// their Windows values.
class TrayShellApi {
public:
    // Shell_NotifyIconW messages: shellapi.h values, learn.microsoft.com
    // "Shell_NotifyIconW function".
    static constexpr std::uint32_t kNimAdd = 0;
    static constexpr std::uint32_t kNimModify = 1;
    static constexpr std::uint32_t kNimDelete = 2;
    static constexpr std::uint32_t kNimSetVersion = 4;
    // NOTIFYICONDATAW flags, balloon icons and version: shellapi.h values,
    // learn.microsoft.com "NOTIFYICONDATAW structure".
    static constexpr std::uint32_t kNifMessage = 0x01;
    static constexpr std::uint32_t kNifIcon = 0x02;
    static constexpr std::uint32_t kNifTip = 0x04;
    static constexpr std::uint32_t kNifInfo = 0x10;
    static constexpr std::uint32_t kNiifInfo = 1;
    static constexpr std::uint32_t kNiifError = 3;
    static constexpr std::uint32_t kNotifyIconVersion4 = 4;
    // sizeof(NOTIFYICONDATAW), the full structure on x64.
    static constexpr std::uint32_t kNotifyIconDataSize = 976;
    // Buffer sizes of the structure's texts, in UTF-16 code units with the terminator.
    static constexpr std::size_t kTipBuffer = 128;
    static constexpr std::size_t kInfoTitleBuffer = 64;
    static constexpr std::size_t kInfoBuffer = 256;

    // AppendMenuW flags: winuser.h values, learn.microsoft.com "AppendMenuW function".
    static constexpr std::uint32_t kMfString = 0x0000;
    static constexpr std::uint32_t kMfGrayed = 0x0001;
    static constexpr std::uint32_t kMfDisabled = 0x0002;
    static constexpr std::uint32_t kMfChecked = 0x0008;
    static constexpr std::uint32_t kMfSeparator = 0x0800;
    // TrackPopupMenu flags: winuser.h values, learn.microsoft.com "TrackPopupMenu function".
    static constexpr std::uint32_t kTpmRightButton = 0x0002;
    static constexpr std::uint32_t kTpmBottomAlign = 0x0020;

    virtual ~TrayShellApi() = default;

    // LoadImageW of the icon resource at the small-icon size (SM_CXSMICON
    // both ways), default colour. 0 on failure.
    virtual IconHandle loadSmallIcon(std::uint64_t instance, int resource) = 0;
    // DestroyIcon. Icons from loadSmallIcon are the caller's own (not shared),
    // so each is destroyed once the notification area no longer shows it.
    virtual void destroyIcon(IconHandle icon) = 0;
    // Shell_NotifyIconW(message, data); its result.
    virtual bool notifyIcon(std::uint32_t message, const NotifyIconData& data) = 0;

    // CreatePopupMenu; 0 on failure.
    virtual MenuHandle createPopupMenu() = 0;
    // AppendMenuW; text is ignored for a separator.
    virtual bool appendMenu(MenuHandle menu, std::uint32_t flags, std::uint32_t id, const std::string& text) = 0;
    virtual bool setForegroundWindow(WindowHandle window) = 0;
    // TrackPopupMenu at the point, owned by the window, without an exclusion
    // rectangle. The chosen item reaches the owner as WM_COMMAND.
    virtual bool trackPopupMenu(MenuHandle menu, std::uint32_t flags, ScreenPoint point, WindowHandle owner) = 0;
    virtual void destroyMenu(MenuHandle menu) = 0;
    // Shell_NotifyIconGetRect for the icon (window, id): where it is on the
    // screen; false when the shell cannot say.
    virtual bool notifyIconRect(WindowHandle window, std::uint32_t id, ScreenRect& rect) = 0;
};

} // namespace qv
