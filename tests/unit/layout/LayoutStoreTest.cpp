#include "layout/LayoutStore.h"

#include "LayoutTestFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

using sim::SimFileSystem;

class LayoutStoreTest : public test::LayoutFixture {
protected:
    // The file's calls other than creating the settings folder.
    std::vector<std::string> fileCalls() const {
        std::vector<std::string> out;
        for (const auto& call : desk.files.calls())
            if (call.rfind("createFolder", 0) != 0) out.push_back(call);
        return out;
    }

    LayoutStore store;
};

TEST_F(LayoutStoreTest, FileListsMembersInByteOrderWithTwoSpaces) {
    desk.files.setFile(path, R"({"layouts": [
        {"name": "Desk", "displays": [
            {"key": "ABC-12CD-0x0001E240", "x": 0, "y": 0, "width": 2560, "height": 1440,
             "refreshHz": 144, "orientation": 0, "primary": true},
            {"key": "DEL-41A8", "x": -1080, "y": -240, "width": 1080, "height": 1920,
             "refreshHz": 60, "orientation": 1, "primary": false}]},
        {"name": "Büro", "displays": []}]})");
    ASSERT_TRUE(store.load());
    EXPECT_TRUE(desk.debug.contains("INF", "Loaded 2 layout(s)"));
    EXPECT_EQ(store.names(), (std::vector<std::string>{"Desk", "Büro"}));

    ASSERT_TRUE(store.save());
    EXPECT_EQ(desk.files.content(path), "{\n"
                                "  \"layouts\": [\n"
                                "    {\n"
                                "      \"displays\": [\n"
                                "        {\n"
                                "          \"height\": 1440,\n"
                                "          \"key\": \"ABC-12CD-0x0001E240\",\n"
                                "          \"orientation\": 0,\n"
                                "          \"primary\": true,\n"
                                "          \"refreshHz\": 144,\n"
                                "          \"width\": 2560,\n"
                                "          \"x\": 0,\n"
                                "          \"y\": 0\n"
                                "        },\n"
                                "        {\n"
                                "          \"height\": 1920,\n"
                                "          \"key\": \"DEL-41A8\",\n"
                                "          \"orientation\": 1,\n"
                                "          \"primary\": false,\n"
                                "          \"refreshHz\": 60,\n"
                                "          \"width\": 1080,\n"
                                "          \"x\": -1080,\n"
                                "          \"y\": -240\n"
                                "        }\n"
                                "      ],\n"
                                "      \"name\": \"Desk\"\n"
                                "    },\n"
                                "    {\n"
                                "      \"displays\": [],\n"
                                "      \"name\": \"Büro\"\n"
                                "    }\n"
                                "  ]\n"
                                "}\n");
    EXPECT_EQ(fileCalls().back(), "move " + temp + " -> " + path + " flags=9"); // replace, write through
}

TEST_F(LayoutStoreTest, DisplayMembersDefaultAndUnknownOrientationsBecomeLandscape) {
    desk.files.setFile(path, R"({"layouts": [{"displays": [
        {"key": "A"},
        {"orientation": 7, "primary": true},
        {"orientation": -1},
        {"orientation": 2.5},
        {"orientation": 3, "x": -2147483648, "y": 2147483647, "width": 4294967295, "refreshHz": 0}]}]})");
    ASSERT_TRUE(store.load());
    ASSERT_EQ(store.layouts().size(), 1u);
    EXPECT_EQ(store.layouts()[0].name, "");
    DisplayPlacement extreme;
    extreme.orientation = 3;
    extreme.x = -2147483647 - 1;
    extreme.y = 2147483647;
    extreme.width = 4294967295u;
    DisplayPlacement primary;
    primary.primary = true;
    const std::vector<DisplayPlacement> expected = {at("A", 0, 0), primary, {}, {}, extreme};
    EXPECT_EQ(store.layouts()[0].placements, expected);
}

