#include "ui/win32/Win32TrayShell.h"

#include "base/win32/Utf16.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

namespace qv {

namespace {

static_assert(sizeof(NOTIFYICONDATAW) == TrayShellApi::kNotifyIconDataSize);
static_assert(sizeof(NOTIFYICONDATAW::szTip) / sizeof(wchar_t) == TrayShellApi::kTipBuffer);
static_assert(sizeof(NOTIFYICONDATAW::szInfoTitle) / sizeof(wchar_t) == TrayShellApi::kInfoTitleBuffer);
static_assert(sizeof(NOTIFYICONDATAW::szInfo) / sizeof(wchar_t) == TrayShellApi::kInfoBuffer);

// mingw's shellapi.h and winuser.h, a second source for the flags the tray
// code passes through.
using Api = TrayShellApi;
static_assert(Api::kNimAdd == NIM_ADD && Api::kNimModify == NIM_MODIFY && Api::kNimDelete == NIM_DELETE);
static_assert(Api::kNimSetVersion == NIM_SETVERSION && Api::kNotifyIconVersion4 == NOTIFYICON_VERSION_4);
static_assert(Api::kNifMessage == NIF_MESSAGE && Api::kNifIcon == NIF_ICON && Api::kNifTip == NIF_TIP);
static_assert(Api::kNifInfo == NIF_INFO && Api::kNiifInfo == NIIF_INFO && Api::kNiifError == NIIF_ERROR);
static_assert(Api::kMfString == MF_STRING && Api::kMfGrayed == MF_GRAYED && Api::kMfDisabled == MF_DISABLED);
static_assert(Api::kMfChecked == MF_CHECKED && Api::kMfSeparator == MF_SEPARATOR);
static_assert(Api::kTpmRightButton == TPM_RIGHTBUTTON && Api::kTpmBottomAlign == TPM_BOTTOMALIGN);

HWND toHwnd(WindowHandle window) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(window)); }

HMENU toMenu(MenuHandle menu) { return reinterpret_cast<HMENU>(static_cast<uintptr_t>(menu)); }

// Copies the text into a fixed buffer as lstrcpynW does: at most size - 1
// characters and the terminator.
template <size_t N>
void copyText(wchar_t (&buffer)[N], const std::string& text) {
    lstrcpynW(buffer, widen(text).c_str(), static_cast<int>(N));
}

} // namespace

IconHandle Win32TrayShell::loadSmallIcon(std::uint64_t instance, int resource) {
    const int size = GetSystemMetrics(SM_CXSMICON);
    HANDLE icon = LoadImageW(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(instance)),
                             MAKEINTRESOURCEW(resource), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
    return static_cast<IconHandle>(reinterpret_cast<uintptr_t>(icon));
}

void Win32TrayShell::destroyIcon(IconHandle icon) {
    if (icon != 0) DestroyIcon(reinterpret_cast<HICON>(static_cast<uintptr_t>(icon)));
}

bool Win32TrayShell::notifyIcon(std::uint32_t message, const NotifyIconData& data) {
    NOTIFYICONDATAW record{};
    record.cbSize = data.size;
    record.hWnd = toHwnd(data.window);
    record.uID = data.id;
    record.uFlags = data.flags;
    record.uCallbackMessage = data.callbackMessage;
    record.hIcon = reinterpret_cast<HICON>(static_cast<uintptr_t>(data.icon));
    copyText(record.szTip, data.tip);
    record.uVersion = data.version;
    copyText(record.szInfoTitle, data.infoTitle);
    copyText(record.szInfo, data.info);
    record.dwInfoFlags = data.infoFlags;
    return Shell_NotifyIconW(message, &record) != FALSE;
}

MenuHandle Win32TrayShell::createPopupMenu() {
    return static_cast<MenuHandle>(reinterpret_cast<uintptr_t>(CreatePopupMenu()));
}

bool Win32TrayShell::appendMenu(MenuHandle menu, std::uint32_t flags, std::uint32_t id, const std::string& text) {
    // A separator's text is ignored by the system.
    return AppendMenuW(toMenu(menu), flags, id, widen(text).c_str()) != FALSE;
}

bool Win32TrayShell::setForegroundWindow(WindowHandle window) { return SetForegroundWindow(toHwnd(window)) != FALSE; }

bool Win32TrayShell::trackPopupMenu(MenuHandle menu, std::uint32_t flags, ScreenPoint point, WindowHandle owner) {
    return TrackPopupMenu(toMenu(menu), flags, point.x, point.y, 0, toHwnd(owner), nullptr) != FALSE;
}

void Win32TrayShell::destroyMenu(MenuHandle menu) { DestroyMenu(toMenu(menu)); }

bool Win32TrayShell::notifyIconRect(WindowHandle window, std::uint32_t id, ScreenRect& rect) {
    NOTIFYICONIDENTIFIER icon{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = toHwnd(window);
    icon.uID = id;
    RECT r{};
    if (FAILED(Shell_NotifyIconGetRect(&icon, &r))) return false;
    rect = ScreenRect{r.left, r.top, r.right, r.bottom};
    return true;
}

} // namespace qv
