// The arrangement window through real user32 and GDI: the window Windows
// creates, its buttons as UI automation finds them, a drag sent as mouse
// messages, Apply reaching the action bus, painting, and closing and
// opening again.
#include "actions/ActionBus.h"
#include "display/DisplayManager.h"
#include "display/win32/Win32DisplayConfigApi.h"
#include "layout/LayoutStore.h"
#include "settings/Config.h"
#include "ui/ArrangementWindow.h"
#include "ui/win32/Win32ArrangementSurface.h"
#include "windows/WindowPlacement.h"
#include "windows/win32/Win32WindowSystem.h"
#include "wine/Win32CoreObjects.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <string>
#include <vector>

namespace qv {
namespace {

class ArrangementWine : public ::testing::Test, protected Win32CoreObjects {
protected:
    void SetUp() override {
        bus.setResultListener([this](const Action& action, const ActionResult&) { actions.push_back(action); });
    }
    void TearDown() override {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }

    HWND hwnd() const { return surface.hwnd(); }
    uint32_t dpi() const {
        const UINT d = GetDpiForWindow(hwnd());
        return d != 0 ? d : 96;
    }
    HWND button(const wchar_t* caption) const { return FindWindowExW(hwnd(), nullptr, L"Button", caption); }
    // The colour on screen at a client point, after everything has painted.
    COLORREF pixel(int x, int y) const {
        RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        HDC dc = GetDC(hwnd());
        const COLORREF color = GetPixel(dc, x, y);
        ReleaseDC(hwnd(), dc);
        return color;
    }

    CapturedLog log;
    Win32ArrangementSurface surface{static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)))};
    ArrangementWindow window{surface, bus};
    std::vector<Action> actions;
};

TEST_F(ArrangementWine, TheWindowItsLookAndItsButtons) {
    ASSERT_TRUE(window.open());
    ASSERT_NE(hwnd(), nullptr);

    wchar_t text[64] = {};
    GetClassNameW(hwnd(), text, 64);
    EXPECT_STREQ(text, L"QuorvaneArrange");
    GetWindowTextW(hwnd(), text, 64);
    EXPECT_STREQ(text, L"Quorvane \u2014 Arrange displays");
    const LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_POPUP | WS_CHILD), 0);
    EXPECT_EQ(GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, WS_EX_DLGMODALFRAME);
    EXPECT_TRUE(IsWindowVisible(hwnd()));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"QuorvaneArrange", &windowClass));
    EXPECT_EQ(windowClass.hCursor, LoadCursorW(nullptr, IDC_ARROW));

    // The client area is 600 x 440 at the window's DPI.
    RECT client{};
    GetClientRect(hwnd(), &client);
    const int d = static_cast<int>(dpi());
    EXPECT_EQ(client.right, MulDiv(600, d, 96));
    EXPECT_EQ(client.bottom, MulDiv(440, d, 96));

    // The buttons, found by their captions, with their ids and places.
    struct Expected {
        const wchar_t* caption;
        int id;
        RECT rect; // device-independent pixels
    };
    const Expected expected[] = {
        {L"Set as primary", 2001, {16, 372, 146, 402}},
        {L"Apply", 2002, {304, 372, 390, 402}},
        {L"Revert", 2003, {396, 372, 482, 402}},
        {L"Close", 2004, {494, 372, 584, 402}},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(std::string(e.caption, e.caption + wcslen(e.caption)));
        HWND child = button(e.caption);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(GetDlgCtrlID(child), e.id);
        EXPECT_EQ(GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, MulDiv(e.rect.left, d, 96));
        EXPECT_EQ(r.top, MulDiv(e.rect.top, d, 96));
        EXPECT_EQ(r.right, MulDiv(e.rect.right, d, 96));
        EXPECT_EQ(r.bottom, MulDiv(e.rect.bottom, d, 96));
    }

    // Painted: the background, the primary display's tile and a button's body.
    ASSERT_FALSE(window.items().empty());
    EXPECT_EQ(pixel(4, 4), RGB(0x12, 0x13, 0x18));
    for (const ArrangementItem& item : window.items()) {
        if (!item.primary) continue;
        const PixelRect tile = window.tileRect(item);
        EXPECT_EQ(pixel(tile.left + 6, tile.top + tile.height() / 4), RGB(0x33, 0xBE, 0xF5));
    }
    RECT apply{};
    GetWindowRect(button(L"Apply"), &apply);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&apply), 2);
    EXPECT_EQ(pixel(apply.left + 4, (apply.top + apply.bottom) / 2), RGB(0x1C, 0x1E, 0x26));
    EXPECT_EQ(log.count("[Quorvane][ERR] ArrangementWindow: CreateWindowEx failed\n"), 0);
}