// Each case loads over a store that already holds the layout "Old". A document
// the store can use replaces it; one it cannot use leaves it, is logged and is
// kept as layouts.json.bad. Where the format passes over a value, the file is
// kept too, because the next save drops what was there.
TEST_F(LayoutStoreTest, LoadingHandEditedFiles) {
    struct Case {
        const char* name;
        std::string text;
        bool ok;
        std::vector<std::string> names;                      // after the load
        std::vector<std::pair<std::string, std::string>> logged; // level, message; '*' ends a prefix
        bool keptCopy;
    };
    const std::string loadedNone = "Loaded 0 layout(s)";
    const std::string keptLine = "Kept unreadable layouts as " + kept;
    const std::vector<Case> cases = {
        {"repeated name", R"({"layouts": [{"name": "Desk"}, {"name": "Home"}, {"name": "Desk"}]})", true,
         {"Desk", "Home", "Desk"}, {{"INF", "Loaded 3 layout(s)"}}, false},
        {"layout without displays", R"({"layouts": [{"name": "Bare"}]})", true, {"Bare"},
         {{"INF", "Loaded 1 layout(s)"}}, false},
        {"no layouts member", "{}", true, {}, {{"INF", loadedNone}}, false},
        {"layouts not an array", R"({"layouts": {"Desk": []}})", true, {}, {{"WRN", keptLine}, {"INF", loadedNone}},
         true},
        {"top level not an object", R"([{"name": "Desk"}])", true, {}, {{"WRN", keptLine}, {"INF", loadedNone}},
         true},
        {"displays not an array", R"({"layouts": [{"name": "Desk", "displays": {"key": "A"}}]})", true, {"Desk"},
         {{"WRN", keptLine}, {"INF", "Loaded 1 layout(s)"}}, true},
        {"CR LF and byte-order mark", "\xEF\xBB\xBF{\r\n  \"layouts\": [{\"name\": \"Desk\"}]\r\n}\r\n", true, {"Desk"},
         {{"INF", "Loaded 1 layout(s)"}}, false},
        {"not JSON", R"({"layouts": [{"name": "Desk"},)", false, {"Old"},
         {{"ERR", "Layouts parse error: [json.exception.parse_error.101] *"}, {"WRN", keptLine}}, true},
        {"empty file", "", false, {"Old"},
         {{"ERR", "Layouts parse error: [json.exception.parse_error.101] *"}, {"WRN", keptLine}}, true},
        {"layout not an object", R"({"layouts": [{"name": "Desk"}, "Home"]})", false, {"Old"},
         {{"ERR", "Layouts parse error: layouts[1]: expected an object"}, {"WRN", keptLine}}, true},
        {"name not a string", R"({"layouts": [{"name": 7}]})", false, {"Old"},
         {{"ERR", "Layouts parse error: layouts[0].name: expected a string"}, {"WRN", keptLine}}, true},
        {"display not an object", R"({"layouts": [{"displays": [{"key": "A"}, 5]}]})", false, {"Old"},
         {{"ERR", "Layouts parse error: layouts[0].displays[1]: expected an object"}, {"WRN", keptLine}}, true},
        {"position as text", R"({"layouts": [{"displays": [{"x": "1920"}]}]})", false, {"Old"},
         {{"ERR", "Layouts parse error: layouts[0].displays[0].x: expected a whole number from -2147483648 to "
                  "2147483647"},
          {"WRN", keptLine}},
         true},
        {"position too far", R"({"layouts": [{"displays": [{"y": 2147483648}]}]})", false, {"Old"},
         {{"ERR", "Layouts parse error: layouts[0].displays[0].y: expected a whole number from -2147483648 to "
                  "2147483647"},
          {"WRN", keptLine}},
         true},
        {"negative width", R"({"layouts": [{"displays": [{"width": -1}]}]})", false, {"Old"},
         {{"ERR", "Layouts parse error: layouts[0].displays[0].width: expected a whole number from 0 to 4294967295"},
          {"WRN", keptLine}},
         true},
        {"fractional rate", R"({"layouts": [{"displays": [{"refreshHz": 59.94}]}]})", false, {"Old"},
         {{"ERR",
           "Layouts parse error: layouts[0].displays[0].refreshHz: expected a whole number from 0 to 4294967295"},
          {"WRN", keptLine}},
         true},
        {"orientation as text", R"({"layouts": [{"displays": [{"orientation": "portrait"}]}]})", false, {"Old"},
         {{"ERR", "Layouts parse error: layouts[0].displays[0].orientation: expected a number"}, {"WRN", keptLine}},
         true},
        {"primary as a number", R"({"layouts": [{"displays": [{"primary": 1}]}]})", false, {"Old"},
         {{"ERR", "Layouts parse error: layouts[0].displays[0].primary: expected true or false"}, {"WRN", keptLine}},
         true},
        {"key not a string", R"({"layouts": [{"displays": [{"key": null}]}]})", false, {"Old"},
         {{"ERR", "Layouts parse error: layouts[0].displays[0].key: expected a string"}, {"WRN", keptLine}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LayoutStore loaded;
        desk.files.setFile(path, R"({"layouts": [{"name": "Old"}]})");
        ASSERT_TRUE(loaded.load());
        desk.files.setFile(path, c.text);
        desk.files.setFile(kept, "an older copy");
        if (!c.keptCopy) desk.files.removeFile(kept);
        desk.debug.clear();

        EXPECT_EQ(loaded.load(), c.ok);
        EXPECT_EQ(loaded.names(), c.names);
        const std::vector<std::string> lines = desk.debug.lines();
        ASSERT_EQ(lines.size(), c.logged.size());
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string want = "[Quorvane][" + c.logged[i].first + "] " + c.logged[i].second;
            if (want.back() == '*') {
                EXPECT_EQ(lines[i].rfind(want.substr(0, want.size() - 1), 0), 0u) << lines[i];
            } else {
                EXPECT_EQ(lines[i], want + "\n");
            }
        }
        if (c.keptCopy) {
            EXPECT_EQ(desk.files.content(kept), c.text);
        } else {
            EXPECT_FALSE(desk.files.fileExists(kept));
        }
        EXPECT_EQ(desk.files.content(path), c.text) << "loading never writes the file";
    }
}

TEST_F(LayoutStoreTest, MissingOrUnreadableFile) {
    EXPECT_TRUE(store.load());
    EXPECT_TRUE(store.names().empty());
    EXPECT_TRUE(desk.debug.lines().empty());

    desk.files.setFile(path, R"({"layouts": [{"name": "Desk"}]})");
    desk.files.failOn(SimFileSystem::Op::Read, path);
    EXPECT_FALSE(store.load());
    EXPECT_TRUE(store.names().empty());
    EXPECT_TRUE(desk.debug.contains("ERR", "Layouts parse error: the file could not be read"));
    EXPECT_EQ(desk.files.content(kept), R"({"layouts": [{"name": "Desk"}]})");
}

TEST_F(LayoutStoreTest, CaptureReplacesTheNameAndMovesItToTheEnd) {
    const sim::SimDisplays::Docked docked = desk.displays.laptopWithTwoDocked();
    EXPECT_EQ(store.defaultName(3), "Layout 1 (3 displays)");
    ASSERT_TRUE(store.captureCurrent("Desk", manager));
    ASSERT_TRUE(store.captureCurrent("Home", manager));
    desk.displays.unplug(docked.right);
    ASSERT_TRUE(store.captureCurrent("Desk", manager));
    EXPECT_EQ(store.names(), (std::vector<std::string>{"Home", "Desk"}));
    EXPECT_EQ(store.defaultName(2), "Layout 3 (2 displays)");
    EXPECT_EQ(store.layouts()[1].placements, manager.placementSnapshot());
    EXPECT_EQ(store.layouts()[1].placements.size(), 2u);

    LayoutStore reloaded;
    ASSERT_TRUE(reloaded.load());
    EXPECT_EQ(reloaded.layouts(), store.layouts());
}

TEST_F(LayoutStoreTest, NothingToCapture) {
    desk.files.setFile(path, R"({"layouts": []})");
    desk.files.clearCalls();
    EXPECT_FALSE(store.captureCurrent("Desk", manager));
    EXPECT_TRUE(desk.debug.contains("WRN", "captureCurrent: no active displays to capture"));
    EXPECT_TRUE(store.names().empty());
    EXPECT_TRUE(fileCalls().empty());
}

// The store keeps the change in memory; the file on disk stays as it was.
TEST_F(LayoutStoreTest, FailedSaveKeepsTheOldFileAndTheChangeInMemory) {
    struct Case {
        SimFileSystem::Op op;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {SimFileSystem::Op::Open, "Cannot open layouts.json for write"},
        {SimFileSystem::Op::Move, "Cannot open layouts.json for write"}, // layouts.json refuses replacement
        {SimFileSystem::Op::Write, "Layouts write failed"},
        {SimFileSystem::Op::Flush, "Layouts write failed"},
        {SimFileSystem::Op::Commit, "Layouts write failed"},
        {SimFileSystem::Op::Close, "Layouts write failed"},
    };
    desk.displays.laptopWithTwoDocked();
    const std::string old = R"({"layouts": [{"name": "Home"}]})";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged + std::to_string(static_cast<int>(c.op)));
        desk.files.setFile(path, old);
        LayoutStore changed;
        ASSERT_TRUE(changed.load());
        desk.files.failOn(c.op, temp);
        desk.debug.clear();
        EXPECT_FALSE(changed.captureCurrent("Desk", manager));
        EXPECT_EQ(changed.names(), (std::vector<std::string>{"Home", "Desk"}));
        EXPECT_FALSE(changed.remove("Home"));
        EXPECT_EQ(changed.names(), (std::vector<std::string>{"Desk"}));
        EXPECT_EQ(desk.debug.lines(), std::vector<std::string>(2, std::string("[Quorvane][ERR] ") + c.logged + "\n"));
        EXPECT_EQ(desk.files.content(path), old);
        EXPECT_FALSE(desk.files.fileExists(temp));
        desk.files.clearFailures();
    }
}

