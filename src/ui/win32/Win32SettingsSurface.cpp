#include "ui/win32/Win32SettingsSurface.h"

#include "base/win32/Utf16.h"
#include "base/win32/WindowThunk.h"
#include "ui/SettingsWindow.h"
#include "ui/win32/ClassicWin32.h"

#include <shellapi.h>

namespace qv {

// mingw's winuser.h, a second source for the notification codes the window
// tells apart.
static_assert(SettingsWindow::kClicked == BN_CLICKED && SettingsWindow::kSelChange == CBN_SELCHANGE);

namespace {

constexpr int kIconResource = 101;
constexpr int kBodyHeight = -15;  // device-independent pixels, scaled
constexpr int kTitleHeight = -18;
constexpr int kTitleWeight = 600;
constexpr int kCaptionChars = 160; // the most of a button's caption that is drawn

HICON loadIcon(HINSTANCE instance, int sizeMetric) {
    const int size = GetSystemMetrics(sizeMetric);
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, size, size, 0));
}

} // namespace

Win32SettingsSurface::~Win32SettingsSurface() {
    window_ = nullptr;
    destroy();
    releaseResources();
}

bool Win32SettingsSurface::create(uint64_t instance) {
    if (hwnd_ != nullptr) return true;
    instance_ = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(instance));
    releaseResources();
    backgroundBrush_ = CreateSolidBrush(classic::colorRef(look::kBackground));

    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        // hwnd_ is set at WM_NCCREATE; every message reaches handle(), WM_NCDESTROY too, which frees the
        // fonts and brush.
        windowClass.lpfnWndProc = windowThunk<Win32SettingsSurface, &Win32SettingsSurface::handle,
                                              &Win32SettingsSurface::hwnd_,
                                              WindowThunkOptions{.setWindowAtCreate = true}>;
        windowClass.hInstance = instance_;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        // The class keeps a brush of its own: it outlives every window of the class.
        windowClass.hbrBackground = CreateSolidBrush(classic::colorRef(look::kBackground));
        windowClass.hIcon = loadIcon(instance_, SM_CXICON);
        windowClass.hIconSm = loadIcon(instance_, SM_CXSMICON);
        windowClass.lpszClassName = kClassName;
        registered = RegisterClassExW(&windowClass) != 0;
        // A failed registration is not fatal: creating the window will say.
        if (!registered && windowClass.hbrBackground != nullptr) DeleteObject(windowClass.hbrBackground);
    }

    // The window procedure knows the window from WM_NCCREATE on.
    if (CreateWindowExW(kExStyle, kClassName, kTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr,
                        nullptr, instance_, this) == nullptr) {
        hwnd_ = nullptr;
        releaseResources();
        return false;
    }
    classic::applyDarkLook(hwnd_);
    return true;
}

void Win32SettingsSurface::destroy() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

uint32_t Win32SettingsSurface::dpi() const { return hwnd_ != nullptr ? GetDpiForWindow(hwnd_) : 0; }

void Win32SettingsSurface::build(const std::vector<ClassicControl>& controls, uint32_t dpi) {
    if (hwnd_ == nullptr) return;
    if (bodyFont_ == nullptr)
        bodyFont_ = classic::createFont(classic::px(kBodyHeight, dpi), FW_NORMAL, classic::bodyFace());
    if (titleFont_ == nullptr)
        titleFont_ = classic::createFont(classic::px(kTitleHeight, dpi), kTitleWeight, classic::titleFace());
    for (const ClassicControl& control : controls)
        classic::createControl(hwnd_, instance_, control, dpi, bodyFont_, titleFont_);
}

ScreenRect Win32SettingsSurface::frameFor(int32_t clientWidth, int32_t clientHeight, uint32_t dpi) const {
    RECT r{0, 0, clientWidth, clientHeight};
    if (!AdjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, dpi)) AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
    return ScreenRect{r.left, r.top, r.right, r.bottom};
}

ScreenPoint Win32SettingsSurface::cursor() const {
    POINT point{};
    if (!GetCursorPos(&point)) return ScreenPoint{};
    return ScreenPoint{point.x, point.y};
}

std::optional<ScreenRect> Win32SettingsSurface::workAreaAt(ScreenPoint point) const {
    HMONITOR monitor = MonitorFromPoint(POINT{point.x, point.y}, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return std::nullopt;
    return ScreenRect{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
}

void Win32SettingsSurface::move(const ScreenRect& rect) {
    if (hwnd_ != nullptr)
        SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.width(), rect.height(), SWP_NOZORDER);
}

void Win32SettingsSurface::show() {
    if (hwnd_ == nullptr) return;
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
}

bool Win32SettingsSurface::isChecked(uint32_t id) const {
    return hwnd_ != nullptr && IsDlgButtonChecked(hwnd_, static_cast<int>(id)) == BST_CHECKED;
}

void Win32SettingsSurface::setChecked(uint32_t id, bool checked) {
    if (hwnd_ != nullptr) CheckDlgButton(hwnd_, static_cast<int>(id), checked ? BST_CHECKED : BST_UNCHECKED);
}

int32_t Win32SettingsSurface::selection(uint32_t id) const {
    if (hwnd_ == nullptr) return -1;
    const LRESULT item = SendDlgItemMessageW(hwnd_, static_cast<int>(id), CB_GETCURSEL, 0, 0);
    return item == CB_ERR ? -1 : static_cast<int32_t>(item);
}

void Win32SettingsSurface::openFolder(const std::string& path) {
    ShellExecuteW(hwnd_, L"open", widen(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32SettingsSurface::releaseResources() {
    if (bodyFont_ != nullptr) DeleteObject(bodyFont_);
    if (titleFont_ != nullptr) DeleteObject(titleFont_);
    if (backgroundBrush_ != nullptr) DeleteObject(backgroundBrush_);
    bodyFont_ = nullptr;
    titleFont_ = nullptr;
    backgroundBrush_ = nullptr;
}

LRESULT Win32SettingsSurface::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (window_ != nullptr) window_->onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DRAWITEM:
        drawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: {
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, classic::colorRef(SettingsWindow::kText));
        return reinterpret_cast<LRESULT>(backgroundBrush_);
    }
    case WM_CLOSE:
        if (window_ != nullptr) {
            window_->onClose();
        } else {
            DestroyWindow(hwnd);
        }
        return 0;
    case WM_DESTROY:
        // The next create builds a new window.
        hwnd_ = nullptr;
        return 0;
    case WM_NCDESTROY:
        // The children, which used the fonts, are gone by now.
        releaseResources();
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Win32SettingsSurface::drawButton(const DRAWITEMSTRUCT& item) {
    wchar_t caption[kCaptionChars + 1] = {};
    const int length = GetWindowTextW(item.hwndItem, caption, kCaptionChars + 1);
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool enabled = (item.itemState & ODS_DISABLED) == 0;
    classic::paintButton(item.hDC, item.rcItem, SettingsWindow::buttonPaint(pressed, enabled),
                         std::wstring(caption, static_cast<size_t>(length > 0 ? length : 0)), bodyFont_,
                         SettingsWindow::kButtonCorner, classic::windowDpi(item.hwndItem), look::kBackground);
}

} // namespace qv
