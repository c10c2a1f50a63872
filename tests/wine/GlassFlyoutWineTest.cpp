// The web flyout's window and browser host through real user32 and COM,
// against the imitation WebView2 runtime registered the way the real runtime
// is: the creation chain, what the host asks of the browser, page messages,
// window messages and the fall-back when the browser cannot start.
#include "actions/ActionBus.h"
#include "base/win32/Utf16.h"
#include "display/DisplayManager.h"
#include "display/win32/Win32DisplayConfigApi.h"
#include "layout/LayoutStore.h"
#include "settings/Config.h"
#include "web/GlassFlyoutPanel.h"
#include "web/Pages.h"
#include "web/win32/Win32BrowserRuntime.h"
#include "web/win32/Win32FlyoutWindow.h"
#include "windows/WindowPlacement.h"
#include "windows/win32/Win32WindowSystem.h"
#include "wine/ImitationBrowser.h"
#include "wine/Win32CoreObjects.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace qv {
namespace {

class GlassFlyoutWine : public ::testing::Test, protected Win32CoreObjects {
protected:
    void SetUp() override {
        browser.install(runtime);
        if (HasFatalFailure()) return;
        record = browser.record;
        postFromPage = browser.post;
    }
    void TearDown() override {
        panel.reset();
        window.reset();
        browser.uninstall();
    }

    void makePanel(FlyoutHooks hooks = {}) {
        window = std::make_unique<Win32FlyoutWindow>(
            static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))), runtime);
        panel = std::make_unique<GlassFlyoutPanel>(*window, &bus, &config, std::move(hooks));
    }
    bool loaded() {
        return pumpUntil([&] { return panel->ready(); });
    }
    HWND hwnd() const { return window->hwnd(); }

    CapturedLog log;
    Win32BrowserRuntime runtime;
    ImitationBrowser browser;
    std::unique_ptr<Win32FlyoutWindow> window;
    std::unique_ptr<GlassFlyoutPanel> panel;
    ImitationWebView2Record* record = nullptr;
    ImitationWebView2PostFn postFromPage = nullptr;
    const ScreenPoint anchor{900, 700};
};

TEST_F(GlassFlyoutWine, StartsTheBrowserInItsWindowAndLoadsThePage) {
    makePanel();
    ASSERT_TRUE(panel->show(anchor));
    ASSERT_NE(hwnd(), nullptr);
    ASSERT_TRUE(loaded());

    // The window: class, styles, title, background brush, visible at the anchor.
    wchar_t text[64] = {};
    GetClassNameW(hwnd(), text, 64);
    EXPECT_STREQ(text, L"QuorvaneGlassFlyout");
    GetWindowTextW(hwnd(), text, 64);
    EXPECT_STREQ(text, L"Quorvane");
    EXPECT_EQ(GetWindowLongPtrW(hwnd(), GWL_STYLE) & WS_POPUP, WS_POPUP);
    EXPECT_EQ(GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
              WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    EXPECT_TRUE(IsWindowVisible(hwnd()));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"QuorvaneGlassFlyout", &windowClass));
    EXPECT_EQ(windowClass.cbSize, 80u);
    LOGBRUSH brush{};
    ASSERT_TRUE(GetObjectW(windowClass.hbrBackground, sizeof brush, &brush));
    EXPECT_EQ(brush.lbColor, RGB(18, 20, 26));
    const uint32_t dpi = GetDpiForWindow(hwnd()) ? GetDpiForWindow(hwnd()) : 96;
    RECT frame{};
    GetWindowRect(hwnd(), &frame);
    EXPECT_EQ(frame.right - frame.left, MulDiv(352, static_cast<int>(dpi), 96));

    // What the host asked of the runtime.
    EXPECT_EQ(record->environmentCalls, 1);
    EXPECT_EQ(record->checkRunningInstance, 1);
    EXPECT_EQ(record->runtimeType, 0);
    wchar_t local[MAX_PATH] = {};
    GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
    EXPECT_EQ(std::wstring(record->userDataFolder), std::wstring(local) + L"\\Quorvane\\WebView2");
    EXPECT_EQ(record->parent, hwnd());
    EXPECT_EQ(record->background, 0xFF12141Au);
    EXPECT_EQ(record->contextMenus, 0);
    EXPECT_EQ(record->devTools, 0);
    EXPECT_EQ(record->zoomControl, 0);
    EXPECT_EQ(record->statusBar, 0);
    EXPECT_EQ(record->script, -1) << "script stays at its default";
    EXPECT_EQ(record->webMessages, -1) << "web messages stay at their default";
    RECT client{};
    GetClientRect(hwnd(), &client);
    EXPECT_TRUE(EqualRect(&record->bounds, &client));

    // The page compiled into the program, then its first state.
    EXPECT_EQ(record->navigations, 1);
    const std::u16string_view page = pages::flyout();
    EXPECT_EQ(record->pageLength, page.size());
    EXPECT_EQ(std::wstring(record->pageStart), std::wstring(page.begin(), page.begin() + 63));
    EXPECT_EQ(record->statePushes, 1);
    EXPECT_EQ(std::wstring(record->lastScript).rfind(L"window.qvState({", 0), 0u) << narrow(record->lastScript);
    EXPECT_TRUE(log.lines.empty() || !log.has("ERR", "GlassFlyoutPanel"));
}