TEST_F(LayoutStoreTest, RemoveTakesEveryLayoutOfTheName) {
    desk.files.setFile(path, R"({"layouts": [{"name": "Desk"}, {"name": "Home"}, {"name": "Desk"}]})");
    ASSERT_TRUE(store.load());
    ASSERT_TRUE(store.remove("Desk"));
    EXPECT_EQ(store.names(), std::vector<std::string>{"Home"});
    LayoutStore reloaded;
    ASSERT_TRUE(reloaded.load());
    EXPECT_EQ(reloaded.names(), std::vector<std::string>{"Home"});

    // An unknown name (names are case-sensitive) touches nothing at all.
    const std::string before = desk.files.content(path);
    desk.files.clearCalls();
    EXPECT_FALSE(store.remove("home"));
    EXPECT_FALSE(store.remove(""));
    EXPECT_TRUE(fileCalls().empty());
    EXPECT_EQ(desk.files.content(path), before);

    ASSERT_TRUE(store.remove("Home"));
    EXPECT_EQ(desk.files.content(path), "{\n  \"layouts\": []\n}\n");
}

TEST_F(LayoutStoreTest, FindForKeysComparesMonitorSets) {
    auto layout = [](const char* name, std::vector<std::string> keys) {
        Layout l{name, {}};
        for (auto& key : keys) l.placements.push_back(at(key, 0, 0));
        return l;
    };
    desk.files.setFile(path, fileWith({
                         layout("Laptop", {"P"}),
                         layout("Docked", {"P", "A", "B"}),
                         layout("Docked again", {"B", "A", "P"}),
                         layout("Docked plus one", {"P", "A", "B", "C"}),
                         layout("Nothing", {}),
                         layout("Twins", {"A", "A"}),
                     }));
    ASSERT_TRUE(store.load());
    struct Case {
        std::vector<std::string> keys;
        const char* found; // nullptr: none
    };
    const std::vector<Case> cases = {
        {{"P"}, "Laptop"},
        {{"B", "P", "A"}, "Docked"}, // any order; the earlier of two matches
        {{"P", "A"}, nullptr},
        {{"P", "A", "B", "C"}, "Docked plus one"},
        {{"P", "A", "B", "D"}, nullptr},
        {{}, "Nothing"},
        {{"A", "A"}, "Twins"},
        {{"A"}, nullptr}, // repeats count
        {{"p"}, nullptr}, // byte-for-byte
    };
    for (const Case& c : cases) {
        std::optional<Layout> found = store.findForKeys(c.keys);
        std::string keys;
        for (const auto& k : c.keys) keys += k + " ";
        if (c.found) {
            ASSERT_TRUE(found.has_value()) << keys;
            EXPECT_EQ(found->name, c.found) << keys;
        } else {
            EXPECT_FALSE(found.has_value()) << keys << "found " << found->name;
        }
    }
}

