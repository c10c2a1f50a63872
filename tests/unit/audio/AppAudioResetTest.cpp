#include "audio/AppAudioReset.h"

#include "base/Registry.h"
#include "sim/SimDebugOutput.h"
#include "sim/SimProcess.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace qv {
namespace {

using sim::SimProcess;
using Root = Registry::Root;

const std::string kKey = AppAudioReset::kOverridesKey;

// The default value of an override as Windows writes it: an endpoint, the
// application's path as a device path, and a property key.
std::string overrideOf(const std::string& exePath) {
    return "{0.0.0.00000000}.{5f23b2c1-8f9a-4a33-9c0e-1d2f3a4b5c6d}|\\Device\\HarddiskVolume3\\" + exePath +
           "%b{00000000-0000-0000-0000-000000000000}";
}

class AppAudioResetTest : public ::testing::Test {
protected:
    void addOverride(const std::string& subKey, const std::string& value, uint32_t type = Registry::kRegSz) {
        sim.setValue(Root::CurrentUser, kKey + "\\" + subKey, "", {type, value, 0});
    }
    bool hasOverride(const std::string& subKey) const { return sim.hasKey(Root::CurrentUser, kKey + "\\" + subKey); }
    std::vector<std::string> infoLines() const {
        std::vector<std::string> found;
        for (const std::string& line : log.lines())
            if (line.rfind("[Quorvane][INF] Cleared", 0) == 0) found.push_back(line);
        return found;
    }

