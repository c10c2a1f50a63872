// The classic settings window through real user32: its class, title, frame
// and controls found by their captions, a click and a list choice saved to
// config.json in the test's own profile, its colours and drawing, a second
// request while it is open, and closing.
#include "base/Version.h"
#include "base/win32/Utf16.h"
#include "settings/Config.h"
#include "ui/SettingsWindow.h"
#include "ui/win32/Win32SettingsSurface.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <windows.h>

#include <string>
#include <vector>

namespace qv {
namespace {

uint64_t instance() { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))); }

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class SettingsWindowWine : public TempFolderTest {
protected:
    SettingsWindowWine() : TempFolderTest("qv-settings") {}
    void TearDown() override {
        window.onClose();
        pump();
    }

    bool open() {
        SettingsCallbacks callbacks;
        callbacks.refreshTrayIcon = [this] { called.push_back("refreshTrayIcon"); };
        callbacks.checkForUpdates = [this] { called.push_back("checkForUpdates"); };
        const bool ok = window.create(instance(), config, callbacks);
        pump();
        return ok;
    }
    HWND hwnd() const { return surface.hwnd(); }
    HWND item(int id) const { return GetDlgItem(hwnd(), id); }
    nlohmann::json saved() const { return nlohmann::json::parse(read(configFile)); }
    // A list tells its window about a new choice.
    void choose(int id, int index) {
        SendMessageW(item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item(id)));
    }

    const std::string configFile = root + "\\Quorvane\\config.json";
    TempKnownFolders folders{root};
    CapturedLog log;
    Config config;
    Win32SettingsSurface surface;
    SettingsWindow window{surface};
    std::vector<std::string> called;
};

