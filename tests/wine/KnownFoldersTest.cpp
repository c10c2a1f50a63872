#include "base/KnownFolders.h"
#include "base/win32/Win32KnownFolders.h"
#include "base/win32/Utf16.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace qv {
namespace {

TEST(Win32KnownFoldersTest, ResolveToExistingFolders) {
    struct Case {
        KnownFolder folder;
        const char* name;
    };
    const Case cases[] = {
        {KnownFolder::RoamingAppData, "RoamingAppData"},
        {KnownFolder::LocalAppData, "LocalAppData"},
        {KnownFolder::Programs, "Programs"},
        {KnownFolder::Videos, "Videos"},
    };
    Win32KnownFolders folders;
    for (const Case& c : cases) {
        const std::string path = folders.path(c.folder);
        ASSERT_FALSE(path.empty()) << c.name;
        EXPECT_EQ(path.substr(1, 2), ":\\") << c.name << ": " << path;
        DWORD attributes = GetFileAttributesW(widen(path).c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            << c.name << ": " << path;
    }
}

} // namespace
} // namespace qv
