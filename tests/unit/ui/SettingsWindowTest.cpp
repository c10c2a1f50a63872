// The classic settings window's decisions: its controls for a set of
// settings, where it opens, what each command stores and saves, whom it
// calls, and how a second request and closing behave.
#include "ui/SettingsWindow.h"

#include "base/Elevation.h"
#include "base/LogTesting.h"
#include "base/Registry.h"
#include "base/StrPrintf.h"
#include "base/Version.h"
#include "settings/Config.h"
#include "sim/SimDesktop.h"
#include "sim/SimSettingsSurface.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <vector>

namespace qv {
namespace {

using W = SettingsWindow;
using nlohmann::json;

constexpr uint64_t kInstance = 0x140000000;
constexpr uint32_t kBnDoubleClicked = 5;
constexpr uint32_t kCbnSetFocus = 3;
constexpr uint32_t kCbnDropDown = 7;
constexpr uint32_t kCbnCloseUp = 8;
constexpr uint32_t kCbnSelEndOk = 9;
const std::string kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kFolder = "C:\\Users\\sim\\AppData\\Roaming\\Quorvane";
const std::string kConfigFile = kFolder + "\\config.json";

std::string text(const ScreenRect& r) { return strprintf("(%d,%d)-(%d,%d)", r.left, r.top, r.right, r.bottom); }

ClassicControl control(uint32_t id, ControlKind kind, DipRect rect, std::string caption, bool checked = false) {
    ClassicControl c;
    c.id = id;
    c.kind = kind;
    c.rect = rect;
    c.caption = std::move(caption);
    c.selected = checked;
    return c;
}

ClassicControl list(uint32_t id, DipRect rect, std::string caption, std::vector<std::string> items, int selected) {
    ClassicControl c = control(id, ControlKind::ComboBox, rect, std::move(caption));
    c.items = std::move(items);
    c.selectedItem = selected;
    return c;
}

TEST(SettingsWindowLayout, EveryControlWithItsIdCaptionPlaceAndState) {
    using K = ControlKind;
    const Config defaults;
    ClassicControl title = control(0, K::Static, {22, 18, 438, 46}, "Settings");
    title.font = FontRole::Title;
    const std::vector<ClassicControl> expected = {
        title,
        control(1001, K::CheckBox, {22, 60, 438, 84}, "Start with Windows", true),
        control(1002, K::CheckBox, {22, 90, 438, 114}, "Re-apply matching layout on hotplug (silent)", true),
        control(1016, K::CheckBox, {22, 120, 438, 144}, "Put windows back when a display returns", true),
        control(1003, K::CheckBox, {22, 150, 438, 174}, "Check for updates on startup", true),
        control(1004, K::CheckBox, {22, 180, 438, 204}, "Install updates automatically (restarts the app)", true),
        control(1005, K::CheckBox, {22, 210, 438, 234}, "Use monochrome (white) tray icon", false),
        control(1006, K::CheckBox, {22, 240, 438, 264}, "Receive dev (pre-release) updates", false),
        control(1007, K::CheckBox, {22, 270, 438, 294}, "Capture system audio in recordings", true),
        control(0, K::Static, {22, 306, 438, 326}, "Maximum simultaneous previews"),
        list(1008, {22, 330, 112, 354}, "Maximum simultaneous previews", {"1", "2", "3", "4", "5", "6", "7", "8"}, 3),
        control(0, K::Static, {22, 370, 438, 390}, "Recording frame rate"),
        list(1009, {22, 394, 112, 418}, "Recording frame rate", {"15 fps", "24 fps", "30 fps", "60 fps"}, 2),
        control(1010, K::Button, {22, 434, 438, 464}, "Arrange displays\xE2\x80\xA6  (layout wizard)"),
        control(1013, K::Button, {22, 472, 224, 502}, "Recording folder\xE2\x80\xA6"),
        control(1014, K::Button, {236, 472, 438, 502}, "Open recordings"),
        control(1011, K::Button, {22, 510, 224, 540}, "Check for updates now"),
        control(1012, K::Button, {236, 510, 438, 540}, "Open config folder"),
        control(1015, K::Button, {328, 548, 438, 578}, "Close"),
        control(0, K::Static, {22, 588, 438, 606}, std::string("Quorvane v") + kVersion),
    };
    const std::vector<ClassicControl> actual = W::controls(defaults, true);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(actual[i], expected[i]) << "control " << i;
    EXPECT_EQ(W::clientHeight(), 616);
}

TEST(SettingsWindowLayout, ChecksAndListsFollowTheSettings) {
    Config c;
    c.autoRestoreOnHotplug = false;
    c.restoreWindowsOnReconnect = false;
    c.autoCheckUpdates = false;
    c.autoInstallUpdates = false;
    c.monochromeIcon = true;
    c.updateChannel = "dev";
    c.recordingAudio = false;
    std::vector<ClassicControl> controls = W::controls(c, false);
    const std::vector<std::pair<uint32_t, bool>> checks = {{1001, false}, {1002, false}, {1003, false},
                                                           {1004, false}, {1005, true},  {1006, true},
                                                           {1007, false}, {1016, false}};
    for (const auto& [id, checked] : checks) EXPECT_EQ(findControl(controls, id)->selected, checked) << id;

    // A channel other than "dev" is not the dev channel.
    c.updateChannel = "Dev";
    EXPECT_FALSE(findControl(W::controls(c, false), 1006)->selected);

    // The previews list shows the limit, kept within the list.
    const std::vector<std::pair<int32_t, int>> previews = {{-3, 0}, {0, 0}, {1, 0}, {4, 3}, {8, 7}, {20, 7}};
    for (const auto& [limit, item] : previews) {
        c.maxPreviews = limit;
        EXPECT_EQ(findControl(W::controls(c, false), 1008)->selectedItem, item) << "maxPreviews " << limit;
    }
    // The frame-rate list: its own rates exactly, the 30 item for any other.
    const std::vector<std::pair<int32_t, int>> rates = {{15, 0}, {24, 1}, {30, 2}, {60, 3}, {25, 2}, {5, 2}, {59, 2}};
    for (const auto& [fps, item] : rates) {
        c.recordingFps = fps;
        EXPECT_EQ(findControl(W::controls(c, false), 1009)->selectedItem, item) << "recordingFps " << fps;
    }
}

TEST(SettingsWindowLayout, OpensAtTheCursorInsideTheWorkArea) {
    const ScreenRect screen{0, 0, 1920, 1040};
    const ScreenRect left{-2560, -300, 0, 1140};
    struct Case {
        const char* what;
        ScreenPoint cursor;
        ScreenRect work;
        int32_t width;
        int32_t height;
        const char* rect;
    };
    const Case cases[] = {
        {"room everywhere: at the cursor", {100, 100}, screen, 466, 618, "(100,100)-(566,718)"},
        {"near the bottom-right corner: moved left and up", {1900, 1000}, screen, 466, 618, "(1454,422)-(1920,1040)"},
        {"on a monitor left of the primary", {-10, 1100}, left, 466, 618, "(-466,522)-(0,1140)"},
        {"cursor beyond the work area's top-left", {-50, -50}, screen, 466, 618, "(0,0)-(466,618)"},
        {"taller than the work area: starts at its top", {100, 500}, {0, 0, 1920, 600}, 466, 618,
         "(100,0)-(566,618)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(text(W::placement(c.cursor, c.width, c.height, c.work)), c.rect);
    }
}

TEST(SettingsWindowLayout, ButtonsArePaintedPressedOrDisabled) {
    EXPECT_EQ(W::buttonPaint(false, true), (ButtonPaint{0x1C1E26, 0x333744, 0xF3F5F8, false}));
    EXPECT_EQ(W::buttonPaint(true, true), (ButtonPaint{0x15161C, 0x333744, 0xF3F5F8, false}));
    EXPECT_EQ(W::buttonPaint(false, false), (ButtonPaint{0x1C1E26, 0x333744, 0x979EAD, false}));
}

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        log::resetForTests();
        desk.createUserProfile();
        previousElevation_ = Elevation::install(&elevation);
    }
    void TearDown() override { Elevation::install(previousElevation_); }

