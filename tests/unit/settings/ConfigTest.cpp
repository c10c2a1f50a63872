#include "settings/Config.h"

#include "base/LogTesting.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using sim::SimFileSystem;

const std::string kDefaultText = std::string(
                                     "{\n"
                                     "  \"autoCheckUpdates\": true,\n"
                                     "  \"autoInstallUpdates\": true,\n"
                                     "  \"autoRestoreOnHotplug\": true,\n"
                                     "  \"displayNames\": {},\n"
                                     "  \"hotkeys\": {},\n"
                                     "  \"maxPreviews\": 4,\n"
                                     "  \"monochromeIcon\": false,\n"
                                     "  \"preferElevated\": false,\n"
                                     "  \"recordingAudio\": true,\n"
                                     "  \"recordingDir\": \"\",\n"
                                     "  \"recordingFps\": 30,\n"
                                     "  \"startWithWindows\": false,\n"
                                     "  \"uiPanels\": \"\",\n"
                                     "  \"updateBaseUrl\": \"") +
                                 Config::kDefaultUpdateBaseUrl +
                                 "\",\n"
                                 "  \"updateChannel\": \"stable\",\n"
                                 "  \"version\": 1,\n"
                                 "  \"welcomeShown\": false\n"
                                 "}\n";

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        log::resetForTests();
        desk.createUserProfile();
        testing::internal::CaptureStderr();
    }

    void TearDown() override { testing::internal::GetCapturedStderr(); }

    // The text a record saves as.
    std::string savedText(const Config& c) {
        EXPECT_TRUE(c.save());
        return desk.files.content(path);
    }

    const std::string dir = "C:\\Users\\sim\\AppData\\Roaming\\Quorvane";
    const std::string path = dir + "\\config.json";
    const std::string temp = path + ".tmp";
    const std::string kept = path + ".bad";

    sim::SimDesktop desk;
};

TEST_F(ConfigTest, SettingsFolderIsCreatedUnderRoamingAppData) {
    EXPECT_EQ(configDir(), dir);
    EXPECT_TRUE(desk.files.folderExists(dir));
    EXPECT_EQ(configPath(), path);
}

TEST_F(ConfigTest, SettingsFolderFallsBackToTheCurrentDirectory) {
    desk.folders.set(KnownFolder::RoamingAppData, "");
    EXPECT_EQ(configDir(), ".\\Quorvane");
    EXPECT_TRUE(desk.files.folderExists(".\\Quorvane"));
    EXPECT_EQ(configPath(), ".\\Quorvane\\config.json");
}

TEST_F(ConfigTest, MissingFileKeepsDefaults) {
    Config c;
    EXPECT_TRUE(c.load());
    EXPECT_TRUE(desk.debug.contains("INF", "No config file yet; using defaults"));
    EXPECT_EQ(savedText(c), kDefaultText);
}

TEST_F(ConfigTest, DefaultsAreWrittenSortedWithTwoSpaces) {
    EXPECT_EQ(savedText(Config{}), kDefaultText);
    EXPECT_TRUE(desk.debug.contains("INF", "Config saved to " + path));
    EXPECT_EQ(desk.files.files(), std::vector<std::string>{path});
}

TEST_F(ConfigTest, SaveWritesATemporaryFileToDiskAndMovesItOverTheOld) {
    desk.files.setFile(path, "old");
    desk.files.clearCalls();
    ASSERT_TRUE(Config{}.save());
    std::vector<std::string> fileCalls;
    for (const auto& call : desk.files.calls())
        if (call.rfind("createFolder", 0) != 0) fileCalls.push_back(call);
    const std::vector<std::string> expected = {
        "openWrite " + temp,
        "write " + temp + " " + std::to_string(kDefaultText.size()),
        "flush " + temp,
        "commit " + temp,
        "close " + temp,
        "move " + temp + " -> " + path + " flags=9", // replace existing, write through
    };
    EXPECT_EQ(fileCalls, expected);
}

