#include "ui/win32/Win32ArrangementSurface.h"

#include "base/win32/Utf16.h"
#include "base/win32/WindowThunk.h"
#include "ui/ArrangementWindow.h"
#include "ui/win32/ClassicWin32.h"

#include <windowsx.h>

#include <string>

namespace qv {

// mingw's winuser.h, a second source for the styles and notification codes
// the arrangement window writes by hand.
static_assert(ArrangementWindow::kWsExDlgModalFrame == WS_EX_DLGMODALFRAME);
static_assert(ArrangementWindow::kWsCaption == WS_CAPTION && ArrangementWindow::kWsSysMenu == WS_SYSMENU);
static_assert(ArrangementWindow::kBnClicked == BN_CLICKED && ArrangementWindow::kBnDoubleClicked == BN_DOUBLECLICKED);

namespace {

HICON loadIcon(HINSTANCE instance, int resource, int sizeMetric) {
    const int size = GetSystemMetrics(sizeMetric);
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resource), IMAGE_ICON, size, size, 0));
}

RECT toRect(const PixelRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

void drawText(HDC dc, const ArrangementText& text, HFONT font) {
    const std::wstring line = widen(text.text);
    RECT band = toRect(text.band);
    SelectObject(dc, font);
    SetTextColor(dc, classic::colorRef(text.color));
    DrawTextW(dc, line.c_str(), static_cast<int>(line.size()), &band,
              DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX | (text.centered ? DT_CENTER : DT_LEFT));
}

// A rounded rectangle whose outline of any width lies inside it.
void drawTileShape(HDC dc, const ArrangementTile& tile) {
    HBRUSH brush = CreateSolidBrush(classic::colorRef(tile.fill));
    HPEN pen = CreatePen(PS_INSIDEFRAME, tile.outlineWidth, classic::colorRef(tile.outline));
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    RoundRect(dc, tile.rect.left, tile.rect.top, tile.rect.right, tile.rect.bottom, tile.corner, tile.corner);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

} // namespace

Win32ArrangementSurface::Win32ArrangementSurface(uint64_t instance)
    : instance_(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(instance))) {}

Win32ArrangementSurface::~Win32ArrangementSurface() {
    window_ = nullptr;
    destroy();
    if (bodyFont_ != nullptr) DeleteObject(bodyFont_);
    if (titleFont_ != nullptr) DeleteObject(titleFont_);
    if (background_ != nullptr) DeleteObject(background_);
}

bool Win32ArrangementSurface::registerClass(const ArrangementWindowClass& windowClass) {
    const std::wstring name = widen(windowClass.className);
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    // Messages of creation, before hwnd_ is set from CreateWindowExW, and those after WM_DESTROY go to
    // DefWindowProcW.
    info.lpfnWndProc = windowThunk<Win32ArrangementSurface, &Win32ArrangementSurface::handle,
                                   &Win32ArrangementSurface::hwnd_, WindowThunkOptions{.onlyOwnWindow = true}>;
    info.hInstance = instance_;
    info.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // No background brush: the whole client area is painted from the scene.
    info.hIcon = loadIcon(instance_, windowClass.iconResource, SM_CXICON);
    info.hIconSm = loadIcon(instance_, windowClass.iconResource, SM_CXSMICON);
    info.lpszClassName = name.c_str();
    // The icons live as long as the class, which lives as long as the process.
    if (RegisterClassExW(&info) != 0) return true;
    const DWORD error = GetLastError();
    if (info.hIcon != nullptr) DestroyIcon(info.hIcon);
    if (info.hIconSm != nullptr) DestroyIcon(info.hIconSm);
    return error == ERROR_CLASS_ALREADY_EXISTS;
}

bool Win32ArrangementSurface::create(const ArrangementWindowClass& windowClass) {
    if (hwnd_ != nullptr) return true;
    registerClass(windowClass);
    if (background_ == nullptr) background_ = CreateSolidBrush(classic::colorRef(look::kBackground));
    if (bodyFace_.empty()) bodyFace_ = classic::bodyFace();
    if (titleFace_.empty()) titleFace_ = classic::titleFace();
    const std::wstring name = widen(windowClass.className);
    const std::wstring title = widen(windowClass.title);
    hwnd_ = CreateWindowExW(windowClass.exStyle, name.c_str(), title.c_str(), windowClass.style, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, this);
    if (hwnd_ == nullptr) return false;
    classic::applyDarkLook(hwnd_);
    return true;
}

void Win32ArrangementSurface::destroy() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

uint32_t Win32ArrangementSurface::dpi() const { return hwnd_ != nullptr ? GetDpiForWindow(hwnd_) : 0; }

