#pragma once
// The Win32 side of the classic windows' dark look, shared by their views:
// fonts by the first installed face, the window frame's look, owner-drawn
// buttons, child controls made from ClassicControl records and pop-up menus
// made from MenuEntry lists.

#include "ui/ClassicControls.h"

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace qv::classic {

COLORREF colorRef(uint32_t rgb);

// GetDpiForWindow, 96 when it does not know.
uint32_t windowDpi(HWND window);
// A device-independent length at the DPI.
int px(int32_t dip, uint32_t dpi);
RECT toRect(const DipRect& rect, uint32_t dpi);

// The first face of the list that EnumFontFamiliesExW finds, or the last
// one when none is installed.
std::wstring installedFace(std::initializer_list<const wchar_t*> faces);
// A ClearType font of that pixel height (negative: character height).
HFONT createFont(int height, int weight, const std::wstring& face);
// The body face: "Segoe UI Variable Text" when installed, else "Segoe UI".
std::wstring bodyFace();
// The title face: "Poppins", else "Segoe UI Variable Display", else "Segoe UI Semibold".
std::wstring titleFace();

// Dark mode, rounded corners and the #333744 border on the window's frame.
void applyDarkLook(HWND window);

// A filled rounded rectangle with a one-pixel border.
void roundRect(HDC dc, const RECT& rect, uint32_t fill, uint32_t border, int corner);
// An owner-drawn button: the window background under it, the rounded body
// and its caption on one line, cut with an ellipsis.
void paintButton(HDC dc, const RECT& rect, const ButtonPaint& paint, const std::wstring& caption, HFONT font,
                 int corner, uint32_t dpi, uint32_t background = look::kBackground);

// Creates the child window for a control: owner-drawn BUTTON, STATIC,
// auto check box (unthemed, so the dark colours apply), drop-down list or
// edit field. The caption is the window text of every kind, so screen
// readers and UI automation find the control by name.
HWND createControl(HWND parent, HINSTANCE instance, const ClassicControl& control, uint32_t dpi, HFONT body,
                   HFONT title);

// Shows the menu at the point and returns the chosen command, 0 for none.
uint32_t trackMenu(HWND owner, const std::vector<MenuEntry>& entries, POINT at);

} // namespace qv::classic