TEST_F(ConfigTest, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
    struct Case {
        SimFileSystem::Op op;
        const char* message;
    };
    const std::vector<Case> cases = {
        {SimFileSystem::Op::Open, "Cannot open config for write: "},
        {SimFileSystem::Op::Write, "Config write failed: "},
        {SimFileSystem::Op::Flush, "Config write failed: "},
        {SimFileSystem::Op::Commit, "Config write failed: "},
        {SimFileSystem::Op::Close, "Config write failed: "},
        {SimFileSystem::Op::Move, "Config write failed: "},
    };
    for (const Case& c : cases) {
        desk.files.setFile(path, "old");
        desk.files.clearFailures();
        desk.files.failOn(c.op, temp);
        desk.debug.clear();
        Config changed;
        changed.maxPreviews = 2;
        EXPECT_FALSE(changed.save()) << static_cast<int>(c.op);
        EXPECT_EQ(desk.files.content(path), "old") << static_cast<int>(c.op);
        EXPECT_FALSE(desk.files.fileExists(temp)) << static_cast<int>(c.op);
        EXPECT_TRUE(desk.debug.contains("ERR", c.message + path)) << static_cast<int>(c.op);
        EXPECT_FALSE(desk.debug.contains("INF", "Config saved to " + path)) << static_cast<int>(c.op);
    }
}

TEST_F(ConfigTest, EveryFieldSurvivesSaveAndLoad) {
    Config c;
    c.version = 7;
    c.startWithWindows = true;
    c.preferElevated = true;
    c.autoRestoreOnHotplug = false;
    c.maxPreviews = 6;
    c.recordingDir = "D:\\Clips\\Grün";
    c.recordingFps = 60;
    c.recordingAudio = false;
    c.autoCheckUpdates = false;
    c.autoInstallUpdates = false;
    c.monochromeIcon = true;
    c.uiPanels = "audio,capture";
    c.welcomeShown = true;
    c.updateChannel = "dev";
    c.updateBaseUrl = "https://example.test/quorvane";
    c.hotkeys = {{"ProjectionExtend", "Ctrl+Alt+E"}, {"GatherWindows", ""}};
    c.displayNames = {{"DEL4321#1", "Büro links"}};
    const std::string text = savedText(c);
    EXPECT_NE(text.find("\"Büro links\""), std::string::npos) << "non-ASCII is written as UTF-8";

    Config loaded;
    ASSERT_TRUE(loaded.load());
    EXPECT_TRUE(desk.debug.contains("INF", "Config loaded from " + path));
    EXPECT_EQ(loaded.recordingDir, c.recordingDir);
    EXPECT_EQ(loaded.hotkeys, c.hotkeys);
    EXPECT_EQ(loaded.displayNames, c.displayNames);
    // Saving the loaded record, and saving it again, gives the same bytes.
    EXPECT_EQ(savedText(loaded), text);
    EXPECT_EQ(savedText(loaded), text);
}

TEST_F(ConfigTest, NumbersAreClamped) {
    struct Case {
        int64_t maxPreviews, wantPreviews, recordingFps, wantFps;
    };
    const std::vector<Case> cases = {
        {0, 1, 1, 5}, {20, 8, 144, 60}, {1, 1, 5, 5}, {8, 8, 60, 60}, {-2147483648LL, 1, 2147483647, 60},
    };
    for (const Case& c : cases) {
        desk.files.setFile(path, "{\"maxPreviews\": " + std::to_string(c.maxPreviews) +
                             ", \"recordingFps\": " + std::to_string(c.recordingFps) + "}");
        Config loaded;
        EXPECT_TRUE(loaded.load());
        EXPECT_EQ(loaded.maxPreviews, c.wantPreviews) << c.maxPreviews;
        EXPECT_EQ(loaded.recordingFps, c.wantFps) << c.recordingFps;
    }
}

TEST_F(ConfigTest, AcceptedDocuments) {
    struct Case {
        const char* name;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"byte-order mark", "\xEF\xBB\xBF{\"maxPreviews\": 6}"},
        {"CR LF line ends", "{\r\n  \"maxPreviews\": 6\r\n}\r\n"},
        {"unknown member", "{\"maxPreviews\": 6, \"futureThing\": {\"a\": [1]}}"},
    };
    for (const Case& c : cases) {
        desk.files.setFile(path, c.text);
        Config loaded;
        EXPECT_TRUE(loaded.load()) << c.name;
        EXPECT_EQ(loaded.maxPreviews, 6) << c.name;
        const std::string text = savedText(loaded);
        EXPECT_EQ(text.find("futureThing"), std::string::npos) << c.name;
        EXPECT_FALSE(desk.files.fileExists(kept)) << c.name;
    }
}

TEST_F(ConfigTest, MapsKeepOnlyStringMembers) {
    desk.files.setFile(path, R"({"hotkeys": {"ProjectionExtend": "Ctrl+Alt+E", "GatherWindows": 5},
                         "displayNames": {"A": "Left", "B": null, "C": {"x": "y"}}})");
    Config loaded;
    loaded.displayNames = {{"stale", "gone"}};
    ASSERT_TRUE(loaded.load());
    EXPECT_EQ(loaded.hotkeys, (std::map<std::string, std::string>{{"ProjectionExtend", "Ctrl+Alt+E"}}));
    EXPECT_EQ(loaded.displayNames, (std::map<std::string, std::string>{{"A", "Left"}}));
}

