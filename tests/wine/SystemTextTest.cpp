// Registry values of any size and system messages as UTF-8, against Wine's
// advapi32 and kernelbase.
#include "base/win32/RegistryValueData.h"
#include "base/win32/SystemMessage.h"
#include "base/win32/Utf16.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// A key of the test's own under HKEY_CURRENT_USER, deleted afterwards.
class ScratchKey {
public:
    ScratchKey() {
        path_ = L"Software\\QuorvaneTests\\Values" + std::to_wstring(GetCurrentProcessId());
        RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    }
    ~ScratchKey() {
        if (key_ != nullptr)
            RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    HKEY key() const { return key_; }

private:
    std::wstring path_;
    HKEY key_ = nullptr;
};

TEST(RegistryValueData, ReadsBinaryValuesOfEverySizeWhole) {
    ScratchKey scratch;
    ASSERT_NE(scratch.key(), nullptr);
    // An EDID is 128 bytes, 256 with one extension block, 384 or 512 with
    // DisplayID data; the old fixed 256-byte read lost the longer ones.
    for (size_t size : {0u, 1u, 128u, 256u, 384u, 512u, 4096u}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> written(size);
        for (size_t i = 0; i < size; ++i)
            written[i] = static_cast<uint8_t>(i * 7 + 3);
        ASSERT_EQ(RegSetValueExW(scratch.key(), L"EDID", 0, REG_BINARY, written.data(), static_cast<DWORD>(size)),
                  ERROR_SUCCESS);
        DWORD type = 0;
        std::vector<uint8_t> read{1, 2, 3};
        ASSERT_EQ(readValueData(scratch.key(), L"EDID", type, read), ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
        EXPECT_EQ(read, written);
    }
}

TEST(RegistryValueData, MissingValueReportsNotFoundAndNoBytes) {
    ScratchKey scratch;
    ASSERT_NE(scratch.key(), nullptr);
    DWORD type = 0;
    std::vector<uint8_t> read{1, 2, 3};
    EXPECT_EQ(readValueData(scratch.key(), L"EDID", type, read), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(read.empty());
}

// scripts/test runs this suite once more with Wine's locale set to Russian
// (LC_ALL): the ANSI call the adapter used before gave code-page bytes there,
// which notices showed as garbage.
TEST(SystemMessage, TextOfAnErrorCodeInTheUserLanguage) {
    EXPECT_EQ(systemMessage(0xDEADBEEF), "");
    const std::string text = systemMessage(ERROR_INVALID_PARAMETER);
    switch (PRIMARYLANGID(GetUserDefaultUILanguage())) {
    case LANG_ENGLISH:
        // Wine words it its own way; the whole text, line end and all.
        EXPECT_EQ(text, "Invalid parameter.\r\n");
        break;
    case LANG_RUSSIAN:
        EXPECT_EQ(text, "Неверный параметр.\r\n");
        break;
    default:
        GTEST_SKIP() << "no expected text for UI language " << GetUserDefaultUILanguage();
    }
}

} // namespace
} // namespace qv