    SettingsCallbacks callbacks(const std::string& tag = "") {
        const auto note = [this, tag](const char* what) { return [this, tag, what] { called.push_back(tag + what); }; };
        return SettingsCallbacks{note("checkForUpdates"), note("refreshTrayIcon"), note("openArrangement"),
                                 note("chooseRecordingsFolder"), note("openRecordingsFolder")};
    }
    bool open() { return window.create(kInstance, config, callbacks()); }

    // The settings file as saved; null when there is none.
    json saved() const {
        if (!desk.files.fileExists(kConfigFile)) return nullptr;
        return json::parse(desk.files.content(kConfigFile));
    }
    void forgetFile() { desk.files.removeFile(kConfigFile); }
    void setRunValue() {
        desk.process.setValue(Registry::Root::CurrentUser, kRunKey, "Quorvane",
                              {Registry::kRegSz, "\"C:\\Program Files\\Quorvane\\quorvane.exe\"", 0});
    }
    bool runValueExists() const {
        return desk.process.value(Registry::Root::CurrentUser, kRunKey, "Quorvane").has_value();
    }

    sim::SimDesktop desk;
    Elevation elevation{desk.process, desk.process, desk.process};
    Config config;
    sim::SimSettingsSurface surface;
    SettingsWindow window{surface};
    std::vector<std::string> called;

private:
    Elevation* previousElevation_ = nullptr;
};

TEST_F(SettingsWindowTest, CreateBuildsTheControlsSizesTheFrameAndShowsItAtTheCursor) {
    setRunValue();
    config.autoCheckUpdates = false;
    surface.cursorAt = {1900, 1000};
    ASSERT_TRUE(open());
    // Client 460 × 616, a frame of 3 on three sides and 29 on top.
    EXPECT_EQ(surface.calls, (std::vector<std::string>{"create 0x140000000", "build 20 controls at 96",
                                                       "move (1454,392)-(1920,1040)", "show"}));
    EXPECT_TRUE(surface.control(1001)->selected); // from the Run value
    EXPECT_FALSE(surface.control(1003)->selected);
    EXPECT_TRUE(window.isOpen());

    // At 150 % every length is scaled: client 690 × 924, frame 5 and 44.
    window.onClose();
    surface.clearCalls();
    surface.dpiOfWindow = 144;
    surface.cursorAt = {10, 10};
    ASSERT_TRUE(open());
    EXPECT_EQ(surface.calls, (std::vector<std::string>{"create 0x140000000", "build 20 controls at 144",
                                                       "move (10,10)-(710,983)", "show"}));

    // A window whose DPI Windows does not know is built at 96; without monitor
    // information it opens at the cursor.
    window.onClose();
    surface.clearCalls();
    surface.dpiOfWindow = 0;
    surface.workArea.reset();
    surface.cursorAt = {1900, 1000};
    ASSERT_TRUE(open());
    EXPECT_EQ(surface.calls, (std::vector<std::string>{"create 0x140000000", "build 20 controls at 96",
                                                       "move (1900,1000)-(2366,1648)", "show"}));
}

TEST_F(SettingsWindowTest, CreationFailureIsLoggedAndShowsNothing) {
    surface.failCreate = true;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(open());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(surface.calls, (std::vector<std::string>{"create 0x140000000"}));
    EXPECT_TRUE(desk.debug.contains("ERR", "SettingsWindow: CreateWindowEx failed"));
    EXPECT_FALSE(window.isOpen());

    // The next request tries again.
    surface.failCreate = false;
    EXPECT_TRUE(open());
    EXPECT_TRUE(surface.visible);
}

TEST_F(SettingsWindowTest, EachChangeIsStoredAndSavedAtOnce) {
    ASSERT_TRUE(open());
    struct Case {
        const char* what;
        std::function<void()> act;
        const char* key;
        json value;
    };
    const Case cases[] = {
        {"hotplug restore off", [&] { surface.click(1002); }, "autoRestoreOnHotplug", false},
        {"hotplug restore on", [&] { surface.click(1002); }, "autoRestoreOnHotplug", true},
        {"windows back off", [&] { surface.click(1016); }, "restoreWindowsOnReconnect", false},
        {"windows back on", [&] { surface.click(1016); }, "restoreWindowsOnReconnect", true},
        {"windows back off again", [&] { surface.click(1016); }, "restoreWindowsOnReconnect", false},
        {"update check off", [&] { surface.click(1003); }, "autoCheckUpdates", false},
        {"automatic install off", [&] { surface.click(1004); }, "autoInstallUpdates", false},
        {"monochrome icon on", [&] { surface.click(1005); }, "monochromeIcon", true},
        {"dev channel", [&] { surface.click(1006); }, "updateChannel", "dev"},
        {"stable channel", [&] { surface.click(1006); }, "updateChannel", "stable"},
        {"system audio off", [&] { surface.click(1007); }, "recordingAudio", false},
        {"previews: the first item", [&] { surface.choose(1008, 0); }, "maxPreviews", 1},
        {"previews: the last item", [&] { surface.choose(1008, 7); }, "maxPreviews", 8},
        {"previews: no selection", [&] { surface.choose(1008, -1); }, "maxPreviews", 1},
        {"previews: beyond the list", [&] { surface.choose(1008, 11); }, "maxPreviews", 8},
        {"frame rate: the 15 item", [&] { surface.choose(1009, 0); }, "recordingFps", 15},
        {"frame rate: the 24 item", [&] { surface.choose(1009, 1); }, "recordingFps", 24},
        {"frame rate: the 60 item", [&] { surface.choose(1009, 3); }, "recordingFps", 60},
        {"frame rate: the 30 item", [&] { surface.choose(1009, 2); }, "recordingFps", 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        forgetFile();
        c.act();
        const json file = saved();
        ASSERT_TRUE(file.is_object());
        EXPECT_EQ(file[c.key], c.value);
    }
    // The record itself holds the last state of each.
    EXPECT_TRUE(config.autoRestoreOnHotplug);
    EXPECT_FALSE(config.restoreWindowsOnReconnect);
    EXPECT_FALSE(config.autoCheckUpdates);
    EXPECT_FALSE(config.autoInstallUpdates);
    EXPECT_TRUE(config.monochromeIcon);
    EXPECT_EQ(config.updateChannel, "stable");
    EXPECT_FALSE(config.recordingAudio);
    EXPECT_EQ(config.recordingFps, 30);
}

// The settle time has no control: the box shows the file's setting and a
// click saves the file with the settle time as it was edited.
TEST_F(SettingsWindowTest, TheWindowsBoxShowsTheFileAndKeepsTheSettleTime) {
    desk.files.setFile(kConfigFile, "{\"restoreWindowsOnReconnect\": false, \"hotplugSettleMs\": 7000}");
    ASSERT_TRUE(config.load());
    ASSERT_TRUE(open());
    EXPECT_FALSE(surface.control(1016)->selected);
    surface.click(1016);
    EXPECT_TRUE(config.restoreWindowsOnReconnect);
    EXPECT_EQ(saved()["restoreWindowsOnReconnect"], true);
    EXPECT_EQ(saved()["hotplugSettleMs"], 7000);
}

TEST_F(SettingsWindowTest, ListsChangeOnlyOnANewChoice) {
    desk.files.setFile(kConfigFile, "{\"recordingFps\": 25, \"maxPreviews\": 3}");
    ASSERT_TRUE(config.load());
    ASSERT_TRUE(open());
    // 25 is not offered: the 30 item shows.
    EXPECT_EQ(surface.control(1009)->selectedItem, 2);
    EXPECT_EQ(surface.control(1008)->selectedItem, 2);

    // Opening, focusing and closing the lists, and a choice the frame-rate
    // list does not have, change nothing and write nothing.
    const std::string before = desk.files.content(kConfigFile);
    for (uint32_t notification : {kCbnSetFocus, kCbnDropDown, kCbnCloseUp, kCbnSelEndOk}) {
        surface.notify(1008, notification);
        surface.notify(1009, notification);
    }
    surface.choose(1009, -1);
    surface.choose(1009, 4);
    EXPECT_EQ(config.recordingFps, 25);
    EXPECT_EQ(config.maxPreviews, 3);
    EXPECT_EQ(desk.files.content(kConfigFile), before);

    // Closing the window keeps the 25 in the file; the next save writes it as it is.
    window.onClose();
    ASSERT_TRUE(config.save());
    EXPECT_EQ(saved()["recordingFps"], 25);

    // A new choice of the item that was showing stores it.
    ASSERT_TRUE(open());
    surface.choose(1009, 2);
    EXPECT_EQ(saved()["recordingFps"], 30);
}

TEST_F(SettingsWindowTest, ButtonsAskTheController) {
    ASSERT_TRUE(open());
    struct Case {
        uint32_t id;
        const char* callback;
    };
    const Case cases[] = {{1010, "openArrangement"},
                          {1011, "checkForUpdates"},
                          {1013, "chooseRecordingsFolder"},
                          {1014, "openRecordingsFolder"}};
    for (const Case& c : cases) {
        called.clear();
        surface.click(c.id);
        EXPECT_EQ(called, (std::vector<std::string>{c.callback})) << c.id;
        // A double click on an owner-drawn button sends a second notification
        // after the click; the command runs once.
        surface.notify(c.id, kBnDoubleClicked);
        EXPECT_EQ(called.size(), 1u) << c.id;
    }

    // The config folder opens in the shell, owned by the window.
    surface.clearCalls();
    surface.click(1012);
    EXPECT_EQ(surface.calls, (std::vector<std::string>{"openFolder " + kFolder}));

    // Nothing is asked of callbacks the controller did not give.
    ASSERT_TRUE(window.create(kInstance, config, SettingsCallbacks{}));
    for (uint32_t id : {1005u, 1010u, 1011u, 1013u, 1014u}) surface.click(id);
    EXPECT_TRUE(config.monochromeIcon);
}

TEST_F(SettingsWindowTest, TheMonochromeIconIsSavedBeforeTheTrayIconIsRefreshed) {
    ASSERT_TRUE(open());
    bool savedFirst = false;
    SettingsCallbacks hooks = callbacks();
    hooks.refreshTrayIcon = [&] { savedFirst = config.monochromeIcon && saved()["monochromeIcon"] == true; };
    ASSERT_TRUE(window.create(kInstance, config, hooks));
    surface.click(1005);
    EXPECT_TRUE(savedFirst);
}

TEST_F(SettingsWindowTest, StartWithWindowsSwitchesTheRunValue) {
    ASSERT_TRUE(open());
    surface.click(1001);
    EXPECT_TRUE(runValueExists());
    EXPECT_TRUE(config.startWithWindows);
    EXPECT_EQ(saved()["startWithWindows"], true);

    surface.click(1001);
    EXPECT_FALSE(runValueExists());
    EXPECT_FALSE(config.startWithWindows);
    EXPECT_EQ(saved()["startWithWindows"], false);
}

// When the Run value cannot be changed, the box and the settings go back to
// what the Run value says: the user is not told the program will start with
// Windows when it will not.
TEST_F(SettingsWindowTest, AFailedStartUpSwitchShowsTheRealState) {
    struct Case {
        const char* what;
        bool runValueBefore;
    };
    for (const Case& c : {Case{"switching on", false}, Case{"switching off", true}}) {
        SCOPED_TRACE(c.what);
        desk.process.deniedAccess = 0;
        if (c.runValueBefore) setRunValue();
        config.startWithWindows = c.runValueBefore;
        window.onClose();
        ASSERT_TRUE(open());
        ASSERT_EQ(surface.control(1001)->selected, c.runValueBefore);
        desk.process.deniedAccess = Registry::kKeySetValue;
        desk.debug.clear();
        forgetFile();

        testing::internal::CaptureStderr();
        surface.click(1001);
        testing::internal::GetCapturedStderr();

        EXPECT_EQ(runValueExists(), c.runValueBefore);
        EXPECT_EQ(surface.control(1001)->selected, c.runValueBefore);
        EXPECT_EQ(config.startWithWindows, c.runValueBefore);
        EXPECT_EQ(saved()["startWithWindows"], c.runValueBefore);
        EXPECT_TRUE(desk.debug.contains("ERR", "Could not update startup setting."));
    }
}

TEST_F(SettingsWindowTest, ASecondRequestWhileOpenOnlyBringsTheWindowToTheFront) {
    ASSERT_TRUE(open());
    surface.clearCalls();
    config.autoCheckUpdates = false; // changed elsewhere meanwhile
    Config other;

    ASSERT_TRUE(window.create(kInstance, other, callbacks("new ")));
    EXPECT_EQ(surface.calls, (std::vector<std::string>{"show"}));
    EXPECT_TRUE(surface.control(1003)->selected); // not re-read

    // The settings and callbacks given last are the ones used.
    surface.click(1007);
    EXPECT_FALSE(other.recordingAudio);
    EXPECT_TRUE(config.recordingAudio);
    surface.click(1011);
    EXPECT_EQ(called, (std::vector<std::string>{"new checkForUpdates"}));
}

TEST_F(SettingsWindowTest, ClosingForgetsTheWindowAndTheNextRequestBuildsItAfresh) {
    struct Case {
        const char* what;
        std::function<void()> close;
    };
    const Case cases[] = {{"the Close button", [&] { surface.click(1015); }},
                          {"the close box", [&] { surface.close(); }}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        config.autoCheckUpdates = true;
        ASSERT_TRUE(open());
        c.close();
        EXPECT_FALSE(window.isOpen());
        EXPECT_EQ(surface.calls.back(), "destroy");

        config.autoCheckUpdates = false;
        surface.clearCalls();
        ASSERT_TRUE(open());
        EXPECT_EQ(surface.calls.front(), "create 0x140000000");
        EXPECT_FALSE(surface.control(1003)->selected); // read afresh
        window.onClose();
    }

    // The window goes with its object.
    {
        sim::SimSettingsSurface own;
        {
            SettingsWindow shortLived(own);
            ASSERT_TRUE(shortLived.create(kInstance, config, {}));
        }
        EXPECT_FALSE(own.created);
        EXPECT_EQ(own.window, nullptr);
    }
}

} // namespace
} // namespace qv