// A document that cannot be read as settings: the error is logged, no field of it
// is applied, and the file is kept as config.json.bad (replacing an older copy)
// before the next save writes the defaults over it.
TEST_F(ConfigTest, UnreadableDocumentsKeepAllDefaultsAndAreKept) {
    struct Case {
        std::string text;
        std::string error; // after "Config parse error: "; a trailing '*' matches any rest
    };
    const std::string typo = R"("monochromeIcon": true, )"; // a valid member that must not be applied
    const std::vector<Case> cases = {
        {"{" + typo + "\"maxPreviews\": 4,", "[json.exception.parse_error.101] *"},
        {"// note\n{" + typo + "\"maxPreviews\": 4}", "[json.exception.parse_error.101] *"},
        {"", "[json.exception.parse_error.101] *"},
        {"[1, 2]", "expected an object at the top level"},
        {"null", "expected an object at the top level"},
        {"{" + typo + "\"maxPreviews\": \"4\"}", "maxPreviews: expected a number"},
        {"{" + typo + "\"maxPreviews\": 4.5}", "maxPreviews: expected a whole number from -2147483648 to 2147483647"},
        {"{" + typo + "\"version\": 2147483648}", "version: expected a whole number from -2147483648 to 2147483647"},
        {"{" + typo + "\"recordingFps\": -2147483649}",
         "recordingFps: expected a whole number from -2147483648 to 2147483647"},
        {"{" + typo + "\"startWithWindows\": 1}", "startWithWindows: expected true or false"},
        {"{" + typo + "\"welcomeShown\": null}", "welcomeShown: expected true or false"},
        {"{" + typo + "\"recordingDir\": null}", "recordingDir: expected a string"},
        {"{" + typo + "\"updateChannel\": [\"dev\"]}", "updateChannel: expected a string"},
        {"{" + typo + "\"hotkeys\": [\"Ctrl+Alt+E\"]}", "hotkeys: expected an object"},
        {"{" + typo + "\"displayNames\": \"Left\"}", "displayNames: expected an object"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        desk.files.setFile(path, c.text);
        desk.files.setFile(kept, "an older copy");
        desk.debug.clear();
        Config loaded;
        EXPECT_FALSE(loaded.load());

        const auto lines = desk.debug.lines();
        ASSERT_EQ(lines.size(), 2u);
        const std::string prefix = "[Quorvane][ERR] Config parse error: ";
        if (c.error.back() == '*') {
            EXPECT_EQ(lines[0].rfind(prefix + c.error.substr(0, c.error.size() - 1), 0), 0u) << lines[0];
        } else {
            EXPECT_EQ(lines[0], prefix + c.error + "\n");
        }
        EXPECT_EQ(lines[1], "[Quorvane][WRN] Kept unreadable config as " + kept + "\n");
        EXPECT_EQ(desk.files.content(kept), c.text);
        EXPECT_EQ(savedText(loaded), kDefaultText);
        EXPECT_EQ(desk.files.content(kept), c.text);
    }
}

TEST_F(ConfigTest, UnreadableFileIsTreatedLikeAParseError) {
    desk.files.setFile(path, "{\"maxPreviews\": 6}");
    desk.files.failOn(SimFileSystem::Op::Read, path);
    Config loaded;
    EXPECT_FALSE(loaded.load());
    EXPECT_TRUE(desk.debug.contains("ERR", "Config parse error: the file could not be read"));
    EXPECT_EQ(loaded.maxPreviews, 4);
    EXPECT_EQ(desk.files.content(kept), "{\"maxPreviews\": 6}");
}

TEST_F(ConfigTest, EmptyDisplayNameRemovesTheEntry) {
    Config c;
    c.setDisplayName("DEL4321#1", "Left");
    c.setDisplayName("SAM0001#2", "Right");
    EXPECT_EQ(c.displayNames, (std::map<std::string, std::string>{{"DEL4321#1", "Left"}, {"SAM0001#2", "Right"}}));
    c.setDisplayName("DEL4321#1", "");
    c.setDisplayName("never-named", "");
    EXPECT_EQ(c.displayNames, (std::map<std::string, std::string>{{"SAM0001#2", "Right"}}));
}

} // namespace
} // namespace qv