TEST_F(ArrangementWine, ADragSentAsMouseMessagesMovesATileAndApplyDispatchesIt) {
    ASSERT_TRUE(window.open());
    ASSERT_FALSE(window.items().empty());
    const ArrangementItem before = window.items().back();
    const int index = static_cast<int>(window.items().size()) - 1;
    const PixelRect tile = window.tileRect(before);
    const int x = (tile.left + tile.right) / 2;
    const int y = (tile.top + tile.bottom) / 2;

    SendMessageW(hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    EXPECT_EQ(window.selected(), index);
    EXPECT_EQ(GetCapture(), hwnd());
    // Left and up: a negative offset travels as a signed 16-bit coordinate.
    SendMessageW(hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x - 30, y - 20));
    SendMessageW(hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(x - 30, y - 20));
    EXPECT_NE(GetCapture(), hwnd());
    EXPECT_EQ(window.dragged(), -1);
    const ArrangementItem moved = window.items().back();
    EXPECT_LT(moved.left, before.left);
    EXPECT_LT(moved.top, before.top);
    if (window.items().size() == 1) {
        // Nothing to snap to: the move is the mouse's, at the view's scale.
        EXPECT_EQ(moved.left, before.left + static_cast<int32_t>(std::trunc(-30 / window.scale())));
        EXPECT_EQ(moved.top, before.top + static_cast<int32_t>(std::trunc(-20 / window.scale())));
    }

    // Apply, clicked: one ApplyArrangement with the moved position.
    SendMessageW(button(L"Apply"), BM_CLICK, 0, 0);
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].kind, ActionKind::ApplyArrangement);
    ASSERT_EQ(actions[0].placements.size(), window.items().size());
    const DisplayPlacement& applied = actions[0].placements.back();
    EXPECT_EQ(applied.key, before.key);
    EXPECT_EQ(applied.x, moved.left);
    EXPECT_EQ(applied.y, moved.top);
    EXPECT_EQ(applied.width, before.width);
    EXPECT_EQ(applied.height, before.height);
    EXPECT_TRUE(log.has("INF", "dispatch ApplyArrangement"));
    EXPECT_EQ(window.selected(), -1) << "reloaded after applying";
}

TEST_F(ArrangementWine, CloseDestroysTheWindowAndALaterOpenBuildsItAgain) {
    ASSERT_TRUE(window.open());
    const HWND first = hwnd();

    // Opening while open: the same window, in front.
    ASSERT_TRUE(window.open());
    EXPECT_EQ(hwnd(), first);
    EXPECT_EQ(GetForegroundWindow(), first);

    SendMessageW(button(L"Close"), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(window.isOpen());
    EXPECT_EQ(FindWindowW(L"QuorvaneArrange", nullptr), nullptr);

    ASSERT_TRUE(window.open());
    ASSERT_TRUE(IsWindow(hwnd()));
    EXPECT_TRUE(IsWindowVisible(hwnd()));
    EXPECT_NE(button(L"Apply"), nullptr);

    // The close box likewise.
    const HWND second = hwnd();
    SendMessageW(second, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(second));
    ASSERT_TRUE(window.open());
    EXPECT_TRUE(IsWindow(hwnd()));
    EXPECT_TRUE(actions.empty());
}

} // namespace
} // namespace qv
