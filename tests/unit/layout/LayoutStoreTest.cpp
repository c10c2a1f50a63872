#include "layout/LayoutStore.h"

#include "LayoutTestFixture.h"

#include "base/StrPrintf.h"

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
// that parses replaces it, each value read with value-or-default semantics;
// where a value is not taken, that is logged and the file is kept as
// layouts.json.bad, because the next save drops what was there. Text that
// does not parse leaves "Old", is logged and is kept.
TEST_F(LayoutStoreTest, LoadingHandEditedFiles) {
    struct Case {
        const char* name;
        std::string text;
        bool ok;
        std::vector<std::string> names;                      // after the load
        std::vector<std::pair<std::string, std::string>> logged; // level, message; '*' ends a prefix
        bool keptCopy;
        std::string firstDisplay = ""; // layouts[0].placements[0] after the load, when given
    };
    const std::string keptLine = "Kept unreadable layouts as " + kept;
    const auto ignored = [](const std::string& what) {
        return std::pair<std::string, std::string>{"WRN", "Layouts value ignored: " + what};
    };
    const auto loadedN = [](int n) {
        return std::pair<std::string, std::string>{"INF", "Loaded " + std::to_string(n) + " layout(s)"};
    };
    const std::pair<std::string, std::string> keptCopy{"WRN", keptLine};
    const std::string wholeSigned = "expected a whole number from -2147483648 to 2147483647";
    const std::string wholeUnsigned = "expected a whole number from 0 to 4294967295";
    // One layout "Desk" with one display at (1920,0) 2560x1440@144, whose
    // member `member` holds `value` instead.
    const auto oneDisplayWith = [](const std::string& member, const std::string& value) {
        std::string display = R"({"key": "A", "x": 1920, "y": 0, "width": 2560, "height": 1440,)"
                              R"( "refreshHz": 144, "orientation": 1, "primary": true})";
        const size_t at = display.find("\"" + member + "\": ") + member.size() + 4;
        display.replace(at, display.find_first_of(",}", at) - at, value);
        return R"({"layouts": [{"name": "Desk", "displays": [)" + display + "]}]}";
    };
    // The same display at `refreshHz` with more members.
    const auto withMembers = [](unsigned refreshHz, const std::string& members) {
        return strprintf(R"({"layouts": [{"name": "Desk", "displays": [{"key": "A", "x": 1920, "y": 0, )"
                         R"("width": 2560, "height": 1440, "refreshHz": %u, "orientation": 1, "primary": true, %s}]}]})",
                         refreshHz, members.c_str());
    };
    const std::vector<Case> cases = {
        {"repeated name", R"({"layouts": [{"name": "Desk"}, {"name": "Home"}, {"name": "Desk"}]})", true,
         {"Desk", "Home", "Desk"}, {loadedN(3)}, false},
        {"layout without displays", R"({"layouts": [{"name": "Bare"}]})", true, {"Bare"}, {loadedN(1)}, false},
        {"no layouts member", "{}", true, {}, {loadedN(0)}, false},
        {"CR LF and byte-order mark", "\xEF\xBB\xBF{\r\n  \"layouts\": [{\"name\": \"Desk\"}]\r\n}\r\n", true, {"Desk"},
         {loadedN(1)}, false},
        {"whole numbers written as floats", oneDisplayWith("refreshHz", "144.0"), true, {"Desk"}, {loadedN(1)}, false,
         "A (1920,0) 2560x1440@144 o1 primary"},
        // Text that does not parse: nothing of it is taken.
        {"not JSON", R"({"layouts": [{"name": "Desk"},)", false, {"Old"},
         {{"ERR", "Layouts parse error: [json.exception.parse_error.101] *"}, keptCopy}, true},
        {"empty file", "", false, {"Old"},
         {{"ERR", "Layouts parse error: [json.exception.parse_error.101] *"}, keptCopy}, true},
        // A value of the wrong type: that value takes its default, everything
        // else loads, and the file is kept before a save drops the value.
        {"layouts not an array", R"({"layouts": {"Desk": []}})", true, {},
         {ignored("layouts: expected an array"), keptCopy, loadedN(0)}, true},
        {"top level not an object", R"([{"name": "Desk"}])", true, {},
         {ignored("(top level): expected an object"), keptCopy, loadedN(0)}, true},
        {"displays not an array", R"({"layouts": [{"name": "Desk", "displays": {"key": "A"}}]})", true, {"Desk"},
         {ignored("layouts[0].displays: expected an array"), keptCopy, loadedN(1)}, true},
        {"layout not an object", R"({"layouts": [{"name": "Desk"}, "Home", {"name": "Away"}]})", true,
         {"Desk", "Away"}, {ignored("layouts[1]: expected an object"), keptCopy, loadedN(2)}, true},
        {"name not a string", R"({"layouts": [{"name": 7}, {"name": "Home"}]})", true, {"", "Home"},
         {ignored("layouts[0].name: expected a string"), keptCopy, loadedN(2)}, true},
        {"display not an object", R"({"layouts": [{"name": "Desk", "displays": [5, {"key": "A"}]}]})", true,
         {"Desk"}, {ignored("layouts[0].displays[0]: expected an object"), keptCopy, loadedN(1)}, true,
         "A (0,0) 0x0@0 o0"},
        {"fractional rate", oneDisplayWith("refreshHz", "59.94"), true, {"Desk"},
         {ignored("layouts[0].displays[0].refreshHz: " + wholeUnsigned), keptCopy, loadedN(1)}, true,
         "A (1920,0) 2560x1440@0 o1 primary"},
        {"position as text", oneDisplayWith("x", "\"1920\""), true, {"Desk"},
         {ignored("layouts[0].displays[0].x: " + wholeSigned), keptCopy, loadedN(1)}, true,
         "A (0,0) 2560x1440@144 o1 primary"},
        {"position too far", oneDisplayWith("y", "2147483648"), true, {"Desk"},
         {ignored("layouts[0].displays[0].y: " + wholeSigned), keptCopy, loadedN(1)}, true,
         "A (1920,0) 2560x1440@144 o1 primary"},
        {"negative width", oneDisplayWith("width", "-1"), true, {"Desk"},
         {ignored("layouts[0].displays[0].width: " + wholeUnsigned), keptCopy, loadedN(1)}, true,
         "A (1920,0) 0x1440@144 o1 primary"},
        {"orientation as text", oneDisplayWith("orientation", "\"portrait\""), true, {"Desk"},
         {ignored("layouts[0].displays[0].orientation: expected a number"), keptCopy, loadedN(1)}, true,
         "A (1920,0) 2560x1440@144 o0 primary"},
        {"primary as a number", oneDisplayWith("primary", "1"), true, {"Desk"},
         {ignored("layouts[0].displays[0].primary: expected true or false"), keptCopy, loadedN(1)}, true,
         "A (1920,0) 2560x1440@144 o1"},
        {"key not a string", oneDisplayWith("key", "null"), true, {"Desk"},
         {ignored("layouts[0].displays[0].key: expected a string"), keptCopy, loadedN(1)}, true,
         " (1920,0) 2560x1440@144 o1 primary"},
        // The exact rate and the HDR state, members later versions added:
        // without them a display loads as before (the rows above); with
        // them they are taken, each on its own.
        {"exact rate and HDR on", withMembers(60, R"("refreshNumerator": 60000, "refreshDenominator": 1001, "hdr": true)"),
         true, {"Desk"}, {loadedN(1)}, false, "A (1920,0) 2560x1440@60 (60000/1001) o1 primary hdr"},
        {"HDR off alone", withMembers(144, R"("hdr": false)"), true, {"Desk"}, {loadedN(1)}, false,
         "A (1920,0) 2560x1440@144 o1 primary sdr"},
        {"exact rate that rounds 1 Hz away", withMembers(59, R"("refreshNumerator": 60000, "refreshDenominator": 1001)"),
         true, {"Desk"}, {loadedN(1)}, false, "A (1920,0) 2560x1440@59 (60000/1001) o1 primary"},
        {"HDR as a number", withMembers(144, R"("hdr": 1)"), true, {"Desk"},
         {ignored("layouts[0].displays[0].hdr: expected true or false"), keptCopy, loadedN(1)}, true,
         "A (1920,0) 2560x1440@144 o1 primary"},
        {"numerator without denominator", withMembers(60, R"("refreshNumerator": 60000)"), true, {"Desk"},
         {ignored("layouts[0].displays[0].refreshNumerator: expected with refreshDenominator, both above 0"),
          keptCopy, loadedN(1)},
         true, "A (1920,0) 2560x1440@60 o1 primary"},
        {"denominator 0", withMembers(60, R"("refreshNumerator": 60000, "refreshDenominator": 0)"), true, {"Desk"},
         {ignored("layouts[0].displays[0].refreshNumerator: expected with refreshDenominator, both above 0"),
          keptCopy, loadedN(1)},
         true, "A (1920,0) 2560x1440@60 o1 primary"},
        {"fractional denominator", withMembers(60, R"("refreshNumerator": 60000, "refreshDenominator": 1000.5)"), true,
         {"Desk"}, {ignored("layouts[0].displays[0].refreshDenominator: " + wholeUnsigned), keptCopy, loadedN(1)},
         true, "A (1920,0) 2560x1440@60 o1 primary"},
        // "refreshHz" changed by hand (or by a version that does not know the
        // exact rate) wins over a stale exact rate.
        {"exact rate far from refreshHz", withMembers(144, R"("refreshNumerator": 60000, "refreshDenominator": 1001)"),
         true, {"Desk"},
         {ignored("layouts[0].displays[0].refreshNumerator: expected a rate within 1 Hz of refreshHz"), keptCopy,
          loadedN(1)},
         true, "A (1920,0) 2560x1440@144 o1 primary"},
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
        if (!c.firstDisplay.empty()) {
            ASSERT_FALSE(loaded.layouts().empty());
            ASSERT_EQ(loaded.layouts()[0].placements.size(), 1u);
            const DisplayPlacement& p = loaded.layouts()[0].placements[0];
            std::string text = strprintf("%s (%d,%d) %ux%u@%u", p.key.c_str(), p.x, p.y, p.width, p.height,
                                         p.refreshHz);
            if (p.refreshRate.known())
                text += strprintf(" (%u/%u)", p.refreshRate.numerator, p.refreshRate.denominator);
            text += strprintf(" o%u%s", p.orientation, p.primary ? " primary" : "");
            if (p.hdr) text += *p.hdr ? " hdr" : " sdr";
            EXPECT_EQ(text, c.firstDisplay);
        }
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

// Layouts that exist but cannot be opened are never replaced by an empty or
// newer store unless a copy of them was made first.
TEST_F(LayoutStoreTest, AFileThatCannotBeOpenedIsNeverReplacedWithoutACopy) {
    desk.displays.laptopWithTwoDocked();
    const std::string mine = R"({"layouts": [{"name": "Desk"}, {"name": "Home"}]})";
    desk.files.setFile(path, mine);
    desk.files.holdWithoutSharing(path);
    EXPECT_FALSE(store.load());
    EXPECT_TRUE(store.names().empty());
    EXPECT_TRUE(desk.debug.contains(
        "ERR", "Cannot open layouts.json for read: The process cannot access the file because it is being used by "
               "another process (0x20)"));
    desk.files.release(path);
    EXPECT_FALSE(store.captureCurrent("Travel", manager));
    EXPECT_TRUE(desk.debug.contains(
        "ERR", "Layouts not saved: layouts.json could not be read at start and no copy of it could be made"));
    EXPECT_EQ(desk.files.content(path), mine);
    EXPECT_FALSE(desk.files.fileExists(kept));

    // Refused for reading only: the copy is made, and saving goes on.
    LayoutStore denied;
    desk.files.failOn(SimFileSystem::Op::Open, path);
    EXPECT_FALSE(denied.load());
    desk.files.clearFailures();
    EXPECT_TRUE(denied.captureCurrent("Travel", manager));
    EXPECT_EQ(desk.files.content(kept), mine);
    EXPECT_EQ(denied.names(), std::vector<std::string>{"Travel"});
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

// The file on disk stays as it was. A captured layout stays in memory (the
// user can still restore it this run); a layout whose removal could not be
// saved stays too, so the list matches the file.
TEST_F(LayoutStoreTest, FailedSaveKeepsTheOldFile) {
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
        EXPECT_EQ(changed.names(), (std::vector<std::string>{"Home", "Desk"}));
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

    EXPECT_TRUE(store.restore("Desk", manager).ok);
    EXPECT_EQ(positionOf(left), std::make_pair(-3840, 0));
    EXPECT_EQ(positionOf(panel), std::make_pair(0, 0));
    EXPECT_EQ(positionOf(right), std::make_pair(1920, 0));

    desk.debug.clear();
    EXPECT_FALSE(store.restore("desk", manager).ok);
    EXPECT_FALSE(store.restore("Away", manager).ok);
    EXPECT_EQ(desk.debug.lines(), (std::vector<std::string>{
                               "[Quorvane][WRN] restore: layout 'desk' not found\n",
                               "[Quorvane][WRN] restore: No saved monitors are connected\n",
                           }));
    EXPECT_EQ(positionOf(left), std::make_pair(-3840, 0));
}

// A display at 59.94 Hz with HDR on is saved with its exact rate and HDR
// state beside the whole "refreshHz" older versions read. Restored from the
// file it runs at 59.94 Hz with HDR on again (GDI alone would pick the 60 Hz
// mode listed first); restored once more, nothing is done.
TEST_F(LayoutStoreTest, ExactRateAndHdrRoundTripThroughTheFileOntoTheDisplay) {
    const sim::SimDisplays::Docked docked = desk.displays.laptopWithTwoDocked();
    sim::SimMonitor& right = desk.displays.target(docked.right).monitor;
    right.modes.push_back({2560, 1440, 60, 32, Rational{60000, 1001}});
    right.color = AdvancedColorInfo{true, true, dc::ColorEncodingRgb, 10};
    right.vsync = Rational{60000, 1001};
    desk.displays.sourceOf(docked.right).refreshHz = 60;
    ASSERT_TRUE(store.captureCurrent("Desk", manager));
    const std::string key = manager.cache()[2].key;

    const nlohmann::json saved = nlohmann::json::parse(desk.files.content(path));
    const nlohmann::json& display = saved["layouts"][0]["displays"][2];
    EXPECT_EQ(display["refreshHz"], 60);
    EXPECT_EQ(display["refreshNumerator"], 60000);
    EXPECT_EQ(display["refreshDenominator"], 1001);
    EXPECT_EQ(display["hdr"], true);
    EXPECT_FALSE(saved["layouts"][0]["displays"][0].contains("hdr")) << "the panel has no HDR";

    // Meanwhile the monitor was set to 60 Hz exactly with HDR off.
    right.vsync.reset();
    right.color->advancedColorEnabled = false;

    const auto changes = [&] {
        std::vector<std::string> out;
        for (const std::string& call : desk.displays.calls())
            if (call.rfind("ChangeDisplaySettingsEx", 0) == 0 || call.rfind("SetDisplayConfig", 0) == 0 ||
                call.rfind("DisplayConfigSetDeviceInfo", 0) == 0)
                out.push_back(call);
        return out;
    };
    LayoutStore reloaded;
    ASSERT_TRUE(reloaded.load());
    ActionResult result = reloaded.restore("Desk", manager);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.message, "Restored layout 'Desk'");
    const std::optional<DisplayInfo> now = manager.find(key);
    ASSERT_TRUE(now.has_value());
    EXPECT_EQ(now->refreshHz, 60u);
    EXPECT_EQ(now->refreshRate, (RefreshRate{60000, 1001}));
    EXPECT_TRUE(now->hdrEnabled);
    EXPECT_FALSE(changes().empty());

    desk.displays.clearCalls();
    result = reloaded.restore("Desk", manager);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.message, "Layout 'Desk' already in effect");
    EXPECT_EQ(changes(), std::vector<std::string>{});
}

} // namespace
} // namespace qv
