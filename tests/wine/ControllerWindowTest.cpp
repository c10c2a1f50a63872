// The tray controller's hidden window through real user32: its class, its
// place among the top-level windows and its answers to the quit and session
// messages, through a real message queue.
#include "actions/ActionBus.h"
#include "settings/Config.h"
#include "base/win32/Win32ProcessApi.h"
#include "display/DisplayManager.h"
#include "base/win32/Win32TickSource.h"
#include "display/win32/Win32DisplayConfigApi.h"
#include "hotkeys/win32/Win32HotkeyRegistrar.h"
#include "layout/LayoutStore.h"
#include "ui/TrayController.h"
#include "ui/win32/Win32TrayShell.h"
#include "ui/win32/Win32TrayWindow.h"
#include "windows/WindowPlacement.h"
#include "windows/win32/Win32WindowSystem.h"
#include "wine/Win32CoreObjects.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>

namespace qv {
namespace {

HWND toHwnd(WindowHandle window) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(window)); }

// Dispatches what is queued for this thread; returns WM_QUIT's code if one
// came. The queue is left empty, so no quit leaks into the next test.
std::optional<WPARAM> drainQueue() {
    std::optional<WPARAM> quit;
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            quit = msg.wParam;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return quit;
}

class ControllerWindowTest : public ::testing::Test, protected Win32CoreObjects {
protected:
    void SetUp() override {
        drainQueue();
        controller = std::make_unique<TrayController>(TrayController::Ports{api, shell, hotkeys, ticks});
        ASSERT_TRUE(controller->create(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))),
                                       bus, displays, layouts, config));
        hwnd = toHwnd(controller->window());
    }
    void TearDown() override {
        controller.reset();
        drainQueue();
    }

    Win32TrayWindow api;
    Win32TrayShell shell;
    Win32HotkeyRegistrar hotkeys;
    Win32TickSource ticks;
    std::unique_ptr<TrayController> controller;
    HWND hwnd = nullptr;
};

TEST_F(ControllerWindowTest, IsAHiddenTopLevelWindowOfItsClass) {
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(FindWindowW(L"QuorvaneTray", nullptr), hwnd);
    wchar_t text[64] = {};
    GetClassNameW(hwnd, text, 64);
    EXPECT_STREQ(text, L"QuorvaneTray");
    GetWindowTextW(hwnd, text, 64);
    EXPECT_STREQ(text, L"Quorvane");
    // Top-level, so a broadcast reaches it; never shown.
    EXPECT_EQ(GetAncestor(hwnd, GA_PARENT), GetDesktopWindow());
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_POPUP);
    EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"QuorvaneTray", &windowClass));
    EXPECT_EQ(windowClass.cbSize, 80u);
}

TEST_F(ControllerWindowTest, QuitMessageEndsTheMessageLoopWithCode0) {
    ASSERT_TRUE(PostMessageW(hwnd, RegisterWindowMessageW(L"Quorvane_Quit"), 0, 0));
    // A fallback quit code, replaced by the controller's own PostQuitMessage(0)
    // when it handles the message, so a broken controller cannot hang the loop.
    PostQuitMessage(99);

    Win32ProcessApi process;
    EXPECT_EQ(process.runMessageLoop(), 0);
}

TEST_F(ControllerWindowTest, SessionMessagesAnswerAsExpected) {
    EXPECT_EQ(SendMessageW(hwnd, WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_EQ(SendMessageW(hwnd, WM_ENDSESSION, FALSE, 0), 0);
    EXPECT_FALSE(drainQueue());

    SendMessageW(hwnd, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(drainQueue(), std::optional<WPARAM>(0));

    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(drainQueue(), std::optional<WPARAM>(0));
    // WM_CLOSE only asks to quit; the window stays until the controller goes.
    EXPECT_TRUE(IsWindow(hwnd));
}

// The reason Windows shows while a session ends during a recording lives on
// the controller window: set, read back through user32, dropped.
TEST_F(ControllerWindowTest, TheShutdownBlockReasonIsSetAndDroppedOnTheWindow) {
    const WindowHandle window = controller->window();
    if (!api.shutdownBlockReasonCreate(window, "Finishing a recording\xE2\x80\xA6")) {
        const DWORD error = GetLastError();
        ASSERT_EQ(error, static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED)) << "refused for another reason";
        GTEST_SKIP() << "Wine's ShutdownBlockReasonCreate is a stub (ERROR_CALL_NOT_IMPLEMENTED)";
    }
    wchar_t text[64] = {};
    DWORD size = 64;
    ASSERT_TRUE(ShutdownBlockReasonQuery(hwnd, text, &size));
    EXPECT_STREQ(text, L"Finishing a recording\u2026");
    EXPECT_TRUE(api.shutdownBlockReasonDestroy(window));
    size = 64;
    EXPECT_FALSE(ShutdownBlockReasonQuery(hwnd, text, &size)) << "no reason once it is dropped";
}

TEST_F(ControllerWindowTest, WindowGoesWithTheController) {
    controller.reset();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(FindWindowW(L"QuorvaneTray", nullptr), nullptr);
}

TEST_F(ControllerWindowTest, WindowDestroyedFromOutsideIsForgotten) {
    DestroyWindow(hwnd);
    EXPECT_EQ(controller->window(), 0u);
}

} // namespace
} // namespace qv
