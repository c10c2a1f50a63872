// The update's staging services for real: the shared Windows folder, a folder
// made with a protected DACL and read back, and a helper started through
// cmd.exe that runs on, ends at once, or cannot start.
#include "base/win32/Utf16.h"
#include "update/win32/Win32UpdateStaging.h"
#include "wine/WineTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <functional>
#include <string>

namespace qv {
namespace {

// The descriptor the installer gives its staging folder, written here from
// the SDDL reference (learn.microsoft.com/windows/win32/secauthz/
// security-descriptor-string-format, ace-strings, sid-strings).
constexpr const char* kSddl = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";
// FILE_ALL_ACCESS and FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, from the
// "File Security and Access Rights" page of learn.microsoft.com.
constexpr DWORD kFileAllAccess = 0x1F01FF;
constexpr DWORD kReadAndExecute = 0x1200A9;

class UpdateStagingWine : public TempFolderTest {
protected:
    UpdateStagingWine() : TempFolderTest("qv-staging") {}

    void SetUp() override {
        TempFolderTest::SetUp();
        CreateDirectoryW(widen(root).c_str(), nullptr);
    }

    // A script in its own folder under the test folder; the folder's name is given.
    std::string writeScript(const std::string& folderName, const std::string& lines) {
        const std::string folder = root + "\\" + folderName;
        writeFile(folder + "\\helper.cmd", "@echo off\r\n" + lines);
        return folder + "\\helper.cmd";
    }

    Win32UpdateStaging staging;
};

TEST_F(UpdateStagingWine, TheWindowsFolderExists) {
    std::string windows;
    ASSERT_TRUE(staging.windowsFolder(windows));
    ASSERT_FALSE(windows.empty());
    EXPECT_NE(windows.back(), '\\');
    const DWORD attributes = GetFileAttributesW(widen(windows + "\\Temp").c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Checks a security descriptor's DACL against the staging folder's entries:
// protected, then the system, administrators and users, in that order.
void expectStagingEntries(PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing is inherited from the parent";

    ULONG count = 0;
    PEXPLICIT_ACCESS_W entries = nullptr;
    ASSERT_EQ(GetExplicitEntriesFromAclW(dacl, &count, &entries), static_cast<DWORD>(ERROR_SUCCESS));
    struct Expected {
        WELL_KNOWN_SID_TYPE sid;
        DWORD access;
    };
    const Expected expected[] = {
        {WinLocalSystemSid, kFileAllAccess},
        {WinBuiltinAdministratorsSid, kFileAllAccess},
        {WinBuiltinUsersSid, kReadAndExecute},
    };
    EXPECT_EQ(count, 3u);
    for (ULONG i = 0; i < count && i < 3; ++i) {
        SCOPED_TRACE(i);
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof sid;
        ASSERT_TRUE(CreateWellKnownSid(expected[i].sid, nullptr, sid, &size));
        ASSERT_EQ(entries[i].Trustee.TrusteeForm, TRUSTEE_IS_SID);
        EXPECT_TRUE(EqualSid(entries[i].Trustee.ptstrName, sid));
        EXPECT_EQ(entries[i].grfAccessMode, GRANT_ACCESS);
        EXPECT_EQ(entries[i].grfAccessPermissions, expected[i].access);
        EXPECT_EQ(entries[i].grfInheritance, static_cast<DWORD>(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
    }
    LocalFree(entries);
}

bool underWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// The descriptor text itself: only the system and administrators may write.
TEST(UpdateStagingSddl, GrantsWritingToTheSystemAndAdministratorsOnly) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(widen(kSddl).c_str(), SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    expectStagingEntries(descriptor);
    LocalFree(descriptor);
}

TEST_F(UpdateStagingWine, AProtectedFolderIsMadeOnceAndRemoved) {
    const std::string folder = root + "\\protected";
    ASSERT_TRUE(staging.createFolder(folder, kSddl));
    EXPECT_FALSE(staging.createFolder(folder, kSddl)) << "a folder that exists is not taken over";
    EXPECT_FALSE(staging.createFolder(root + "\\other", "not SDDL"));
    EXPECT_FALSE(exists(root + "\\other"));

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring path = widen(folder);
    ASSERT_EQ(GetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                    nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    const bool kept = GetSecurityDescriptorControl(descriptor, &control, &revision) && (control & SE_DACL_PROTECTED);
    if (kept || !underWine()) expectStagingEntries(descriptor);
    LocalFree(descriptor);

    EXPECT_TRUE(staging.removeFolder(folder));
    EXPECT_FALSE(exists(folder));
    EXPECT_FALSE(staging.removeFolder(folder));
    if (!kept && underWine())
        GTEST_SKIP() << "Wine reports a folder's DACL made from its Unix mode, not the one it was created with; "
                        "the descriptor's own entries are checked by UpdateStagingSddl";
}

// cmd.exe /s /c with the path in two pairs of quotes runs the script even
// from a folder whose name holds & ( ) ^ @ and spaces.
TEST_F(UpdateStagingWine, AHelperThatRunsOnEndsAtOnceOrCannotStart) {
    const std::string running = writeScript("R&D (x86) ^@ 1",
                                            "echo ran> \"%~dp0ran.txt\"\r\n"
                                            ":loop\r\n"
                                            "if not exist \"%~dp0stop.txt\" goto loop\r\n"
                                            "echo stopped> \"%~dp0stopped.txt\"\r\n");
    const std::string folder = root + "\\R&D (x86) ^@ 1";
    EXPECT_EQ(staging.startProcess("cmd.exe", "/s /c \"\"" + running + "\"\"", "", SW_HIDE, 2000),
              UpdateStaging::Start::Running);
    const auto waitFor = [](const std::function<bool()>& done) {
        for (int i = 0; i < 300 && !done(); ++i) Sleep(50);
        return done();
    };
    EXPECT_TRUE(waitFor([&] { return exists(folder + "\\ran.txt"); })) << "the script ran from its quoted path";
    writeFile(folder + "\\stop.txt", "");
    EXPECT_TRUE(waitFor([&] { return exists(folder + "\\stopped.txt"); }));

    const std::string quick = writeScript("R&D (x86) ^@ 2", "echo done> \"%~dp0done.txt\"\r\n");
    EXPECT_EQ(staging.startProcess("cmd.exe", "/s /c \"\"" + quick + "\"\"", "", SW_HIDE, 20000),
              UpdateStaging::Start::Exited);
    EXPECT_TRUE(exists(root + "\\R&D (x86) ^@ 2\\done.txt"));

    // Started by its bare name in its folder.
    writeScript("plain 3", "echo here> \"%cd%\\here.txt\"\r\n");
    EXPECT_EQ(staging.startProcess("cmd.exe", "/s /c \"\"helper.cmd\"\"", root + "\\plain 3", SW_HIDE, 20000),
              UpdateStaging::Start::Exited);
    EXPECT_TRUE(exists(root + "\\plain 3\\here.txt"));

    EXPECT_EQ(staging.startProcess(root + "\\no-such-program.exe", "", "", SW_HIDE, 1000),
              UpdateStaging::Start::Failed);
}

} // namespace
} // namespace qv
