// What the tray controller asks before it shows the web flyout: whether the
// browser runtime is installed, and which application is in front.
#include "base/win32/Utf16.h"
#include "ui/win32/Win32ForegroundQuery.h"
#include "web/win32/Win32BrowserRuntime.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <memory>
#include <string>

namespace qv {
namespace {

// The runtime's client state under HKEY_CURRENT_USER, pointing into the
// test's own folder; removed afterwards.
class RuntimeRegistration : public TempFolderTest {
protected:
    RuntimeRegistration() : TempFolderTest("qv-runtime") {}
    ~RuntimeRegistration() override { RegDeleteTreeW(HKEY_CURRENT_USER, Win32BrowserRuntime::kClientStateKey); }

    void registerFolder(const std::string& folder) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Win32BrowserRuntime::kClientStateKey, 0, nullptr, 0,
                                  KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const std::wstring text = widen(folder);
        RegSetValueExW(key, Win32BrowserRuntime::kFolderValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
};

TEST_F(RuntimeRegistration, MissingUntilARegisteredLibraryHasTheEntryPoint) {
    // Wine ships no WebView2 runtime.
    Win32BrowserRuntime runtime;
    EXPECT_EQ(Win32BrowserRuntime::libraryPath(), L"");
    EXPECT_FALSE(runtime.available());

    // Registered, but the folder holds no library.
    const std::string folder = root + "\\EdgeWebView\\Application\\131.0.2903.70";
    registerFolder(folder);
    EXPECT_EQ(narrow(Win32BrowserRuntime::libraryPath()), folder + "\\EBWebView\\x64\\EmbeddedBrowserWebView.dll");
    EXPECT_FALSE(runtime.available());

    // A library that loads but does not export the entry point.
    writeFile(folder + "\\EBWebView\\x64\\placeholder", "");
    ASSERT_TRUE(CopyFileW(L"C:\\windows\\system32\\version.dll",
                          Win32BrowserRuntime::libraryPath().c_str(), FALSE));
    EXPECT_FALSE(runtime.available());
}

TEST(ForegroundQueryWine, NamesTheProcessOfTheWindowInFront) {
    TestWindow window(L"QvForegroundTest", TestWindow::Kind::HiddenTopLevel);
    ASSERT_TRUE(window.ok());
    HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(window.handle()));
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    Win32ForegroundQuery query;
    const ForegroundCapture capture = query.capture();
    if (capture.window != window.handle()) GTEST_SKIP() << "Wine kept another window in front";
    EXPECT_EQ(capture.processId, GetCurrentProcessId());
    EXPECT_EQ(ForegroundCapture::exeNameOf(capture.imagePath), "qv_wintests.exe") << capture.imagePath;
}

// A click on the tray icon puts the taskbar in front; the application is the
// window the user had in front before, the highest application window
// below it. The taskbars are topmost, as the shell's are, and stay for the
// whole table (an activated window takes Wine seconds to destroy); the
// desktop's case comes last, since its window would stop every later walk.
TEST(ForegroundQueryWine, LooksPastTheTaskbarToTheApplicationBelow) {
    struct Case {
        const wchar_t* front;   // the shell's window that has the focus
        const wchar_t* between; // a window between it and the application, or none
        DWORD betweenExStyle;
        bool betweenVisible;
        bool findsApplication; // else nothing is in front
    };
    const Case cases[] = {
        {L"Shell_TrayWnd", nullptr, 0, true, true},
        {L"Shell_TrayWnd", L"QvPalette", WS_EX_TOOLWINDOW, true, true},
        {L"Shell_TrayWnd", L"QvHidden", 0, false, true},
        {L"NotifyIconOverflowWindow", L"Shell_SecondaryTrayWnd", WS_EX_TOPMOST, true, true},
        {L"NotifyIconOverflowWindow", L"TopLevelWindowForOverflowXamlIsland", WS_EX_TOPMOST, true, true},
        {L"Shell_TrayWnd", L"Progman", 0, true, false},
    };
    std::map<std::wstring, std::unique_ptr<TestWindow>> fronts;
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(std::wstring(c.front) + L" over " + (c.between ? c.between : L"nothing")));
        TestWindow application(L"QvApplicationWindow", 0, true);
        std::unique_ptr<TestWindow> between;
        if (c.between != nullptr) between = std::make_unique<TestWindow>(c.between, c.betweenExStyle, c.betweenVisible);
        std::unique_ptr<TestWindow>& front = fronts[c.front];
        if (!front) front = std::make_unique<TestWindow>(c.front, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, true);
        HWND frontWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(front->handle()));
        SetForegroundWindow(frontWindow);
        if (GetForegroundWindow() != frontWindow) GTEST_SKIP() << "Wine kept another window in front";

        const ForegroundCapture capture = Win32ForegroundQuery().capture();
        if (c.findsApplication) {
            EXPECT_EQ(capture.window, application.handle());
            EXPECT_EQ(capture.processId, GetCurrentProcessId());
            EXPECT_EQ(ForegroundCapture::exeNameOf(capture.imagePath), "qv_wintests.exe") << capture.imagePath;
        } else {
            EXPECT_EQ(capture.window, WindowHandle{0});
            EXPECT_EQ(capture.processId, 0u);
            EXPECT_EQ(capture.imagePath, "");
        }
    }
}

} // namespace
} // namespace qv
