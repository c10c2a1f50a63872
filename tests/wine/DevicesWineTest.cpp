// The camera listing, device switching and app audio reset through the real
// SetupAPI and registry. Switching is refused here (no elevation, or a class
// installer that does not change devices) and must fail cleanly, never abort.
#include "audio/AppAudioReset.h"
#include "audio/DeviceSwitches.h"
#include "audio/win32/Win32DeviceTree.h"
#include "base/Elevation.h"
#include "base/win32/Win32ProcessApi.h"
#include "base/win32/Win32Registry.h"
#include "base/win32/Win32ShellApi.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace qv {
namespace {

const std::wstring kOverridesKey =
    L"Software\\Microsoft\\Internet Explorer\\LowRegistry\\Audio\\PolicyConfig\\PropertyStore";

class DevicesWineTest : public ::testing::Test {
protected:
    Win32ProcessApi process;
    Win32Registry registry;
    Win32ShellApi shell;
    Elevation elevation{process, registry, shell};
    Win32DeviceTree tree;
    DeviceSwitches switches{tree, elevation};
};

TEST_F(DevicesWineTest, ListsCamerasCleanly) {
    const std::vector<DeviceEntry> cameras = switches.listCameras();
    for (const DeviceEntry& camera : cameras) {
        EXPECT_FALSE(camera.instanceId.empty());
        EXPECT_FALSE(camera.name.empty());
        EXPECT_EQ(camera.id, camera.instanceId);
        EXPECT_EQ(camera.kind, DeviceKind::Camera);
    }
    std::printf("cameras listed: %zu\n", cameras.size());
}

TEST_F(DevicesWineTest, SwitchingADeviceFailsWithAMessage) {
    // The first device of the machine, as the switch will look for it.
    std::string id;
    if (std::unique_ptr<DeviceSet> all = tree.open(DeviceTree::Source::AllClasses)) {
        for (uint32_t i = 0; all->exists(i) && id.empty(); ++i) id = all->instanceId(i);
    }
    std::printf("first device: %s, elevated: %d\n", id.c_str(), switches.isElevated() ? 1 : 0);

    for (bool enable : {false, true}) {
        std::string message;
        if (!switches.isElevated()) {
            EXPECT_FALSE(switches.setDeviceEnabled(id.empty() ? "ROOT\\NONE\\0000" : id, enable, message));
            EXPECT_EQ(message, enable ? DeviceSwitches::kEnableNeedsAdmin : DeviceSwitches::kDisableNeedsAdmin);
            continue;
        }
        EXPECT_FALSE(switches.setDeviceEnabled("ROOT\\QUORVANE_NO_SUCH_DEVICE\\0000", enable, message));
        EXPECT_EQ(message, DeviceSwitches::kNotAttached);
        if (id.empty()) continue;
        const bool ok = switches.setDeviceEnabled(id, enable, message);
        std::printf("%s %s: %d \"%s\"\n", enable ? "enable" : "disable", id.c_str(), ok ? 1 : 0, message.c_str());
        EXPECT_FALSE(ok);
        EXPECT_EQ(message, enable ? DeviceSwitches::kEnableRefused : DeviceSwitches::kDisableRefused);
    }
    std::string message;
    EXPECT_FALSE(switches.setDeviceEnabled("", true, message));
    EXPECT_EQ(message, DeviceSwitches::kNoDevice);
}

class AppAudioResetWineTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kOverridesKey.c_str()); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kOverridesKey.c_str()); }

    static void addOverride(const std::wstring& subKey, const std::wstring& value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (kOverridesKey + L"\\" + subKey).c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static bool exists(const std::wstring& subKey) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, (kOverridesKey + L"\\" + subKey).c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    Win32Registry registry;
    AppAudioReset reset{registry};
};

TEST_F(AppAudioResetWineTest, AMissingKeyIsNothingToRemove) {
    const AppAudioResetResult result = reset.resetAppAudio("C:\\Apps\\player.exe");
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.removed, 0);
    EXPECT_EQ(result.error, "");
}

TEST_F(AppAudioResetWineTest, RemovesTheOverridesOfThePlayerOnly) {
    const std::wstring tail = L"%b{00000000-0000-0000-0000-000000000000}";
    addOverride(L"{0.0.0.00000000}.{a1}", L"{0.0.0.00000000}|\\Device\\HarddiskVolume3\\Apps\\Player.exe" + tail);
    // A deeper key under the override goes with it.
    addOverride(L"{0.0.0.00000000}.{a1}\\Nested", L"x");
    addOverride(L"{0.0.1.00000000}.{a2}", L"{0.0.1.00000000}|\\Device\\HarddiskVolume2\\Other\\player.exe" + tail);
    addOverride(L"{0.0.0.00000000}.{b1}", L"{0.0.0.00000000}|\\Device\\HarddiskVolume3\\Apps\\recorder.exe" + tail);
    // A value longer than the 2048-byte read buffer is skipped, not cut short.
    addOverride(L"{0.0.0.00000000}.{c1}",
                L"{0.0.0.00000000}|\\Device\\HarddiskVolume3\\Apps\\player.exe" + std::wstring(1100, L'x'));

    const AppAudioResetResult result = reset.resetAppAudio("C:\\Apps\\player.exe");

    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.removed, 2);
    EXPECT_FALSE(exists(L"{0.0.0.00000000}.{a1}"));
    EXPECT_FALSE(exists(L"{0.0.1.00000000}.{a2}"));
    EXPECT_TRUE(exists(L"{0.0.0.00000000}.{b1}"));
    EXPECT_TRUE(exists(L"{0.0.0.00000000}.{c1}"));
    EXPECT_EQ(reset.resetFrontAppAudio("C:\\Apps\\player.exe").title, "Already on the default");
}

} // namespace
} // namespace qv
