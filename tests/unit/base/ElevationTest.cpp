#include "base/Elevation.h"

#include "base/Registry.h"
#include "sim/SimProcess.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qv {
namespace {

using sim::SimProcess;

const std::string kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr uint32_t kRegExpandSz = 2;

class ElevationTest : public ::testing::Test {
protected:
    void setRunValue(uint32_t type, const std::string& text = "\"C:\\Elsewhere\\quorvane.exe\"") {
        sim.setValue(Registry::Root::CurrentUser, kRunKey, "Quorvane", {type, text, 0});
    }
    std::optional<SimProcess::Value> runValue() const {
        return sim.value(Registry::Root::CurrentUser, kRunKey, "Quorvane");
    }

    SimProcess sim;
    Elevation elevation{sim, sim, sim};
};

TEST_F(ElevationTest, ElevatedOnlyWhenTheTokenSaysSo) {
    struct Case {
        bool queryFails;
        uint32_t value;
        bool elevated;
    };
    for (const Case& c : std::vector<Case>{{false, 0, false}, {false, 1, true}, {true, 1, false}}) {
        sim.tokenQueryFails = c.queryFails;
        sim.tokenElevationValue = c.value;
        EXPECT_EQ(elevation.isElevated(), c.elevated) << "fails=" << c.queryFails << " value=" << c.value;
    }
}

TEST_F(ElevationTest, StartsWithWindowsOnlyForAStringRunValue) {
    struct Case {
        const char* name;
        std::optional<uint32_t> type;  // nullopt: no value
        bool runKeyExists;
        uint32_t deniedAccess;
        bool starts;
    };
    const std::vector<Case> cases = {
        {"REG_SZ, whatever path it holds", Registry::kRegSz, true, 0, true},
        {"REG_EXPAND_SZ", kRegExpandSz, true, 0, false},
        {"REG_DWORD", Registry::kRegDword, true, 0, false},
        {"no value", std::nullopt, true, 0, false},
        {"no Run key", std::nullopt, false, 0, false},
        {"key cannot be opened", Registry::kRegSz, true, Registry::kKeyRead, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim = SimProcess();
        if (!c.runKeyExists) sim.removeKey(Registry::Root::CurrentUser, kRunKey);
        if (c.type) setRunValue(*c.type);
        sim.deniedAccess = c.deniedAccess;

        EXPECT_EQ(elevation.startsWithWindows(), c.starts);
        EXPECT_EQ(sim.openKeyCount(), 0u);
    }
}

TEST_F(ElevationTest, SwitchingOnWritesTheQuotedExecutablePath) {
    sim.exePath = "C:\\Program Files\\Quorvane\\quorvane.exe";

    EXPECT_TRUE(elevation.setStartWithWindows(true));

    EXPECT_EQ(sim.calls, (std::vector<std::string>{
                             "RegOpenKeyExW(HKCU\\" + kRunKey + ", 0x2)",
                             "GetModuleFileNameW",
                             "RegSetValueExW(Quorvane, REG_SZ, \"C:\\Program Files\\Quorvane\\quorvane.exe\", 82)",
                             "RegCloseKey",
                         }));
    ASSERT_TRUE(runValue());
    EXPECT_EQ(runValue()->type, Registry::kRegSz);
    EXPECT_EQ(runValue()->text, "\"C:\\Program Files\\Quorvane\\quorvane.exe\"");
    EXPECT_TRUE(elevation.startsWithWindows());
}

TEST_F(ElevationTest, SwitchingFollowsTheRunKeysOutcome) {
    struct Case {
        const char* name;
        bool on;
        std::optional<uint32_t> existing;
        uint32_t deniedAccess;
        bool modulePathFails;
        bool ok;
        bool valueAfter;
    };
    const std::vector<Case> cases = {
        {"off deletes the value", false, Registry::kRegSz, 0, false, true, false},
        {"off without a value succeeds", false, std::nullopt, 0, false, true, false},
        {"off deletes a value of another type", false, Registry::kRegDword, 0, false, true, false},
        {"on replaces a value of another type", true, Registry::kRegDword, 0, false, true, true},
        {"key cannot be opened for writing", true, std::nullopt, Registry::kKeySetValue, false, false, false},
        {"off, key cannot be opened", false, Registry::kRegSz, Registry::kKeySetValue, false, false, true},
        {"executable path unknown", true, std::nullopt, 0, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim = SimProcess();
        if (c.existing) setRunValue(*c.existing);
        sim.deniedAccess = c.deniedAccess;
        sim.modulePathFails = c.modulePathFails;

        EXPECT_EQ(elevation.setStartWithWindows(c.on), c.ok);

        EXPECT_EQ(runValue().has_value(), c.valueAfter);
        if (c.valueAfter && c.on) {
            EXPECT_EQ(runValue()->type, Registry::kRegSz);
        }
        EXPECT_EQ(sim.openKeyCount(), 0u);
    }
}

TEST_F(ElevationTest, RelaunchStartsTheElevatedCopyAndQuits) {
    struct Case {
        const char* name;
        bool modulePathFails;
        bool declined;
        bool relaunched;
        std::vector<std::string> calls;
    };
    const std::string execute =
        "ShellExecuteExW(runas, C:\\Program Files\\Quorvane\\quorvane.exe, --relaunched, 0x100, 1)";
    const std::vector<Case> cases = {
        {"accepted", false, false, true, {"GetModuleFileNameW", execute, "PostQuitMessage(0)"}},
        {"declined", false, true, false, {"GetModuleFileNameW", execute}},
        {"no executable path", true, false, false, {"GetModuleFileNameW"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim = SimProcess();
        sim.modulePathFails = c.modulePathFails;
        sim.shellExecuteFails = c.declined;

        EXPECT_EQ(elevation.relaunchElevated(), c.relaunched);
        EXPECT_EQ(sim.calls, c.calls);
    }
}

TEST_F(ElevationTest, FreeFunctionsUseTheInstalledInstance) {
    setRunValue(Registry::kRegSz);
    sim.tokenElevationValue = 1;
    Elevation* previous = Elevation::install(nullptr);
    EXPECT_FALSE(isElevated());
    EXPECT_FALSE(startsWithWindows());
    EXPECT_FALSE(setStartWithWindows(false));
    relaunchElevated();
    EXPECT_TRUE(sim.calls.empty());

    Elevation::install(&elevation);
    EXPECT_TRUE(isElevated());
    EXPECT_TRUE(startsWithWindows());
    EXPECT_TRUE(setStartWithWindows(false));
    EXPECT_FALSE(startsWithWindows());
    Elevation::install(previous);
}

} // namespace
} // namespace qv
