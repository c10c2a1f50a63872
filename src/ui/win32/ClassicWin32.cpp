#include "ui/win32/ClassicWin32.h"

#include "base/Dpi.h"
#include "base/win32/Utf16.h"

#include <dwmapi.h>
#include <uxtheme.h>

namespace qv::classic {

COLORREF colorRef(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

uint32_t windowDpi(HWND window) {
    const UINT dpi = window != nullptr ? GetDpiForWindow(window) : 0;
    return dpi != 0 ? dpi : 96;
}

int px(int32_t dip, uint32_t dpi) { return dpiScale(dip, dpi); }

RECT toRect(const DipRect& rect, uint32_t dpi) {
    return RECT{px(rect.left, dpi), px(rect.top, dpi), px(rect.right, dpi), px(rect.bottom, dpi)};
}

namespace {

int CALLBACK faceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool isInstalled(const wchar_t* face) {
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(query.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &query, faceFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

} // namespace

std::wstring installedFace(std::initializer_list<const wchar_t*> faces) {
    const wchar_t* last = L"Segoe UI";
    for (const wchar_t* face : faces) {
        if (isInstalled(face)) return face;
        last = face;
    }
    return last;
}

HFONT createFont(int height, int weight, const std::wstring& face) {
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

std::wstring bodyFace() { return installedFace({L"Segoe UI Variable Text", L"Segoe UI"}); }

std::wstring titleFace() { return installedFace({L"Poppins", L"Segoe UI Variable Display", L"Segoe UI Semibold"}); }

void applyDarkLook(HWND window) {
    const BOOL dark = TRUE;
    DwmSetWindowAttribute(window, 20, &dark, sizeof dark);
    const DWORD round = 2;
    DwmSetWindowAttribute(window, 33, &round, sizeof round);
    const COLORREF border = colorRef(look::kLine);
    DwmSetWindowAttribute(window, 34, &border, sizeof border);
}

void roundRect(HDC dc, const RECT& rect, uint32_t fill, uint32_t border, int corner) {
    HBRUSH brush = CreateSolidBrush(colorRef(fill));
    HPEN pen = CreatePen(PS_SOLID, 1, colorRef(border));
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, corner, corner);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

void paintButton(HDC dc, const RECT& rect, const ButtonPaint& paint, const std::wstring& caption, HFONT font,
                 int corner, uint32_t dpi, uint32_t background) {
    HBRUSH under = CreateSolidBrush(colorRef(background));
    FillRect(dc, &rect, under);
    DeleteObject(under);
    roundRect(dc, rect, paint.fill, paint.border, corner);
    RECT text = rect;
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX;
    if (paint.leftAligned) {
        text.left += px(12, dpi);
        text.right -= px(8, dpi);
        format |= DT_LEFT;
    } else {
        format |= DT_CENTER;
    }
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colorRef(paint.text));
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text, format);
    SelectObject(dc, oldFont);
}

HWND createControl(HWND parent, HINSTANCE instance, const ClassicControl& control, uint32_t dpi, HFONT body,
                   HFONT title) {
    const RECT r = toRect(control.rect, dpi);
    const std::wstring caption = widen(control.caption);
    const wchar_t* windowClass = L"BUTTON";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    int height = r.bottom - r.top;
    switch (control.kind) {
    case ControlKind::Button:
        style |= BS_OWNERDRAW;
        break;
    case ControlKind::Static:
    case ControlKind::Custom:
        windowClass = L"STATIC";
        style |= SS_NOPREFIX;
        if (control.kind == ControlKind::Custom) style |= SS_OWNERDRAW;
        break;
    case ControlKind::CheckBox:
        style |= BS_AUTOCHECKBOX | WS_TABSTOP;
        break;
    case ControlKind::ComboBox:
        windowClass = L"COMBOBOX";
        style |= WS_VSCROLL | CBS_DROPDOWNLIST | WS_TABSTOP;
        height = px(200, dpi); // the drop-down's height
        break;
    case ControlKind::Edit:
        windowClass = L"EDIT";
        style |= ES_AUTOHSCROLL | WS_TABSTOP;
        exStyle = WS_EX_CLIENTEDGE;
        break;
    }
    const auto id = reinterpret_cast<HMENU>(static_cast<uintptr_t>(control.id));
    HWND child = CreateWindowExW(exStyle, windowClass, caption.c_str(), style, r.left, r.top, r.right - r.left, height,
                                 parent, id, instance, nullptr);
    if (child == nullptr) return nullptr;
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(control.font == FontRole::Title ? title : body), FALSE);
    if (!control.enabled) EnableWindow(child, FALSE);
    if (control.kind == ControlKind::CheckBox) {
        SetWindowTheme(child, L"", L"");
        SendMessageW(child, BM_SETCHECK, control.selected ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    if (control.kind == ControlKind::ComboBox) {
        for (const std::string& item : control.items)
            SendMessageW(child, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
        SendMessageW(child, CB_SETCURSEL, static_cast<WPARAM>(control.selectedItem), 0);
        // The list has no caption of its own; its label names it for UI automation.
        SetWindowTextW(child, caption.c_str());
    }
    return child;
}

namespace {

HMENU buildMenu(const std::vector<MenuEntry>& entries) {
    HMENU menu = CreatePopupMenu();
    for (const MenuEntry& entry : entries) {
        if (entry.separator) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING;
        if (entry.checked) flags |= MF_CHECKED;
        if (entry.grayed) flags |= MF_GRAYED;
        const std::wstring text = widen(entry.text);
        if (!entry.submenu.empty()) {
            AppendMenuW(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(buildMenu(entry.submenu)), text.c_str());
        } else {
            AppendMenuW(menu, flags, entry.command, text.c_str());
        }
    }
    return menu;
}

} // namespace

uint32_t trackMenu(HWND owner, const std::vector<MenuEntry>& entries, POINT at) {
    HMENU menu = buildMenu(entries);
    SetForegroundWindow(owner);
    const BOOL chosen =
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
    PostMessageW(owner, WM_NULL, 0, 0);
    DestroyMenu(menu); // destroys the submenus with it
    return chosen > 0 ? static_cast<uint32_t>(chosen) : 0;
}

} // namespace qv::classic
