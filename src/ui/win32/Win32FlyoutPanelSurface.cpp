#include "ui/win32/Win32FlyoutPanelSurface.h"

#include "base/win32/Utf16.h"
#include "base/win32/WindowThunk.h"
#include "ui/FlyoutPanel.h"
#include "ui/win32/ClassicWin32.h"
#include "windows/win32/WorkArea.h"

#include <commctrl.h>

namespace qv {

namespace {

constexpr int kIconResource = 101;

HICON loadIcon(HINSTANCE instance, int sizeMetric) {
    const int size = GetSystemMetrics(sizeMetric);
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, size, size, 0));
}

} // namespace

Win32FlyoutPanelSurface::Win32FlyoutPanelSurface(uint64_t instance)
    : instance_(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(instance))) {}

Win32FlyoutPanelSurface::~Win32FlyoutPanelSurface() {
    panel_ = nullptr;
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    freeFonts();
    if (background_ != nullptr) DeleteObject(background_);
}

bool Win32FlyoutPanelSurface::create() {
    if (hwnd_ != nullptr) return true;
    if (background_ == nullptr) background_ = CreateSolidBrush(classic::colorRef(look::kBackground));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // Messages of creation, before hwnd_ is set from CreateWindowExW, go to DefWindowProcW.
    windowClass.lpfnWndProc = windowThunk<Win32FlyoutPanelSurface, &Win32FlyoutPanelSurface::handleMessage,
                                          &Win32FlyoutPanelSurface::hwnd_,
                                          WindowThunkOptions{.onlyOwnWindow = true}>;
    windowClass.hInstance = instance_;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = loadIcon(instance_, SM_CXICON);
    windowClass.hIconSm = loadIcon(instance_, SM_CXSMICON);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass); // already registered: the class is reused
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName, L"Quorvane", WS_POPUP, 0, 0, 318, 400,
                            nullptr, nullptr, instance_, this);
    if (hwnd_ == nullptr) return false;
    classic::applyDarkLook(hwnd_);
    makeFonts();
    return true;
}

void Win32FlyoutPanelSurface::makeFonts() {
    freeFonts();
    fontDpi_ = dpi();
    body_ = classic::createFont(-classic::px(15, fontDpi_), FW_NORMAL, classic::bodyFace());
    title_ = classic::createFont(-classic::px(19, fontDpi_), FW_SEMIBOLD, classic::titleFace());
}

void Win32FlyoutPanelSurface::freeFonts() {
    if (body_ != nullptr) DeleteObject(body_);
    if (title_ != nullptr) DeleteObject(title_);
    body_ = title_ = nullptr;
}

bool Win32FlyoutPanelSurface::isVisible() const { return hwnd_ != nullptr && IsWindowVisible(hwnd_) != FALSE; }

WindowHandle Win32FlyoutPanelSurface::handle() const {
    return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(hwnd_));
}

uint32_t Win32FlyoutPanelSurface::dpi() const { return classic::windowDpi(hwnd_); }

void Win32FlyoutPanelSurface::moveTo(ScreenPoint point) {
    if (hwnd_ == nullptr) return;
    SetWindowPos(hwnd_, nullptr, point.x, point.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (dpi() != fontDpi_) makeFonts();
}

void Win32FlyoutPanelSurface::setControls(const std::vector<ClassicControl>& controls) {
    if (hwnd_ == nullptr) return;
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child != nullptr; child = GetWindow(hwnd_, GW_CHILD))
        DestroyWindow(child);
    controls_.clear();
    const uint32_t windowDpi = dpi();
    for (const ClassicControl& control : controls) {
        HWND child = classic::createControl(hwnd_, instance_, control, windowDpi, body_, title_);
        if (child == nullptr) continue;
        // Escape closes the panel from whichever button has the focus.
        SetWindowSubclass(child, childProc, 1, reinterpret_cast<DWORD_PTR>(this));
        controls_[control.id] = control;
    }
}

ScreenRect Win32FlyoutPanelSurface::windowRect() const {
    RECT r{};
    if (hwnd_ != nullptr) GetWindowRect(hwnd_, &r);
    return ScreenRect{r.left, r.top, r.right, r.bottom};
}

void Win32FlyoutPanelSurface::setWindowRect(const ScreenRect& rect) {
    if (hwnd_ != nullptr)
        SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.width(), rect.height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32FlyoutPanelSurface::showAt(const ScreenRect& rect) {
    if (hwnd_ == nullptr) return;
    SetWindowPos(hwnd_, HWND_TOPMOST, rect.left, rect.top, rect.width(), rect.height(), SWP_SHOWWINDOW);
    SetForegroundWindow(hwnd_);
}

void Win32FlyoutPanelSurface::hide() {
    if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_HIDE);
}

