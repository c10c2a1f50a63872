// What the tray controller asks before it shows the web flyout: whether the
// browser runtime is installed, and which application is in front.
#include "base/win32/Utf16.h"
#include "ui/win32/Win32ForegroundQuery.h"
#include "web/win32/Win32BrowserRuntime.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

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

} // namespace
} // namespace qv
