// The tray shell adapter against Wine's real Shell_NotifyIconW and menus, and
// the controller's icon through it.
#include "actions/ActionBus.h"
#include "settings/Config.h"
#include "base/DebugOutput.h"
#include "base/win32/Win32TickSource.h"
#include "base/win32/Utf16.h"
#include "display/DisplayManager.h"
#include "display/win32/Win32DisplayConfigApi.h"
#include "hotkeys/win32/Win32HotkeyRegistrar.h"
#include "layout/LayoutStore.h"
#include "ui/Notices.h"
#include "ui/TrayController.h"
#include "ui/TrayMenu.h"
#include "ui/win32/Win32TrayShell.h"
#include "ui/win32/Win32TrayWindow.h"
#include "windows/WindowPlacement.h"
#include "windows/win32/Win32WindowSystem.h"
#include "wine/Win32CoreObjects.h"
#include "wine/WineTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv {
namespace {

using Shell = TrayShellApi;

// A hidden top-level window that owns an icon for one test.
class IconOwner : public TestWindow {
public:
    IconOwner() : TestWindow(L"QuorvaneTrayShellTest", Kind::HiddenTopLevel) {}
};

NotifyIconData iconRecord(WindowHandle window) {
    NotifyIconData icon;
    icon.size = Shell::kNotifyIconDataSize;
    icon.window = window;
    icon.id = 1;
    icon.flags = Shell::kNifMessage | Shell::kNifIcon | Shell::kNifTip;
    icon.callbackMessage = 0x8001;
    icon.icon = static_cast<IconHandle>(reinterpret_cast<uintptr_t>(LoadIconW(nullptr, IDI_APPLICATION)));
    icon.tip = "Quorvane";
    icon.version = Shell::kNotifyIconVersion4;
    return icon;
}

TEST(TrayShellWine, IconIsAddedVersionedNotifiedAndDeleted) {
    IconOwner owner;
    ASSERT_TRUE(owner.ok());
    Win32TrayShell shell;
    const NotifyIconData icon = iconRecord(owner.handle());

    ASSERT_TRUE(shell.notifyIcon(Shell::kNimAdd, icon));
    EXPECT_TRUE(shell.notifyIcon(Shell::kNimSetVersion, icon));
    // Both kinds, with title and text at the longest the structure holds.
    const std::string title = std::string(62, 'T') + "\xE2\x86\x92" + "cut";
    const std::string text = std::string(300, 'x');
    EXPECT_TRUE(shell.notifyIcon(Shell::kNimModify, Notices::balloon(icon, title, text, false)));
    EXPECT_TRUE(shell.notifyIcon(Shell::kNimModify, Notices::balloon(icon, title, text, true)));
    // Adding it twice is refused, as Explorer does.
    EXPECT_FALSE(shell.notifyIcon(Shell::kNimAdd, icon));
    EXPECT_TRUE(shell.notifyIcon(Shell::kNimDelete, icon));

    // Gone: neither a notice nor a second delete finds it.
    EXPECT_FALSE(shell.notifyIcon(Shell::kNimModify, Notices::balloon(icon, "Quorvane", "late", false)));
    EXPECT_FALSE(shell.notifyIcon(Shell::kNimDelete, icon));
}

// The program's own executable, which sits beside this one in the build
// folder, loaded for its resources only; null when it is not there.
HMODULE programResources() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe = path;
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"quorvane.exe";
    return LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

TEST(TrayShellWine, ProgramIconsLoadAtTheSmallIconSize) {
    HMODULE module = programResources();
    if (!module) GTEST_SKIP() << "quorvane.exe is not beside the test program";
    Win32TrayShell shell;

    for (int resource : {101, 102}) {
        SCOPED_TRACE(resource);
        const IconHandle icon = shell.loadSmallIcon(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(module)), resource);
        ASSERT_NE(icon, 0u);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(static_cast<uintptr_t>(icon)), &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(SM_CXSMICON));
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        DestroyIcon(reinterpret_cast<HICON>(static_cast<uintptr_t>(icon)));
    }
    EXPECT_EQ(shell.loadSmallIcon(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(module)), 999), 0u);
    FreeLibrary(module);
}

