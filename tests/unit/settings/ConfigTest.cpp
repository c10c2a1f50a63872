#include "settings/Config.h"

#include "base/LogTesting.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

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
                                     "  \"hotplugSettleMs\": 3000,\n"
                                     "  \"lastAutoInstallVersion\": \"\",\n"
                                     "  \"maxPreviews\": 4,\n"
                                     "  \"monochromeIcon\": false,\n"
                                     "  \"preferElevated\": false,\n"
                                     "  \"recordingAudio\": true,\n"
                                     "  \"recordingDir\": \"\",\n"
                                     "  \"recordingFps\": 30,\n"
                                     "  \"restoreWindowsOnReconnect\": true,\n"
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
    c.lastAutoInstallVersion = "1.4.0";
    c.hotkeys = {{"ProjectionExtend", "Ctrl+Alt+E"}, {"GatherWindows", ""}};
    c.displayNames = {{"DEL4321#1", "Büro links"}};
    const std::string text = savedText(c);
    EXPECT_NE(text.find("\"Büro links\""), std::string::npos) << "non-ASCII is written as UTF-8";

    Config loaded;
    ASSERT_TRUE(loaded.load());
    EXPECT_TRUE(desk.debug.contains("INF", "Config loaded from " + path));
    EXPECT_EQ(loaded.recordingDir, c.recordingDir);
    EXPECT_EQ(loaded.lastAutoInstallVersion, "1.4.0");
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

// Text that is not a settings document: the error is logged, nothing of it
// is applied, and the file is kept as config.json.bad (replacing an older
// copy) before the next save writes the defaults over it.
TEST_F(ConfigTest, TextThatIsNoDocumentKeepsAllDefaultsAndIsKept) {
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

// One value of the wrong type costs that value only: it takes its default,
// every other member (hotkeys, names) loads, and the file as the user wrote
// it is kept as config.json.bad before a save replaces it.
TEST_F(ConfigTest, AWrongTypedValueTakesItsDefaultAndTheRestLoads) {
    struct Case {
        std::string member;         // "name": value
        std::string ignored;        // after "Config value ignored: "; empty: nothing ignored
        std::function<void(const Config&)> check;
    };
    const std::string wholeNumber = "expected a whole number from -2147483648 to 2147483647";
    const std::vector<Case> cases = {
        {R"("maxPreviews": 2.0)", "", [](const Config& c) { EXPECT_EQ(c.maxPreviews, 2); }},
        {R"("recordingFps": 60.0)", "", [](const Config& c) { EXPECT_EQ(c.recordingFps, 60); }},
        {R"("maxPreviews": 2.5)", "maxPreviews: " + wholeNumber, [](const Config& c) { EXPECT_EQ(c.maxPreviews, 4); }},
        {R"("maxPreviews": "4")", "maxPreviews: expected a number", [](const Config& c) { EXPECT_EQ(c.maxPreviews, 4); }},
        {R"("version": 2147483648)", "version: " + wholeNumber, [](const Config& c) { EXPECT_EQ(c.version, 1); }},
        {R"("recordingFps": -2147483649)", "recordingFps: " + wholeNumber,
         [](const Config& c) { EXPECT_EQ(c.recordingFps, 30); }},
        {R"("recordingFps": 1e300)", "recordingFps: " + wholeNumber,
         [](const Config& c) { EXPECT_EQ(c.recordingFps, 30); }},
        {R"("autoRestoreOnHotplug": 0)", "autoRestoreOnHotplug: expected true or false",
         [](const Config& c) { EXPECT_TRUE(c.autoRestoreOnHotplug); }},
        {R"("welcomeShown": null)", "welcomeShown: expected true or false",
         [](const Config& c) { EXPECT_FALSE(c.welcomeShown); }},
        {R"("recordingDir": null)", "recordingDir: expected a string",
         [](const Config& c) { EXPECT_EQ(c.recordingDir, ""); }},
        {R"("updateChannel": ["dev"])", "updateChannel: expected a string",
         [](const Config& c) { EXPECT_EQ(c.updateChannel, "stable"); }},
        {R"("lastAutoInstallVersion": 140)", "lastAutoInstallVersion: expected a string",
         [](const Config& c) { EXPECT_EQ(c.lastAutoInstallVersion, ""); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.member);
        const std::string text = R"({"hotkeys": {"GatherWindows": "Ctrl+Alt+W"}, "displayNames": {"DEL-41A8": "Left"},)"
                                 R"( "monochromeIcon": true, )" + c.member + "}";
        desk.files.setFile(path, text);
        desk.files.removeFile(kept);
        desk.debug.clear();
        Config loaded;
        loaded.recordingDir = "not the default";
        loaded.welcomeShown = true;
        EXPECT_TRUE(loaded.load());
        c.check(loaded);
        EXPECT_TRUE(loaded.monochromeIcon);
        EXPECT_EQ(loaded.hotkeys, (std::map<std::string, std::string>{{"GatherWindows", "Ctrl+Alt+W"}}));
        EXPECT_EQ(loaded.displayNames, (std::map<std::string, std::string>{{"DEL-41A8", "Left"}}));

        std::vector<std::string> expected;
        if (!c.ignored.empty()) {
            expected.push_back("[Quorvane][WRN] Config value ignored: " + c.ignored + "\n");
            expected.push_back("[Quorvane][WRN] Kept unreadable config as " + kept + "\n");
        }
        expected.push_back("[Quorvane][INF] Config loaded from " + path + "\n");
        EXPECT_EQ(desk.debug.lines(), expected);
        EXPECT_EQ(desk.files.fileExists(kept), !c.ignored.empty());
        ASSERT_TRUE(loaded.save());
        if (!c.ignored.empty()) {
            EXPECT_EQ(desk.files.content(kept), text);
        }
    }
}

// The maps take their string members; anything else is dropped, and the file
// is kept so that the dropped bindings and names are not lost silently.
TEST_F(ConfigTest, MapsKeepOnlyStringMembersAndKeepTheFile) {
    const std::string text = R"({"hotkeys": {"ProjectionExtend": "Ctrl+Alt+E", "GatherWindows": 5},
                         "displayNames": {"A": "Left", "B": null, "C": {"x": "y"}}, "maxPreviews": 6})";
    desk.files.setFile(path, text);
    Config loaded;
    loaded.displayNames = {{"stale", "gone"}};
    ASSERT_TRUE(loaded.load());
    EXPECT_EQ(loaded.hotkeys, (std::map<std::string, std::string>{{"ProjectionExtend", "Ctrl+Alt+E"}}));
    EXPECT_EQ(loaded.displayNames, (std::map<std::string, std::string>{{"A", "Left"}}));
    EXPECT_EQ(loaded.maxPreviews, 6);
    EXPECT_TRUE(desk.debug.contains("WRN", "Config value ignored: hotkeys.GatherWindows: expected a string"));
    EXPECT_TRUE(desk.debug.contains("WRN", "Config value ignored: displayNames.B: expected a string"));
    EXPECT_EQ(desk.files.content(kept), text);

    desk.files.setFile(path, R"({"hotkeys": ["Ctrl+Alt+E"], "displayNames": "Left"})");
    Config wrongShape;
    wrongShape.hotkeys = {{"stale", "gone"}};
    ASSERT_TRUE(wrongShape.load());
    EXPECT_TRUE(wrongShape.hotkeys.empty());
    EXPECT_TRUE(wrongShape.displayNames.empty());
    EXPECT_TRUE(desk.debug.contains("WRN", "Config value ignored: hotkeys: expected an object"));
    EXPECT_TRUE(desk.debug.contains("WRN", "Config value ignored: displayNames: expected an object"));
}