void Win32ArrangementSurface::layout(const ArrangementLayout& layout) {
    if (hwnd_ == nullptr) return;
    dpi_ = layout.dpi;
    RECT frame{0, 0, layout.clientWidth, layout.clientHeight};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)), layout.dpi);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    HFONT oldBody = bodyFont_;
    HFONT oldTitle = titleFont_;
    bodyFont_ = classic::createFont(layout.body.height, layout.body.weight, bodyFace_);
    titleFont_ = classic::createFont(layout.title.height, layout.title.weight, titleFace_);
    for (const ClassicControl& control : layout.controls) {
        const auto existing = buttons_.find(control.id);
        if (existing == buttons_.end()) {
            HWND child = classic::createControl(hwnd_, instance_, control, layout.dpi, bodyFont_, titleFont_);
            if (child != nullptr) buttons_[control.id] = child;
            continue;
        }
        const RECT r = classic::toRect(control.rect, layout.dpi);
        SetWindowPos(existing->second, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(existing->second, WM_SETFONT,
                     reinterpret_cast<WPARAM>(control.font == FontRole::Title ? titleFont_ : bodyFont_), TRUE);
    }
    if (oldBody != nullptr) DeleteObject(oldBody);
    if (oldTitle != nullptr) DeleteObject(oldTitle);
}

void Win32ArrangementSurface::show() {
    if (hwnd_ == nullptr) return;
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
}

void Win32ArrangementSurface::invalidate() {
    if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, FALSE);
}

void Win32ArrangementSurface::captureMouse() {
    if (hwnd_ != nullptr) SetCapture(hwnd_);
}

void Win32ArrangementSurface::releaseMouse() { ReleaseCapture(); }

void Win32ArrangementSurface::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    RECT client{};
    GetClientRect(hwnd_, &client);
    if (window_ != nullptr && client.right > 0 && client.bottom > 0) {
        const ArrangementScene scene = window_->scene();
        // Drawn off screen and copied in one go, so nothing flickers while dragging.
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
        HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
        HGDIOBJ oldFont = SelectObject(memory, bodyFont_);
        HBRUSH background = CreateSolidBrush(classic::colorRef(scene.background));
        FillRect(memory, &client, background);
        DeleteObject(background);
        SetBkMode(memory, TRANSPARENT);
        drawText(memory, scene.title, font(scene.title.font));
        drawText(memory, scene.subtitle, font(scene.subtitle.font));
        for (const ArrangementTile& tile : scene.tiles) {
            drawTileShape(memory, tile);
            drawText(memory, tile.name, font(tile.name.font));
            drawText(memory, tile.mode, font(tile.mode.font));
        }
        // The buttons paint themselves; the copy leaves them alone.
        for (const auto& button : buttons_) {
            RECT r{};
            GetWindowRect(button.second, &r);
            MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
            ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
        }
        BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
        SelectObject(memory, oldFont);
        SelectObject(memory, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(memory);
    }
    EndPaint(hwnd_, &ps);
}

void Win32ArrangementSurface::drawItem(const DRAWITEMSTRUCT& item) {
    if (window_ == nullptr) return;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool enabled = (item.itemState & ODS_DISABLED) == 0;
    const ArrangementButtonLook look = window_->buttonLook(item.CtlID, pressed, enabled);
    classic::paintButton(item.hDC, item.rcItem, look.paint, widen(look.caption), bodyFont_, look.corner, dpi_);
}

LRESULT Win32ArrangementSurface::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paint();
        return 0;
    case WM_LBUTTONDOWN:
        if (window_ != nullptr) window_->onMouseDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_MOUSEMOVE:
        if (window_ != nullptr) window_->onMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONUP:
        if (window_ != nullptr) window_->onMouseUp();
        return 0;
    case WM_CAPTURECHANGED:
        if (window_ != nullptr) window_->onCaptureLost();
        return 0;
    case WM_COMMAND:
        if (window_ != nullptr) window_->onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DRAWITEM:
        drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CTLCOLORBTN: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, classic::colorRef(look::kText));
        return reinterpret_cast<LRESULT>(background_);
    }
    case WM_CLOSE:
        if (window_ != nullptr) {
            window_->onClose();
        } else {
            DestroyWindow(hwnd_);
        }
        return 0;
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        if (window_ != nullptr) window_->onDpiChanged(HIWORD(wParam));
        return 0;
    }
    case WM_DESTROY:
        hwnd_ = nullptr;
        buttons_.clear();
        if (window_ != nullptr) window_->onDestroyed();
        return 0;
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

} // namespace qv
