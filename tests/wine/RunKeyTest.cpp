// The Run value through the real registry: the start-with-Windows helpers and
// the registry adapter under them. Every test puts the Run key back as it was.
#include "base/Elevation.h"
#include "base/win32/Win32ProcessApi.h"
#include "base/win32/Win32Registry.h"
#include "base/win32/Win32ShellApi.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace qv {
namespace {

const wchar_t* const kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct RawValue {
    DWORD type = 0;
    std::vector<BYTE> data;
};

std::optional<RawValue> readRaw(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
    RawValue value;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

void writeRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void deleteRaw(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

class RunKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The Run key exists on every Windows; make sure it does here too.
        HKEY key = nullptr;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_READ, nullptr, &key, &disposition),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        saved_ = readRaw(L"Quorvane");
    }

    void TearDown() override {
        deleteRaw(L"Quorvane");
        if (saved_) {
            writeRaw(L"Quorvane", saved_->type, saved_->data.data(), static_cast<DWORD>(saved_->data.size()));
        }
    }

    static std::wstring quotedExecutablePath() {
        wchar_t buffer[MAX_PATH];
        DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
        return L"\"" + std::wstring(buffer, n) + L"\"";
    }

    Win32ProcessApi process;
    Win32Registry registry;
    Win32ShellApi shell;
    Elevation elevation{process, registry, shell};

private:
    std::optional<RawValue> saved_;
};

TEST_F(RunKeyTest, OnWritesTheQuotedPathAsAStringWithItsTerminator) {
    ASSERT_TRUE(elevation.setStartWithWindows(true));

    std::optional<RawValue> value = readRaw(L"Quorvane");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    const std::wstring expected = quotedExecutablePath();
    ASSERT_EQ(value->data.size(), (expected.size() + 1) * sizeof(wchar_t));
    const std::wstring stored(reinterpret_cast<const wchar_t*>(value->data.data()), expected.size() + 1);
    EXPECT_EQ(stored, expected + L'\0');
    EXPECT_TRUE(elevation.startsWithWindows());
}

TEST_F(RunKeyTest, ValueOfAnotherTypeReadsAsOff) {
    const DWORD number = 1;
    writeRaw(L"Quorvane", REG_DWORD, &number, sizeof number);
    EXPECT_FALSE(elevation.startsWithWindows());

    const wchar_t text[] = L"C:\\Somewhere\\else.exe";
    writeRaw(L"Quorvane", REG_SZ, text, sizeof text);
    EXPECT_TRUE(elevation.startsWithWindows());
}

TEST_F(RunKeyTest, OffRemovesTheValueAndSucceedsWhenItIsMissing) {
    ASSERT_TRUE(elevation.setStartWithWindows(true));

    EXPECT_TRUE(elevation.setStartWithWindows(false));
    EXPECT_FALSE(readRaw(L"Quorvane"));
    EXPECT_FALSE(elevation.startsWithWindows());

    EXPECT_TRUE(elevation.setStartWithWindows(false));
}

TEST(RegistryAdapterTest, StringValueCountsUtf16UnitsAndTheTerminator) {
    const wchar_t* const name = L"Quorvane.RegistryAdapterTest";
    Win32Registry registry;
    Registry::Key key = 0;
    ASSERT_EQ(registry.openKey(Registry::Root::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                               Registry::kKeyRead | Registry::kKeySetValue, key),
              Registry::kSuccess);

    // "Zoë" and an emoji outside the basic plane (a surrogate pair).
    const std::string text = "C:\\Users\\Zo\xC3\xAB\\\xF0\x9F\x96\xA5.exe";
    const std::wstring wide = L"C:\\Users\\Zo\u00EB\\\U0001F5A5.exe";
    EXPECT_EQ(registry.setStringValue(key, "Quorvane.RegistryAdapterTest", text), Registry::kSuccess);

    uint32_t type = 0;
    EXPECT_EQ(registry.queryValueType(key, "Quorvane.RegistryAdapterTest", type), Registry::kSuccess);
    EXPECT_EQ(type, Registry::kRegSz);
    std::optional<RawValue> value = readRaw(name);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->data.size(), (wide.size() + 1) * sizeof(wchar_t));

    EXPECT_EQ(registry.deleteValue(key, "Quorvane.RegistryAdapterTest"), Registry::kSuccess);
    EXPECT_EQ(registry.deleteValue(key, "Quorvane.RegistryAdapterTest"), Registry::kFileNotFound);
    EXPECT_EQ(registry.queryValueType(key, "Quorvane.RegistryAdapterTest", type), Registry::kFileNotFound);
    registry.closeKey(key);
    deleteRaw(name);
}

} // namespace
} // namespace qv