// A settings file that exists but cannot be opened (another program holds it,
// access is denied) is not a missing one: the user's settings are never
// replaced by defaults unless a copy of them was made first.
TEST_F(ConfigTest, AFileThatCannotBeOpenedIsNeverReplacedWithoutACopy) {
    const std::string mine = R"({"hotkeys": {"GatherWindows": "Ctrl+Alt+W"}, "maxPreviews": 6})";
    struct Case {
        const char* what;
        std::function<void(SimFileSystem&, const std::string&)> block;
        std::string why;   // in the log line
        bool copied;       // a .bad copy could be made, so saving may go on
    };
    const std::vector<Case> cases = {
        {"held open without sharing",
         [](SimFileSystem& files, const std::string& p) { files.holdWithoutSharing(p); },
         "The process cannot access the file because it is being used by another process (0x20)", false},
        {"access denied for reading only",
         [](SimFileSystem& files, const std::string& p) { files.failOn(SimFileSystem::Op::Open, p); },
         "Access is denied (0x5)", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        desk.files.setFile(path, mine);
        desk.files.removeFile(kept);
        desk.debug.clear();
        c.block(desk.files, path);

        Config config;
        EXPECT_FALSE(config.load());
        EXPECT_EQ(config.maxPreviews, 4);
        EXPECT_TRUE(desk.debug.contains("ERR", "Cannot open config for read: " + path + " (" + c.why + ")"));
        // The start-up save and the one at exit.
        config.hotkeys["ProjectionExtend"] = "Ctrl+Alt+E";
        EXPECT_EQ(config.save(), c.copied);
        desk.files.release(path);
        desk.files.clearFailures();
        EXPECT_EQ(config.save(), c.copied);
        if (c.copied) {
            EXPECT_EQ(desk.files.content(kept), mine);
            EXPECT_NE(desk.files.content(path), mine);
        } else {
            EXPECT_EQ(desk.files.content(path), mine);
            EXPECT_FALSE(desk.files.fileExists(kept));
            EXPECT_TRUE(desk.debug.contains("ERR", "Could not keep unreadable config as " + kept + "; " + path +
                                                       " is left as it is and not written during this run"));
            EXPECT_TRUE(desk.debug.contains(
                "ERR", "Config not saved: " + path + " could not be read at start and no copy of it could be made"));
        }
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