TEST_F(SettingsWindowWine, OpensWithItsClassTitleFrameAndEveryControlByCaption) {
    config.monochromeIcon = true;
    config.maxPreviews = 6;
    ASSERT_TRUE(open());
    ASSERT_NE(hwnd(), nullptr);

    wchar_t text[64] = {};
    GetClassNameW(hwnd(), text, 64);
    EXPECT_STREQ(text, L"QuorvaneSettings");
    GetWindowTextW(hwnd(), text, 64);
    EXPECT_STREQ(text, L"Quorvane \x2014 Settings");
    EXPECT_EQ(GetWindowLongPtrW(hwnd(), GWL_STYLE) & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, WS_EX_DLGMODALFRAME);
    EXPECT_TRUE(IsWindowVisible(hwnd()));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"QuorvaneSettings", &windowClass));
    EXPECT_EQ(windowClass.cbSize, 80u);
    LOGBRUSH brush{};
    ASSERT_TRUE(GetObjectW(windowClass.hbrBackground, sizeof brush, &brush));
    EXPECT_EQ(brush.lbColor, RGB(18, 19, 24));

    // The client area is 460 × 616 at the window's DPI, and the window lies
    // inside the work area of the monitor under the cursor.
    const UINT dpi = GetDpiForWindow(hwnd()) != 0 ? GetDpiForWindow(hwnd()) : 96;
    RECT client{};
    GetClientRect(hwnd(), &client);
    EXPECT_EQ(client.right, MulDiv(460, static_cast<int>(dpi), 96));
    EXPECT_EQ(client.bottom, MulDiv(616, static_cast<int>(dpi), 96));
    POINT cursor{};
    GetCursorPos(&cursor);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT frame{};
    GetWindowRect(hwnd(), &frame);
    EXPECT_GE(frame.left, monitor.rcWork.left);
    EXPECT_GE(frame.top, monitor.rcWork.top);
    EXPECT_LE(frame.right, monitor.rcWork.right);
    EXPECT_LE(frame.bottom, monitor.rcWork.bottom);

    struct Expected {
        const wchar_t* caption;
        int id;
        LONG_PTR type; // BS_ type of a button
        bool checked;
    };
    const Expected buttons[] = {
        {L"Start with Windows", 1001, BS_AUTOCHECKBOX, false},
        {L"Re-apply matching layout on hotplug (silent)", 1002, BS_AUTOCHECKBOX, true},
        {L"Put windows back when a display returns", 1016, BS_AUTOCHECKBOX, true},
        {L"Check for updates on startup", 1003, BS_AUTOCHECKBOX, true},
        {L"Install updates automatically (restarts the app)", 1004, BS_AUTOCHECKBOX, true},
        {L"Use monochrome (white) tray icon", 1005, BS_AUTOCHECKBOX, true},
        {L"Receive dev (pre-release) updates", 1006, BS_AUTOCHECKBOX, false},
        {L"Capture system audio in recordings", 1007, BS_AUTOCHECKBOX, true},
        {L"Arrange displays\x2026  (layout wizard)", 1010, BS_OWNERDRAW, false},
        {L"Check for updates now", 1011, BS_OWNERDRAW, false},
        {L"Open config folder", 1012, BS_OWNERDRAW, false},
        {L"Recording folder\x2026", 1013, BS_OWNERDRAW, false},
        {L"Open recordings", 1014, BS_OWNERDRAW, false},
        {L"Close", 1015, BS_OWNERDRAW, false},
    };
    for (const Expected& e : buttons) {
        SCOPED_TRACE(narrow(e.caption));
        HWND control = FindWindowExW(hwnd(), nullptr, L"Button", e.caption);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetDlgCtrlID(control), e.id);
        EXPECT_EQ(GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK, e.type);
        if (e.type == BS_AUTOCHECKBOX) {
            EXPECT_EQ(IsDlgButtonChecked(hwnd(), e.id) == BST_CHECKED, e.checked);
        }
    }
    const std::wstring versionLabel = widen(std::string("Quorvane v") + kVersion);
    for (const wchar_t* label :
         {L"Settings", L"Maximum simultaneous previews", L"Recording frame rate", versionLabel.c_str()}) {
        EXPECT_NE(FindWindowExW(hwnd(), nullptr, L"Static", label), nullptr) << narrow(label);
    }

    // The two lists, their items and the selections the settings give.
    EXPECT_EQ(SendMessageW(item(1008), CB_GETCOUNT, 0, 0), 8);
    EXPECT_EQ(SendMessageW(item(1008), CB_GETCURSEL, 0, 0), 5);
    ASSERT_EQ(SendMessageW(item(1009), CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(SendMessageW(item(1009), CB_GETCURSEL, 0, 0), 2);
    const wchar_t* rates[] = {L"15 fps", L"24 fps", L"30 fps", L"60 fps"};
    for (int i = 0; i < 4; ++i) {
        SendMessageW(item(1009), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        EXPECT_STREQ(text, rates[i]);
    }
}

TEST_F(SettingsWindowWine, AClickOnACheckBoxIsSavedToTheFile) {
    ASSERT_TRUE(open());
    SendMessageW(item(1003), BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(hwnd(), 1003), BST_UNCHECKED);
    EXPECT_FALSE(config.autoCheckUpdates);
    ASSERT_TRUE(exists(configFile));
    EXPECT_TRUE(isCrLfObject(read(configFile)));
    EXPECT_EQ(saved()["autoCheckUpdates"], false);

    SendMessageW(item(1005), BM_CLICK, 0, 0);
    EXPECT_EQ(saved()["monochromeIcon"], true);
    EXPECT_EQ(called, (std::vector<std::string>{"refreshTrayIcon"}));

    SendMessageW(item(1006), BM_CLICK, 0, 0);
    EXPECT_EQ(saved()["updateChannel"], "dev");

    SendMessageW(item(1016), BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(hwnd(), 1016), BST_UNCHECKED);
    EXPECT_EQ(saved()["restoreWindowsOnReconnect"], false);

    // An owner-drawn button answers a click too.
    SendMessageW(item(1011), BM_CLICK, 0, 0);
    EXPECT_EQ(called.back(), "checkForUpdates");
}

TEST_F(SettingsWindowWine, ListsSaveANewChoiceAndNotAMereLook) {
    writeFile(configFile, "{\"recordingFps\": 25}");
    ASSERT_TRUE(config.load());
    ASSERT_TRUE(open());
    EXPECT_EQ(SendMessageW(item(1009), CB_GETCURSEL, 0, 0), 2);

    // Dropping the list down and closing it again chooses nothing.
    SendMessageW(item(1009), CB_SHOWDROPDOWN, TRUE, 0);
    pump();
    SendMessageW(item(1009), CB_SHOWDROPDOWN, FALSE, 0);
    pump();
    EXPECT_EQ(config.recordingFps, 25);
    EXPECT_EQ(saved()["recordingFps"], 25);

    choose(1009, 3);
    EXPECT_EQ(saved()["recordingFps"], 60);
    choose(1008, 0);
    EXPECT_EQ(saved()["maxPreviews"], 1);
}

TEST_F(SettingsWindowWine, ColoursAndButtonDrawing) {
    ASSERT_TRUE(open());
    HWND label = FindWindowExW(hwnd(), nullptr, L"Static", L"Settings");
    HDC dc = GetDC(hwnd());
    const auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    EXPECT_EQ(GetTextColor(dc), RGB(243, 245, 248));
    LOGBRUSH info{};
    ASSERT_TRUE(GetObjectW(brush, sizeof info, &info));
    EXPECT_EQ(info.lbColor, RGB(18, 19, 24));
    ReleaseDC(hwnd(), dc);

    // The title in its own, larger font.
    LOGFONTW font{};
    ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)), sizeof font, &font));
    const int dpi = static_cast<int>(GetDpiForWindow(hwnd()) != 0 ? GetDpiForWindow(hwnd()) : 96);
    EXPECT_EQ(font.lfHeight, -MulDiv(18, dpi, 96));
    EXPECT_EQ(font.lfWeight, 600);

    // A button drawn into a bitmap: the panel colour inside its rounded body,
    // the window background in its corner.
    HWND button = item(1015);
    RECT r{};
    GetClientRect(button, &r);
    HDC screen = GetDC(button);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right, r.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_BUTTON;
    draw.CtlID = 1015;
    draw.itemAction = ODA_DRAWENTIRE;
    draw.hwndItem = button;
    draw.hDC = memory;
    draw.rcItem = r;
    EXPECT_EQ(SendMessageW(hwnd(), WM_DRAWITEM, 1015, reinterpret_cast<LPARAM>(&draw)), TRUE);
    EXPECT_EQ(GetPixel(memory, 4, r.bottom / 2), RGB(28, 30, 38));
    EXPECT_EQ(GetPixel(memory, 0, 0), RGB(18, 19, 24));
    draw.itemState = ODS_SELECTED;
    SendMessageW(hwnd(), WM_DRAWITEM, 1015, reinterpret_cast<LPARAM>(&draw));
    EXPECT_EQ(GetPixel(memory, 4, r.bottom / 2), RGB(21, 22, 28));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(button, screen);
}

TEST_F(SettingsWindowWine, ASecondRequestBringsTheSameWindowBackAndCloseEndsIt) {
    ASSERT_TRUE(open());
    HWND first = hwnd();
    ShowWindow(first, SW_HIDE);
    config.autoCheckUpdates = false;
    ASSERT_TRUE(open());
    EXPECT_EQ(hwnd(), first);
    EXPECT_TRUE(IsWindowVisible(first));
    EXPECT_EQ(IsDlgButtonChecked(first, 1003), BST_CHECKED); // not re-read

    // Close destroys it; the next request builds a new one from the settings.
    SendMessageW(item(1015), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(window.isOpen());
    ASSERT_TRUE(open());
    ASSERT_NE(hwnd(), nullptr);
    EXPECT_EQ(IsDlgButtonChecked(hwnd(), 1003), BST_UNCHECKED);

    // So does the close box.
    HWND second = hwnd();
    SendMessageW(second, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_FALSE(window.isOpen());
}

} // namespace
} // namespace qv