TEST(TrayShellWine, MenuRowsArriveAsAppended) {
    Win32TrayShell shell;
    const MenuHandle menu = shell.createPopupMenu();
    ASSERT_NE(menu, 0u);
    HMENU hmenu = reinterpret_cast<HMENU>(static_cast<uintptr_t>(menu));
    const std::vector<TrayMenuItem> rows = TrayMenu::items(false, true, "1.3.9");
    for (const TrayMenuItem& row : rows) EXPECT_TRUE(shell.appendMenu(menu, row.flags, row.id, row.text));

    ASSERT_EQ(GetMenuItemCount(hmenu), static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        SCOPED_TRACE(rows[static_cast<size_t>(i)].text);
        const UINT state = GetMenuState(hmenu, static_cast<UINT>(i), MF_BYPOSITION);
        if (rows[static_cast<size_t>(i)].flags & MF_SEPARATOR) {
            // A separator also reads as disabled.
            EXPECT_TRUE(state & MF_SEPARATOR);
            continue;
        }
        EXPECT_EQ(state & (MF_SEPARATOR | MF_CHECKED | MF_DISABLED | MF_GRAYED), rows[static_cast<size_t>(i)].flags);
        wchar_t text[64] = {};
        GetMenuStringW(hmenu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        EXPECT_EQ(narrow(text), rows[static_cast<size_t>(i)].text);
        EXPECT_EQ(GetMenuItemID(hmenu, i), rows[static_cast<size_t>(i)].id);
    }
    shell.destroyMenu(menu);
    EXPECT_FALSE(IsMenu(hmenu));
}

// The controller's own icon: added at create, brought back by "TaskbarCreated"
// after the shell lost it, and removed with the controller.
class TrayIconWine : public ::testing::Test, protected Win32CoreObjects {
protected:
    void TearDown() override {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_QUIT) DispatchMessageW(&msg);
        }
    }

    Win32TrayWindow api;
    Win32TrayShell shell;
    Win32HotkeyRegistrar hotkeys;
    Win32TickSource ticks;
};

TEST_F(TrayIconWine, ComesBackAfterTheShellLostIt) {
    CapturedLog log;
    auto controller = std::make_unique<TrayController>(TrayController::Ports{api, shell, hotkeys, ticks});
    ASSERT_TRUE(controller->create(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr))),
                                   bus, displays, layouts, config));
    HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(controller->window()));
    NotifyIconData icon = controller->trayIcon();
    ASSERT_EQ(icon.size, 976u);
    EXPECT_TRUE(controller->notify("Quorvane", "Running in the tray.", false));

    // While the icon is there, a new taskbar cannot add it twice: no log line.
    SendMessageW(hwnd, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    const std::string line = "[Quorvane][INF] Tray icon re-added after Explorer restart\n";
    EXPECT_EQ(log.count(line), 0);

    // The shell forgets it, as when Explorer restarts; the broadcast brings it back.
    ASSERT_TRUE(shell.notifyIcon(Shell::kNimDelete, icon));
    SendMessageW(hwnd, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_EQ(log.count(line), 1);
    EXPECT_TRUE(controller->notify("Quorvane", "Back again.", true));

    controller.reset();
    // Removed with the controller.
    EXPECT_FALSE(shell.notifyIcon(Shell::kNimDelete, icon));
}

// Each switch between the colour and the monochrome icon loads an icon (a
// user object with its two bitmaps); the one replaced is destroyed, so a
// hundred switches leave the process's counts where they were. Wine does not
// count them (GetGuiResources answers 0); there every replaced icon must be
// gone while the one shown is still an icon.
TEST_F(TrayIconWine, SwitchingTheIconKeepsTheObjectCounts) {
    HMODULE module = programResources();
    if (!module) GTEST_SKIP() << "quorvane.exe is not beside the test program";
    auto controller = std::make_unique<TrayController>(TrayController::Ports{api, shell, hotkeys, ticks});
    ASSERT_TRUE(controller->create(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(module)), bus, displays, layouts,
                                   config));
    ASSERT_NE(controller->trayIcon().icon, 0u);
    const auto isIcon = [](IconHandle icon) {
        ICONINFO info{};
        if (!GetIconInfo(reinterpret_cast<HICON>(static_cast<uintptr_t>(icon)), &info)) return false;
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        return true;
    };
    int replacedAlive = 0;
    const auto switchIcon = [&] {
        const IconHandle replaced = controller->trayIcon().icon;
        config.monochromeIcon = !config.monochromeIcon;
        controller->refreshTrayIcon();
        if (isIcon(replaced)) ++replacedAlive;
    };
    // Both icons once, so whatever the system caches on first use is there.
    switchIcon();
    switchIcon();
    const DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);

    for (int i = 0; i < 100; ++i) switchIcon();

    EXPECT_EQ(replacedAlive, 0);
    EXPECT_TRUE(isIcon(controller->trayIcon().icon));
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), user);
    controller.reset();
    FreeLibrary(module);
}

} // namespace
} // namespace qv