TEST_F(LayoutStoreTest, RestoreAppliesTheFirstLayoutOfTheName) {
    desk.displays.laptopWithTwoDocked();
    const std::vector<DisplayInfo> now = manager.enumerate();
    ASSERT_EQ(now.size(), 3u);
    const std::string panel = now[0].key, left = now[1].key, right = now[2].key;
    desk.files.setFile(path, fileWith({
                         {"Desk", {at(left, -3840, 0), at(panel, 0, 0, true), at(right, 1920, 0)}},
                         {"Desk", {at(panel, 0, 0, true), at(left, 1920, 0), at(right, 5760, 0)}},
                         {"Away", {at("XYZ-0001", 0, 0, true)}},
                     }));
    ASSERT_TRUE(store.load());

    EXPECT_TRUE(store.restore("Desk", manager));
    EXPECT_EQ(positionOf(left), std::make_pair(-3840, 0));
    EXPECT_EQ(positionOf(panel), std::make_pair(0, 0));
    EXPECT_EQ(positionOf(right), std::make_pair(1920, 0));

    desk.debug.clear();
    EXPECT_FALSE(store.restore("desk", manager));
    EXPECT_FALSE(store.restore("Away", manager));
    EXPECT_EQ(desk.debug.lines(), (std::vector<std::string>{
                               "[Quorvane][WRN] restore: layout 'desk' not found\n",
                               "[Quorvane][WRN] restore: No saved monitors are connected\n",
                           }));
    EXPECT_EQ(positionOf(left), std::make_pair(-3840, 0));
}

} // namespace
} // namespace qv
