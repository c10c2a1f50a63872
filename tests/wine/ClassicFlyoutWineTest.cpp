// The classic flyout's window through real user32: its class and styles,
// its controls named by their captions, and clicks, Escape and deactivation
// reaching the panel through real messages.
#include "actions/ActionBus.h"
#include "display/DisplayManager.h"
#include "display/win32/Win32DisplayConfigApi.h"
#include "layout/LayoutStore.h"
#include "settings/Config.h"
#include "ui/FlyoutPanel.h"
#include "ui/win32/Win32FlyoutPanelSurface.h"
#include "windows/WindowPlacement.h"
#include "windows/win32/Win32WindowSystem.h"
#include "wine/Win32CoreObjects.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace qv {
namespace {

void pump() {
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

HWND child(HWND parent, int id) { return GetDlgItem(parent, id); }

std::wstring text(HWND window) {
    wchar_t buffer[256] = {};
    GetWindowTextW(window, buffer, 256);
    return buffer;
}

class ClassicFlyoutWine : public ::testing::Test, protected Win32CoreObjects {
protected:
    void SetUp() override {
        ASSERT_TRUE(panel.create(bus));
        hwnd = surface.hwnd();
        ASSERT_NE(hwnd, nullptr);
    }
    void TearDown() override { pump(); }

    CapturedLog log;
    Win32FlyoutPanelSurface surface{static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)))};
    FlyoutPanel panel{surface, nullptr};
    HWND hwnd = nullptr;
};

TEST_F(ClassicFlyoutWine, OpensAsATopmostToolPopupWithNamedControls) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    EXPECT_STREQ(name, L"QuorvaneFlyout");
    EXPECT_EQ(text(hwnd), L"Quorvane");
    EXPECT_FALSE(IsWindowVisible(hwnd)) << "created hidden";
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_POPUP, WS_POPUP);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
              WS_EX_TOOLWINDOW | WS_EX_TOPMOST);

    panel.showAt({400, 300});
    pump();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    const uint32_t dpi = GetDpiForWindow(hwnd) ? GetDpiForWindow(hwnd) : 96;
    RECT frame{};
    GetWindowRect(hwnd, &frame);
    EXPECT_EQ(frame.right - frame.left, MulDiv(318, static_cast<int>(dpi), 96));
    EXPECT_EQ(frame.bottom - frame.top, MulDiv(panel.height(), static_cast<int>(dpi), 96));

    // Every control of the panel is a child window with its id, its caption as text.
    for (const ClassicControl& control : panel.controls()) {
        HWND c = child(hwnd, static_cast<int>(control.id));
        ASSERT_NE(c, nullptr) << control.caption;
        wchar_t expected[256] = {};
        MultiByteToWideChar(CP_UTF8, 0, control.caption.c_str(), -1, expected, 256);
        EXPECT_EQ(text(c), std::wstring(expected));
        EXPECT_EQ(IsWindowEnabled(c) != FALSE, control.enabled) << control.caption;
    }
    EXPECT_EQ(text(child(hwnd, FlyoutPanel::kExtend)), L"Extend");
}

TEST_F(ClassicFlyoutWine, AClickReachesThePanelAfterTheButtonHasDoneWithIt) {
    panel.showAt({400, 300});
    if (panel.selectedKey().empty()) GTEST_SKIP() << "Wine reports no active display";
    ASSERT_NE(child(hwnd, FlyoutPanel::kMiniMap), nullptr);
    HWND row = child(hwnd, FlyoutPanel::kRowBase);
    ASSERT_NE(row, nullptr);
    // The row's click collapses the expanded display: its buttons are rebuilt
    // only once the click's own notification is over.
    SendMessageW(row, BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindow(row)) << "not destroyed inside its own click";
    pump();
    EXPECT_EQ(child(hwnd, FlyoutPanel::kMiniMap), nullptr);
    EXPECT_FALSE(IsWindow(row));
}

TEST_F(ClassicFlyoutWine, EscapeAndDeactivationHideIt) {
    panel.showAt({400, 300});
    ASSERT_TRUE(IsWindowVisible(hwnd));
    SendMessageW(child(hwnd, FlyoutPanel::kExtend), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(IsWindowVisible(hwnd));

    // A dialog the panel owns (the rename prompt) keeps it open behind it.
    panel.showAt({400, 300});
    HWND owned = CreateWindowExW(0, L"STATIC", L"owned", WS_POPUP, 0, 0, 10, 10, hwnd, nullptr, nullptr, nullptr);
    ASSERT_NE(owned, nullptr);
    SendMessageW(hwnd, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(owned));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    DestroyWindow(owned);

    SendMessageW(hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_TRUE(IsWindow(hwnd)) << "hidden, not destroyed";
}

} // namespace
} // namespace qv