void Win32FlyoutPanelSurface::redraw() {
    if (hwnd_ != nullptr) RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

std::optional<ScreenRect> Win32FlyoutPanelSurface::workAreaNear(ScreenPoint point) const {
    return qv::workAreaNear(point);
}

uint32_t Win32FlyoutPanelSurface::trackMenu(const std::vector<MenuEntry>& entries) {
    POINT cursor{};
    GetCursorPos(&cursor);
    return classic::trackMenu(hwnd_, entries, cursor);
}

void Win32FlyoutPanelSurface::quit() { PostQuitMessage(0); }

void Win32FlyoutPanelSurface::paint(HDC dc) {
    RECT client{};
    GetClientRect(hwnd_, &client);
    FillRect(dc, &client, background_);
    if (panel_ == nullptr) return;
    const uint32_t windowDpi = dpi();
    const FlyoutPanel::Scene& scene = panel_->scene();
    classic::roundRect(dc, classic::toRect(scene.accentBar, windowDpi), look::kAccent, look::kAccent,
                       classic::px(2, windowDpi));
    HPEN pen = CreatePen(PS_SOLID, 1, classic::colorRef(look::kLine));
    HGDIOBJ old = SelectObject(dc, pen);
    for (int32_t y : scene.separators) {
        const int py = classic::px(y, windowDpi);
        MoveToEx(dc, classic::px(14, windowDpi), py, nullptr);
        LineTo(dc, classic::px(FlyoutPanel::kWidth - 14, windowDpi), py);
    }
    SelectObject(dc, old);
    DeleteObject(pen);
}

void Win32FlyoutPanelSurface::drawMiniMap(const DRAWITEMSTRUCT& item) {
    const uint32_t windowDpi = dpi();
    const FlyoutPanel::Scene& scene = panel_->scene();
    // The tiles are in panel coordinates; the item's DC starts at the map's corner.
    const RECT map = classic::toRect(scene.miniMap, windowDpi);
    FillRect(item.hDC, &item.rcItem, background_);
    classic::roundRect(item.hDC, item.rcItem, look::kPressed, look::kLine, classic::px(6, windowDpi));
    for (const FlyoutPanel::Scene::Tile& tile : scene.tiles) {
        RECT r = classic::toRect(tile.rect, windowDpi);
        OffsetRect(&r, -map.left, -map.top);
        classic::roundRect(item.hDC, r, tile.selected ? look::kAccent : look::kPanel,
                           tile.selected ? look::kAccent : look::kLine, classic::px(3, windowDpi));
    }
}

void Win32FlyoutPanelSurface::drawItem(const DRAWITEMSTRUCT& item) {
    const auto found = controls_.find(item.CtlID);
    if (found == controls_.end() || panel_ == nullptr) return;
    const ClassicControl& control = found->second;
    if (control.kind == ControlKind::Custom) return drawMiniMap(item);
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool enabled = (item.itemState & ODS_DISABLED) == 0 && control.enabled;
    const uint32_t windowDpi = dpi();
    classic::paintButton(item.hDC, item.rcItem, buttonPaint(control.style, control.selected, pressed, enabled),
                         widen(control.caption), body_, classic::px(9, windowDpi), windowDpi);
}

LRESULT CALLBACK Win32FlyoutPanelSurface::childProc(HWND child, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                    DWORD_PTR self) {
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        auto* surface = reinterpret_cast<Win32FlyoutPanelSurface*>(self);
        if (surface->panel_ != nullptr) surface->panel_->onEscape();
        return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(child, childProc, 1);
    return DefSubclassProc(child, message, wParam, lParam);
}

LRESULT Win32FlyoutPanelSurface::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE: {
        // The rename prompt is owned by the panel: the panel stays behind it.
        const HWND activated = reinterpret_cast<HWND>(lParam);
        const bool ownDialog = activated != nullptr && GetWindow(activated, GW_OWNER) == hwnd_;
        if (LOWORD(wParam) == WA_INACTIVE && !ownDialog && panel_ != nullptr) panel_->onDeactivate();
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE && panel_ != nullptr) panel_->onEscape();
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) PostMessageW(hwnd_, kCommandMessage, LOWORD(wParam), 0);
        return 0;
    case kCommandMessage:
        if (panel_ != nullptr) panel_->onCommand(static_cast<uint32_t>(wParam));
        return 0;
    case WM_DISPLAYCHANGE:
        if (panel_ != nullptr) panel_->onDisplayChange();
        return 0;
    case WM_DPICHANGED: {
        makeFonts();
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        if (panel_ != nullptr)
            panel_->onDpiChanged(ScreenRect{suggested->left, suggested->top, suggested->right, suggested->bottom});
        return 0;
    }
    case WM_DRAWITEM:
        drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        SetTextColor(dc, classic::colorRef(id == FlyoutPanel::kTitle ? look::kText : look::kMuted));
        return reinterpret_cast<LRESULT>(background_);
    }
    case WM_CTLCOLORBTN:
        return reinterpret_cast<LRESULT>(background_);
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        paint(dc);
        EndPaint(hwnd_, &ps);
        return 0;
    }
    case WM_NCDESTROY: {
        // The next create builds a new window.
        const HWND window = hwnd_;
        hwnd_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

} // namespace qv
