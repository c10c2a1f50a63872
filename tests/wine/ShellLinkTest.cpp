// Start-menu shortcuts through the real shell link object.
#include "base/win32/Win32ShellApi.h"
#include "base/win32/Utf16.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <objbase.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <string>

namespace qv {
namespace {

using Microsoft::WRL::ComPtr;

TEST(ShellLinkTest, SavesAShortcutWithTheGivenFields) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)));
    TempFolder folder("qv-shelllink");
    ASSERT_FALSE(folder.path().empty());
    CreateDirectoryW(widen(folder.path()).c_str(), nullptr);
    const std::string path = folder.path() + "\\Quorvane.lnk";

    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    ShellApi::ShellLink link;
    link.target = narrow(exe);
    link.workingDirectory = link.target.substr(0, link.target.find_last_of("\\/"));
    link.description = "Keyboard-driven multi-monitor control";
    link.iconPath = link.target;
    link.iconIndex = 0;

    Win32ShellApi shell;
    EXPECT_FALSE(shell.pathExists(path));
    ASSERT_TRUE(shell.createShellLink(link, path));
    EXPECT_TRUE(shell.pathExists(path));

    ComPtr<IShellLinkW> loaded;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&loaded))));
    ComPtr<IPersistFile> file;
    ASSERT_TRUE(SUCCEEDED(loaded.As(&file)));
    ASSERT_TRUE(SUCCEEDED(file->Load(widen(path).c_str(), STGM_READ)));
    wchar_t text[MAX_PATH] = {};
    loaded->GetPath(text, MAX_PATH, nullptr, 0);
    EXPECT_EQ(narrow(text), link.target);
    loaded->GetWorkingDirectory(text, MAX_PATH);
    EXPECT_EQ(narrow(text), link.workingDirectory);
    loaded->GetDescription(text, MAX_PATH);
    EXPECT_EQ(narrow(text), link.description);
    int icon = -1;
    loaded->GetIconLocation(text, MAX_PATH, &icon);
    EXPECT_EQ(narrow(text), link.iconPath);
    EXPECT_EQ(icon, 0);

    file.Reset();
    loaded.Reset();
    CoUninitialize();
}

} // namespace
} // namespace qv