TEST_F(GlassFlyoutWine, PageMessagesReachThePanel) {
    makePanel();
    ASSERT_TRUE(panel->show(anchor));
    ASSERT_TRUE(loaded());

    // "size": the window takes the page's height.
    postFromPage(L"{\"type\":\"size\",\"h\":300}");
    ASSERT_TRUE(pumpUntil([&] { return panel->height() == 300; }));
    const uint32_t dpi = GetDpiForWindow(hwnd()) ? GetDpiForWindow(hwnd()) : 96;
    RECT frame{};
    GetWindowRect(hwnd(), &frame);
    EXPECT_EQ(frame.bottom - frame.top, MulDiv(300, static_cast<int>(dpi), 96));
    RECT client{};
    GetClientRect(hwnd(), &client);
    EXPECT_TRUE(EqualRect(&record->bounds, &client)) << "the browser follows the window";

    // A message that is not JSON is dropped; "close" hides the flyout.
    postFromPage(L"not json");
    postFromPage(L"{\"type\":\"close\"}");
    ASSERT_TRUE(pumpUntil([&] { return !IsWindowVisible(hwnd()); }));
    EXPECT_TRUE(IsWindow(hwnd())) << "hidden, not destroyed";
}

TEST_F(GlassFlyoutWine, ShowingAgainRunsTheShownCallAndLevelsTickWhileVisible) {
    FlyoutHooks hooks;
    hooks.audioLevel = [](bool) { return FlyoutHooks::Level{true, 0.5f, false, 0.25f}; };
    makePanel(std::move(hooks));
    ASSERT_TRUE(panel->show(anchor));
    ASSERT_TRUE(loaded());
    // The 50 ms timer pushes levels while the flyout is shown.
    ASSERT_TRUE(pumpUntil([&] { return record->levelTicks >= 2; }));

    panel->hide();
    EXPECT_FALSE(IsWindowVisible(hwnd()));
    const int ticks = record->levelTicks;
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ(record->levelTicks, ticks) << "no levels while hidden";

    const int states = record->statePushes;
    ASSERT_TRUE(panel->show(anchor));
    EXPECT_EQ(record->shownCalls, 1);
    EXPECT_EQ(record->statePushes, states + 1);
    EXPECT_EQ(record->environmentCalls, 1) << "the window and browser are kept between shows";
}

TEST_F(GlassFlyoutWine, WindowMessagesDecideAsThePanelSays) {
    makePanel();
    ASSERT_TRUE(panel->show(anchor));
    ASSERT_TRUE(loaded());

    // Focus moving into the browser's own child keeps the flyout open.
    HWND child = GetWindow(hwnd(), GW_CHILD);
    ASSERT_NE(child, nullptr);
    SendMessageW(hwnd(), WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(child));
    EXPECT_TRUE(IsWindowVisible(hwnd()));
    // Anywhere else closes it.
    SendMessageW(hwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_FALSE(IsWindowVisible(hwnd()));

    // Deferred tasks run once each, oldest first, after the current message.
    std::string ran;
    panel->post([&] { ran += "a"; });
    panel->post([&] { ran += "b"; });
    EXPECT_EQ(ran, "");
    ASSERT_TRUE(pumpUntil([&] { return ran.size() == 2; }));
    EXPECT_EQ(ran, "ab");

    // WM_CLOSE hides rather than destroys.
    ASSERT_TRUE(panel->show(anchor));
    SendMessageW(hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(hwnd()));
    EXPECT_TRUE(IsWindow(hwnd()));

    // Going away closes the browser.
    panel.reset();
    EXPECT_EQ(record->controllersClosed, 1);
}

struct FallBackCase {
    const wchar_t* failure;
    const char* reason;
    bool firstShow; // whether the first show still gets a window
};

class GlassFlyoutFallBack : public GlassFlyoutWine, public ::testing::WithParamInterface<FallBackCase> {};

TEST_P(GlassFlyoutFallBack, LogsOnceAndGivesUpForTheRestOfTheRun) {
    SetEnvironmentVariableW(L"QV_IMITATION_WEBVIEW2", GetParam().failure);
    makePanel();
    EXPECT_EQ(panel->show(anchor), GetParam().firstShow);
    ASSERT_TRUE(pumpUntil([&] { return panel->fellBack(); }));
    EXPECT_FALSE(window->exists());
    const std::string line =
        std::string("[Quorvane][ERR] GlassFlyoutPanel: ") + GetParam().reason +
        " \xE2\x80\x94 falling back to the classic flyout\n";
    EXPECT_EQ(log.count(line), 1);

    EXPECT_FALSE(panel->show(anchor));
    pumpUntil([] { return true; });
    EXPECT_EQ(log.count(line), 1) << "a later show goes straight to the classic flyout";
    EXPECT_EQ(record->environmentCalls, 1);
    EXPECT_EQ(FindWindowW(L"QuorvaneGlassFlyout", nullptr), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Failures, GlassFlyoutFallBack,
                         ::testing::Values(FallBackCase{L"call", "environment create call failed", false},
                                           FallBackCase{L"environment", "WebView2 environment failed", true},
                                           FallBackCase{L"controller", "WebView2 controller failed", true}));

} // namespace
} // namespace qv
