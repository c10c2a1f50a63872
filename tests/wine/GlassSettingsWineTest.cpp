// The web settings window's host through real user32 and COM, against the
// imitation WebView2 runtime: the window, what the host asks of the browser,
// the settings page and its first document, page messages saved to
// config.json in the test's own profile, fitting the page's height, a DPI
// change, closing by the page and by the close box, and a browser that
// cannot start.
#include "base/win32/Utf16.h"
#include "settings/Config.h"
#include "web/GlassSettingsWindow.h"
#include "web/Pages.h"
#include "web/win32/Win32SettingsPageWindow.h"
#include "wine/ImitationBrowser.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <string>
#include <vector>

namespace qv {
namespace {

uint64_t instance() { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))); }

class GlassSettingsWine : public TempFolderTest {
protected:
    GlassSettingsWine() : TempFolderTest("qv-glass-settings") {}
    void SetUp() override {
        TempFolderTest::SetUp();
        browser.install(runtime);
    }
    void TearDown() override {
        settings.onClose();
        browser.uninstall();
    }

    void open() {
        SettingsCallbacks callbacks;
        callbacks.refreshTrayIcon = [this] { called.push_back("refreshTrayIcon"); };
        callbacks.chooseRecordingsFolder = [this] { called.push_back("chooseRecordingsFolder"); };
        settings.create(instance(), config, callbacks);
    }
    bool loaded() {
        return pumpUntil([&] { return settings.ready(); });
    }
    HWND hwnd() const { return page.hwnd(); }
    uint32_t dpi() const { return GetDpiForWindow(hwnd()) ? GetDpiForWindow(hwnd()) : 96; }
    nlohmann::json saved() const { return nlohmann::json::parse(read(configFile)); }

    const std::string configFile = root + "\\Quorvane\\config.json";
    TempKnownFolders folders{root};
    CapturedLog log;
    Config config;
    Win32BrowserRuntime runtime;
    ImitationBrowser browser;
    Win32SettingsPageWindow page{runtime};
    GlassSettingsWindow settings{page};
    std::vector<std::string> called;
};

TEST_F(GlassSettingsWine, OpensItsWindowStartsTheBrowserAndGivesThePageItsSettings) {
    open();
    ASSERT_NE(hwnd(), nullptr);
    ASSERT_TRUE(loaded());
    ImitationWebView2Record* record = browser.record;

    wchar_t text[64] = {};
    GetClassNameW(hwnd(), text, 64);
    EXPECT_STREQ(text, L"QuorvaneGlassSettings");
    GetWindowTextW(hwnd(), text, 64);
    EXPECT_STREQ(text, L"Quorvane \x2014 Settings");
    EXPECT_EQ(GetWindowLongPtrW(hwnd(), GWL_STYLE) & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, WS_EX_DLGMODALFRAME);
    EXPECT_TRUE(IsWindowVisible(hwnd()));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"QuorvaneGlassSettings", &windowClass));
    EXPECT_EQ(windowClass.hbrBackground, nullptr);
    RECT frame{};
    GetWindowRect(hwnd(), &frame);
    EXPECT_EQ(frame.right - frame.left, MulDiv(480, static_cast<int>(dpi()), 96));
    EXPECT_EQ(frame.bottom - frame.top, MulDiv(660, static_cast<int>(dpi()), 96));

    EXPECT_EQ(record->parent, hwnd());
    EXPECT_EQ(record->background, 0xFF14161Cu);
    EXPECT_EQ(record->contextMenus, 0);
    EXPECT_EQ(record->devTools, 0);
    RECT client{};
    GetClientRect(hwnd(), &client);
    EXPECT_TRUE(EqualRect(&record->bounds, &client));
    const std::u16string_view html = pages::settings();
    EXPECT_EQ(record->pageLength, html.size());
    EXPECT_EQ(std::wstring(record->lastScript).rfind(L"window.qvInit({", 0), 0u) << narrow(record->lastScript);
    EXPECT_FALSE(log.has("ERR", "WebView2"));

    // A second request brings the same window forward with a new document.
    const int scripts = record->scripts;
    open();
    EXPECT_EQ(record->environmentCalls, 1);
    EXPECT_EQ(record->scripts, scripts + 1);
}

TEST_F(GlassSettingsWine, PageMessagesAreSavedAndTheWindowFitsThePage) {
    open();
    ASSERT_TRUE(loaded());

    browser.post(L"{\"type\":\"set\",\"key\":\"maxPreviews\",\"value\":12}");
    browser.post(L"{\"type\":\"set\",\"key\":\"mono\",\"value\":true}");
    ASSERT_TRUE(pumpUntil([&] { return called.size() == 1; }));
    EXPECT_EQ(called[0], "refreshTrayIcon");
    EXPECT_EQ(saved()["maxPreviews"], 8);
    EXPECT_EQ(saved()["monochromeIcon"], true);

    // The page is 400 high: the client area follows, the frame stays.
    RECT before{}, beforeClient{};
    GetWindowRect(hwnd(), &before);
    GetClientRect(hwnd(), &beforeClient);
    browser.post(L"{\"type\":\"size\",\"h\":400}");
    RECT client{};
    ASSERT_TRUE(pumpUntil([&] {
        GetClientRect(hwnd(), &client);
        return client.bottom == MulDiv(400, static_cast<int>(dpi()), 96);
    }));
    RECT after{};
    GetWindowRect(hwnd(), &after);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_TRUE(EqualRect(&browser.record->bounds, &client)) << "the browser follows the window";

    // Another DPI: the suggested rectangle, and the page is asked for its height.
    RECT suggested{100, 100, 820, 1090};
    SendMessageW(hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    GetWindowRect(hwnd(), &after);
    EXPECT_TRUE(EqualRect(&after, &suggested));
    EXPECT_STREQ(browser.record->lastScript, L"window.qvPostSize&&window.qvPostSize()");

    // "close" from the page destroys the window and its browser.
    browser.post(L"{\"type\":\"action\",\"name\":\"close\"}");
    ASSERT_TRUE(pumpUntil([&] { return !settings.isOpen(); }));
    EXPECT_EQ(browser.record->controllersClosed, 1);
    EXPECT_EQ(FindWindowW(L"QuorvaneGlassSettings", nullptr), nullptr);

    // The next request builds a new window and browser; the close box destroys it too.
    open();
    ASSERT_TRUE(loaded());
    EXPECT_EQ(browser.record->environmentCalls, 2);
    SendMessageW(hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(settings.isOpen());
}

TEST_F(GlassSettingsWine, ABrowserThatCannotStartLeavesTheWindowOpenAndEmpty) {
    struct Case {
        const wchar_t* failure;
        const char* logged;
    };
    for (const Case& c : {Case{L"call", "CreateCoreWebView2Environment call failed"},
                          Case{L"environment", "WebView2 environment failed"},
                          Case{L"controller", "WebView2 controller failed"}}) {
        SCOPED_TRACE(narrow(c.failure));
        SetEnvironmentVariableW(L"QV_IMITATION_WEBVIEW2", c.failure);
        open();
        ASSERT_TRUE(pumpUntil([&] { return log.has("ERR", c.logged); }));
        EXPECT_TRUE(settings.isOpen());
        EXPECT_TRUE(IsWindowVisible(hwnd()));
        EXPECT_FALSE(settings.ready());
        settings.onClose();
        log.lines.clear();
    }
}

} // namespace
} // namespace qv