    sim::CapturedLog log;
    SimProcess sim;
    AppAudioReset reset{sim};
};

TEST_F(AppAudioResetTest, RemovesTheOverridesOfTheExecutableName) {
    struct Case {
        const char* name;
        std::string imagePath;
        std::map<std::string, std::string> overrides; // subkey → the path inside its value
        std::set<std::string> removed;
    };
    const std::vector<Case> cases = {
        {"case and folder are ignored",
         "C:\\Apps\\Player.EXE",
         {{"k1", "c:\\other\\player.exe"}, {"k2", "Windows\\System32\\notepad.exe"}},
         {"k1"}},
        {"one for playback and one for recording",
         "C:\\Apps\\player.exe",
         {{"render", "Apps\\player.exe"}, {"capture", "Program Files\\Player\\PLAYER.exe"}, {"other", "x\\y.exe"}},
         {"render", "capture"}},
        {"a.exe does not match ba.exe",
         "D:\\tools\\a.exe",
         {{"ba", "tools\\ba.exe"}, {"a", "elsewhere\\A.EXE"}},
         {"a"}},
        {"forward slashes separate folders too", "C:/Apps/player.exe", {{"k", "Apps\\player.exe"}}, {"k"}},
        {"a bare file name", "player.exe", {{"k", "Apps\\player.exe"}}, {"k"}},
        {"nothing matches", "C:\\Apps\\player.exe", {{"k", "Apps\\recorder.exe"}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.removeKey(Root::CurrentUser, kKey);
        sim.addKey(Root::CurrentUser, kKey);
        for (const auto& [subKey, path] : c.overrides) addOverride(subKey, overrideOf(path));
        log.clear();

        const AppAudioResetResult result = reset.resetAppAudio(c.imagePath);

        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(result.removed, static_cast<int32_t>(c.removed.size()));
        for (const auto& [subKey, path] : c.overrides)
            EXPECT_EQ(hasOverride(subKey), c.removed.count(subKey) == 0) << subKey;
        if (c.removed.empty()) {
            EXPECT_TRUE(infoLines().empty());
        } else {
            EXPECT_EQ(infoLines(), std::vector<std::string>{"[Quorvane][INF] Cleared " +
                                                            std::to_string(c.removed.size()) +
                                                            " audio override(s) for " + c.imagePath + "\n"});
        }
        EXPECT_EQ(sim.openKeyCount(), 0u);
    }
}

TEST_F(AppAudioResetTest, SkipsUnreadableValuesAndKeepsDeletingAfterAFailure) {
    addOverride("1-binary", overrideOf("Apps\\player.exe"), Registry::kRegBinary);
    addOverride("2-too-long", overrideOf("Apps\\player.exe") + std::string(1100, 'x'));
    sim.addKey(Root::CurrentUser, kKey + "\\3-no-default");
    addOverride("4-locked", overrideOf("Apps\\player.exe"));
    addOverride("5-plain", overrideOf("Apps\\player.exe"));
    sim.undeletableKeys.insert("HKCU\\" + kKey + "\\4-LOCKED");

    const AppAudioResetResult result = reset.resetAppAudio("C:\\Apps\\player.exe");

    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.removed, 1);
    EXPECT_TRUE(hasOverride("1-binary"));
    EXPECT_TRUE(hasOverride("2-too-long"));
    EXPECT_TRUE(hasOverride("3-no-default"));
    EXPECT_TRUE(hasOverride("4-locked"));
    EXPECT_FALSE(hasOverride("5-plain"));
    EXPECT_EQ(infoLines(),
              std::vector<std::string>{"[Quorvane][INF] Cleared 1 audio override(s) for C:\\Apps\\player.exe\n"});
}

TEST_F(AppAudioResetTest, AMissingOrClosedKeyIsNothingToRemove) {
    for (bool denied : {false, true}) {
        SCOPED_TRACE(denied ? "access denied" : "no key");
        if (denied) {
            addOverride("k", overrideOf("Apps\\player.exe"));
            sim.deniedAccess = Registry::kKeyCreateSubKey;
        }
        const AppAudioResetResult result = reset.resetAppAudio("C:\\Apps\\player.exe");
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.removed, 0);
        EXPECT_EQ(result.error, "");
    }
    EXPECT_TRUE(hasOverride("k"));
    EXPECT_TRUE(infoLines().empty());
}

TEST_F(AppAudioResetTest, APathWithoutAnExecutableNameRemovesNothing) {
    addOverride("k", overrideOf("Apps\\player.exe"));
    for (const char* path : {"", "C:\\Apps\\", "C:/"}) {
        SCOPED_TRACE(path);
        const AppAudioResetResult result = reset.resetAppAudio(path);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.removed, 0);
        EXPECT_EQ(result.error, "Couldn't tell which app is in front.");
    }
    EXPECT_TRUE(hasOverride("k"));
}

TEST_F(AppAudioResetTest, TheFlyoutResetEndsInOneOfFourNotices) {
    struct Case {
        const char* imagePath;
        int overrides;
        AppAudioNotice notice;
    };
    const std::vector<Case> cases = {
        {"", 1,
         {true, "Nothing to reset", "Couldn't tell which app was in front. Click the app, then reopen this menu."}},
        {"C:\\Apps\\", 1, {true, "Couldn't reset app audio", "Couldn't tell which app is in front."}},
        {"C:\\Apps\\Player.exe", 0,
         {false, "Already on the default",
          "Player.exe has no saved device override \u2014 it's already following the system default."}},
        {"C:\\Apps\\Player.exe", 2,
         {false, "Audio reset",
          "Player.exe will use the system default again. If it's mid-call, restart the call for it to take "
          "effect."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.imagePath) + " with " + std::to_string(c.overrides));
        sim.removeKey(Root::CurrentUser, kKey);
        for (int i = 0; i < c.overrides; ++i) addOverride("k" + std::to_string(i), overrideOf("Apps\\player.exe"));

        const AppAudioNotice notice = reset.resetFrontAppAudio(c.imagePath);

        EXPECT_EQ(notice.warning, c.notice.warning);
        EXPECT_EQ(notice.title, c.notice.title);
        EXPECT_EQ(notice.text, c.notice.text);
    }
}

} // namespace
} // namespace qv
