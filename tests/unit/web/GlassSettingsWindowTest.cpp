// The web settings window's decisions: the settings document, what each page
// message stores, saves and asks for, how the browser is started, where the
// window opens and how it fits the page.
#include "web/GlassSettingsWindow.h"

#include "base/Elevation.h"
#include "base/LogTesting.h"
#include "base/Registry.h"
#include "base/StrPrintf.h"
#include "base/Version.h"
#include "settings/Config.h"
#include "sim/SimDesktop.h"
#include "sim/SimSettingsPageWindow.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace qv {
namespace {

using nlohmann::json;

constexpr uint64_t kInstance = 0x140000000;
const std::string kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kFolder = "C:\\Users\\sim\\AppData\\Roaming\\Quorvane";
const std::string kConfigFile = kFolder + "\\config.json";

std::string text(const ScreenRect& r) { return strprintf("(%d,%d)-(%d,%d)", r.left, r.top, r.right, r.bottom); }

DeviceEntry device(std::string instanceId, std::string name, bool enabled, bool present) {
    DeviceEntry e;
    e.id = "endpoint:" + instanceId;
    e.instanceId = std::move(instanceId);
    e.name = std::move(name);
    e.enabled = enabled;
    e.present = present;
    return e;
}

TEST(SettingsDocument, EveryMemberFromTheSettingsAndTheSystem) {
    Config c;
    GlassSettingsWindow::System s;
    s.startsWithWindows = true;
    EXPECT_EQ(GlassSettingsWindow::document(c, s),
              R"({"autoCheck":true,"autoInstall":true,"cams":[],"dev":false,"elevated":false,"hotplug":true,)"
              R"("maxPreviews":4,"micDevs":[],"mono":false,"recAudio":true,"recDir":"","recFps":30,)"
              R"("restoreWindows":true,"spkDevs":[],"startup":true,"version":")" + std::string(kVersion) + R"("})");

    c.updateChannel = "dev";
    c.monochromeIcon = true;
    c.recordingFps = 20;
    c.recordingDir = "D:\\Vid\xC3\xA9os \"raw\"";
    c.restoreWindowsOnReconnect = false;
    s.startsWithWindows = false;
    s.elevated = true;
    s.cameras = {device("USB\\VID_046D&PID_085B\\1", "Brio", true, true), device("", "No instance id", true, true)};
    s.speakers = {device("HDAUDIO\\1", "Speakers", false, true)};
    s.microphones = {device("USB\\MIC\\2", "Headset mic", true, false)};
    const json doc = json::parse(GlassSettingsWindow::document(c, s));
    EXPECT_EQ(doc["dev"], true);
    EXPECT_EQ(doc["mono"], true);
    EXPECT_EQ(doc["recFps"], 20);
    EXPECT_EQ(doc["restoreWindows"], false);
    EXPECT_EQ(doc["recDir"], "D:\\Vid\xC3\xA9os \"raw\"");
    EXPECT_EQ(doc["startup"], false);
    EXPECT_EQ(doc["elevated"], true);
    // Devices without an instance id cannot be switched and are left out.
    EXPECT_EQ(doc["cams"], json::parse(R"([{"id":"USB\\VID_046D&PID_085B\\1","name":"Brio","on":true,"present":true}])"));
    EXPECT_EQ(doc["spkDevs"], json::parse(R"([{"id":"HDAUDIO\\1","name":"Speakers","on":false,"present":true}])"));
    EXPECT_EQ(doc["micDevs"], json::parse(R"([{"id":"USB\\MIC\\2","name":"Headset mic","on":true,"present":false}])"));

    // Non-ASCII text stays as it is; a name that is not UTF-8 does not end the program.
    EXPECT_NE(GlassSettingsWindow::document(c, s).find("Vid\xC3\xA9os"), std::string::npos);
    s.cameras = {device("USB\\X", "Bad \xFF name", true, true)};
    EXPECT_NE(GlassSettingsWindow::document(c, s).find("Bad \xEF\xBF\xBD name"), std::string::npos);
}

TEST(SettingsFit, TheWindowFollowsThePageInsideTheWorkArea) {
    const ScreenRect work{0, 0, 1920, 1040};
    const ScreenRect window{100, 200, 580, 891}; // 660 of page and 31 of frame
    struct Case {
        const char* what;
        int32_t page;
        uint32_t dpi;
        std::optional<ScreenRect> work;
        const char* rect;
    };
    const Case cases[] = {
        {"a page as tall as the window", 660, 96, work, "(100,200)-(580,891)"},
        {"a shorter page", 500, 96, work, "(100,200)-(580,731)"},
        {"shorter than 300: 300", 120, 96, work, "(100,200)-(580,531)"},
        {"would pass the bottom: moved up", 900, 96, work, "(100,109)-(580,1040)"},
        {"taller than the work area: as tall as it", 2000, 96, work, "(100,0)-(580,1040)"},
        {"150 %: the page scaled, the frame as it is", 500, 144, work, "(100,200)-(580,981)"},
        {"a work area below the window: moved down to it", 300, 96, ScreenRect{0, 400, 1920, 1440},
         "(100,400)-(580,731)"},
        {"without monitor information: only the height", 900, 96, std::nullopt, "(100,200)-(580,1131)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(text(GlassSettingsWindow::fitted(window, 31, c.page, c.dpi, c.work)), c.rect);
    }
}

class GlassSettingsWindowTest : public ::testing::Test {
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
    void open() { settings.create(kInstance, config, callbacks()); }
    // Opens the window with its page loaded, and forgets what that took.
    void openLoaded() {
        open();
        page.loadPage();
        page.clearCalls();
        forgetFile();
    }
    void post(const json& message) { settings.onSettingsMessage(message.dump()); }

    // The settings file as saved; null when there is none.
    json saved() const {
        if (!desk.files.fileExists(kConfigFile)) return nullptr;
        return json::parse(desk.files.content(kConfigFile));
    }
    void forgetFile() { desk.files.removeFile(kConfigFile); }
    bool runValueExists() const {
        return desk.process.value(Registry::Root::CurrentUser, kRunKey, "Quorvane").has_value();
    }
    // The documents the page was given, parsed.
    std::vector<json> documents() const {
        std::vector<json> out;
        for (const std::string& s : page.scripts())
            if (s.rfind("window.qvInit(", 0) == 0) out.push_back(json::parse(s.substr(14, s.size() - 15)));
        return out;
    }

    sim::SimDesktop desk;
    Elevation elevation{desk.process, desk.process, desk.process};
    Config config;
    sim::SimSettingsPageWindow page;
    std::vector<DeviceEntry> cameras;
    std::vector<std::string> switched;
    std::string switchError;
    std::string switchNote; // the message of a switch that went through
    GlassSettingsWindow::Devices devices{
        [this](DeviceKind kind) { return kind == DeviceKind::Camera ? cameras : std::vector<DeviceEntry>{}; },
        [this](const std::string& id, bool on, std::string& error) {
            switched.push_back(id + (on ? " on" : " off"));
            error = switchError.empty() ? switchNote : switchError;
            return switchError.empty();
        }};
    GlassSettingsWindow settings{page, devices};
    std::vector<std::string> called;

private:
    Elevation* previousElevation_ = nullptr;
};

TEST_F(GlassSettingsWindowTest, OpensAtTheCursorInsideTheWorkAreaAndStartsTheBrowser) {
    struct Case {
        const char* what;
        ScreenPoint cursor;
        uint32_t dpi;
        bool workArea;
        const char* move;
    };
    const Case cases[] = {
        {"room at the cursor", {100, 200}, 96, true, "move (100,200)-(580,860)"},
        {"near the taskbar corner: left and up", {1900, 1030}, 96, true, "move (1440,380)-(1920,1040)"},
        {"150 %: scaled", {10, 10}, 144, true, "move (10,10)-(730,1000)"},
        {"a DPI Windows does not know: 96", {100, 200}, 0, true, "move (100,200)-(580,860)"},
        {"without monitor information: at the cursor", {1900, 1030}, 96, false, "move (1900,1030)-(2380,1690)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        settings.onClose();
        page.clearCalls();
        page.cursorAt = c.cursor;
        page.dpi = c.dpi;
        if (!c.workArea) page.workArea.reset();
        open();
        EXPECT_EQ(page.calls, (std::vector<std::string>{
                                  "create " + text({c.cursor.x, c.cursor.y, c.cursor.x + 480, c.cursor.y + 660}), c.move,
                                  "show", "environment C:\\Users\\sim\\AppData\\Local\\Quorvane\\WebView2"}));
    }

    // The browser comes up; the loaded page gets the settings.
    page.clearCalls();
    settings.onEnvironmentCreated(true);
    settings.onControllerCreated(true);
    EXPECT_FALSE(settings.ready());
    settings.onNavigationCompleted();
    EXPECT_TRUE(settings.ready());
    ASSERT_EQ(page.calls.size(), 3u);
    EXPECT_EQ(page.calls[0], "controller");
    EXPECT_EQ(page.calls[1], "startPage");
    EXPECT_EQ(documents().size(), 1u);
    EXPECT_EQ(documents()[0]["maxPreviews"], 4);
}

TEST_F(GlassSettingsWindowTest, ABrowserThatDoesNotStartLeavesTheWindowOpenAndEmpty) {
    struct Case {
        const char* what;
        std::function<void()> fail; // after the window opened
        const char* logged;
    };
    const Case cases[] = {
        {"environment call",
         [&] {
             settings.onClose();
             page.failEnvironmentCall = true;
             open();
         },
         "CreateCoreWebView2Environment call failed"},
        {"environment completion", [&] { settings.onEnvironmentCreated(false); }, "WebView2 environment failed"},
        {"controller call",
         [&] {
             page.failControllerCall = true;
             settings.onEnvironmentCreated(true);
         },
         "WebView2 controller failed"},
        {"controller completion",
         [&] {
             settings.onEnvironmentCreated(true);
             settings.onControllerCreated(false);
         },
         "WebView2 controller failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        settings.onClose();
        page.failEnvironmentCall = page.failControllerCall = false;
        desk.debug.clear();
        testing::internal::CaptureStderr();
        open();
        c.fail();
        testing::internal::GetCapturedStderr();
        EXPECT_TRUE(desk.debug.contains("ERR", c.logged));
        EXPECT_TRUE(settings.isOpen());
        EXPECT_FALSE(settings.ready());
        EXPECT_TRUE(page.scripts().empty());
        // Messages still change settings, without a page to push to.
        post({{"type", "set"}, {"key", "hotplug"}, {"value", false}});
        EXPECT_FALSE(config.autoRestoreOnHotplug);
        config.autoRestoreOnHotplug = true;
    }

    settings.onClose();
    page.failCreate = true;
    page.clearCalls();
    desk.debug.clear();
    testing::internal::CaptureStderr();
    open();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(desk.debug.contains("ERR", "GlassSettingsWindow: CreateWindowEx failed"));
    EXPECT_EQ(page.calls.size(), 1u);
    EXPECT_FALSE(settings.isOpen());
}

TEST_F(GlassSettingsWindowTest, EachSetIsStoredClampedAndSavedAtOnceWithoutANewDocument) {
    openLoaded();
    struct Case {
        const char* what;
        json message; // the "set" message's key and value
        const char* fileKey;
        json stored;
    };
    const Case cases[] = {
        {"hotplug off", {{"key", "hotplug"}, {"value", false}}, "autoRestoreOnHotplug", false},
        {"automatic check off", {{"key", "autoCheck"}, {"value", false}}, "autoCheckUpdates", false},
        {"automatic install off", {{"key", "autoInstall"}, {"value", false}}, "autoInstallUpdates", false},
        {"dev channel", {{"key", "dev"}, {"value", true}}, "updateChannel", "dev"},
        {"stable channel", {{"key", "dev"}, {"value", false}}, "updateChannel", "stable"},
        {"system audio off", {{"key", "recAudio"}, {"value", false}}, "recordingAudio", false},
        {"system audio: missing value is on", {{"key", "recAudio"}}, "recordingAudio", true},
        {"hotplug: missing value is off", {{"key", "hotplug"}}, "autoRestoreOnHotplug", false},
        {"windows back off", {{"key", "restoreWindows"}, {"value", false}}, "restoreWindowsOnReconnect", false},
        {"windows back on", {{"key", "restoreWindows"}, {"value", true}}, "restoreWindowsOnReconnect", true},
        {"windows back: missing value is off", {{"key", "restoreWindows"}}, "restoreWindowsOnReconnect", false},
        {"previews 3", {{"key", "maxPreviews"}, {"value", 3}}, "maxPreviews", 3},
        {"previews 12: 8", {{"key", "maxPreviews"}, {"value", 12}}, "maxPreviews", 8},
        {"previews 0: 1", {{"key", "maxPreviews"}, {"value", 0}}, "maxPreviews", 1},
        {"previews -7: 1", {{"key", "maxPreviews"}, {"value", -7}}, "maxPreviews", 1},
        {"previews 1e12: 8", {{"key", "maxPreviews"}, {"value", 1e12}}, "maxPreviews", 8},
        {"previews 5.0 as a script writes it", {{"key", "maxPreviews"}, {"value", 5.0}}, "maxPreviews", 5},
        {"previews: missing value is 1", {{"key", "maxPreviews"}}, "maxPreviews", 1},
        {"frame rate 24", {{"key", "recFps"}, {"value", 24}}, "recordingFps", 24},
        {"frame rate 2: 5", {{"key", "recFps"}, {"value", 2}}, "recordingFps", 5},
        {"frame rate 240: 60", {{"key", "recFps"}, {"value", 240}}, "recordingFps", 60},
        {"frame rate: missing value is 30", {{"key", "recFps"}}, "recordingFps", 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        json message = c.message;
        message["type"] = "set";
        forgetFile();
        post(message);
        EXPECT_EQ(saved()[c.fileKey], c.stored);
    }
    EXPECT_TRUE(page.scripts().empty());
    EXPECT_TRUE(called.empty());
}

// The settle time has no control: the page shows the switch from the file
// and a change of it saves the file with the settle time as it was edited.
TEST_F(GlassSettingsWindowTest, TheWindowsSwitchShowsTheFileAndKeepsTheSettleTime) {
    desk.files.setFile(kConfigFile, R"({"restoreWindowsOnReconnect": false, "hotplugSettleMs": 7000})");
    ASSERT_TRUE(config.load());
    open();
    page.loadPage();
    const std::vector<json> docs = documents();
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0]["restoreWindows"], false);
    EXPECT_FALSE(docs[0].contains("hotplugSettleMs"));

    post({{"type", "set"}, {"key", "restoreWindows"}, {"value", true}});
    EXPECT_TRUE(config.restoreWindowsOnReconnect);
    EXPECT_EQ(saved()["restoreWindowsOnReconnect"], true);
    EXPECT_EQ(saved()["hotplugSettleMs"], 7000);
}

TEST_F(GlassSettingsWindowTest, MessagesOfTheWrongShapeChangeNothing) {
    openLoaded();
    const Config before = config;
    const char* messages[] = {
        "",
        "not json",
        "[1,2]",
        R"("set")",
        R"({"type":7})",
        R"({"key":"mono","value":true})",
        R"({"type":"set","key":"mono","value":"true"})",
        R"({"type":"set","key":"mono","value":1})",
        R"({"type":"set","key":"startup","value":null})",
        R"({"type":"set","key":"dev","value":[true]})",
        R"({"type":"set","key":"restoreWindows","value":"false"})",
        R"({"type":"set","key":"restoreWindows","value":0})",
        R"({"type":"set","key":"hotplugSettleMs","value":0})",
        R"({"type":"set","key":"maxPreviews","value":"8"})",
        R"({"type":"set","key":"maxPreviews","value":2.5})",
        R"({"type":"set","key":"recFps","value":true})",
        R"({"type":"set","key":"recFps","value":1e400})",
        R"({"type":"set","key":7,"value":true})",
        R"({"type":"set","key":"updateBaseUrl","value":"http://evil"})",
        R"({"type":"set","key":"Mono","value":true})",
        R"({"type":"size","h":"tall"})",
        R"({"type":"device","id":5,"on":true})",
        R"({"type":"device","id":"USB\\1","on":"yes"})",
        R"({"type":"action","name":["close"]})",
        R"({"type":"action","name":"format c:"})",
        R"({"type":"unknown"})",
        "{\"type\":\"set\",\"key\":\"mono\",\"value\":true",
        "{\"type\":\"set\",\"key\":\"m\xFFono\",\"value\":true}",
    };
    for (const char* m : messages) {
        SCOPED_TRACE(m);
        settings.onSettingsMessage(m);
    }
    // Nothing changed, so nothing was saved either.
    EXPECT_FALSE(desk.files.fileExists(kConfigFile));
    EXPECT_EQ(config.startWithWindows, before.startWithWindows);
    EXPECT_EQ(config.monochromeIcon, before.monochromeIcon);
    EXPECT_EQ(config.updateChannel, before.updateChannel);
    EXPECT_EQ(config.updateBaseUrl, before.updateBaseUrl);
    EXPECT_EQ(config.maxPreviews, before.maxPreviews);
    EXPECT_EQ(config.recordingFps, before.recordingFps);
    EXPECT_EQ(config.restoreWindowsOnReconnect, before.restoreWindowsOnReconnect);
    EXPECT_EQ(config.hotplugSettleMs, before.hotplugSettleMs);
    EXPECT_FALSE(runValueExists());
    EXPECT_TRUE(switched.empty());
    EXPECT_TRUE(called.empty());
    EXPECT_EQ(page.calls, std::vector<std::string>{});
}

TEST_F(GlassSettingsWindowTest, TheMonochromeIconIsSavedBeforeTheTrayIconIsSwapped) {
    bool savedFirst = false;
    SettingsCallbacks hooks = callbacks();
    hooks.refreshTrayIcon = [&] { savedFirst = config.monochromeIcon && saved()["monochromeIcon"] == true; };
    settings.create(kInstance, config, hooks);
    page.loadPage();
    post({{"type", "set"}, {"key", "mono"}, {"value", true}});
    EXPECT_TRUE(savedFirst);
}

TEST_F(GlassSettingsWindowTest, StartWithWindowsSwitchesTheRunValueAndAFailureShowsTheRealState) {
    openLoaded();
    post({{"type", "set"}, {"key", "startup"}, {"value", true}});
    EXPECT_TRUE(runValueExists());
    EXPECT_EQ(saved()["startWithWindows"], true);
    EXPECT_TRUE(page.scripts().empty());

    // The Run value cannot be written: the settings keep what it says and
    // the page gets a document showing the switch as it really is.
    for (bool on : {false, true}) {
        SCOPED_TRACE(on ? "switching on" : "switching off");
        desk.process.deniedAccess = 0;
        post({{"type", "set"}, {"key", "startup"}, {"value", !on}});
        desk.process.deniedAccess = Registry::kKeySetValue;
        page.clearCalls();
        desk.debug.clear();
        testing::internal::CaptureStderr();
        post({{"type", "set"}, {"key", "startup"}, {"value", on}});
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(runValueExists(), !on);
        EXPECT_EQ(config.startWithWindows, !on);
        EXPECT_EQ(saved()["startWithWindows"], !on);
        ASSERT_EQ(documents().size(), 1u);
        EXPECT_EQ(documents()[0]["startup"], !on);
        EXPECT_TRUE(desk.debug.contains("ERR", "Could not update startup setting."));
    }
}

TEST_F(GlassSettingsWindowTest, ActionsAskTheControllerOrTheWindow) {
    openLoaded();
    struct Case {
        const char* name;
        std::vector<std::string> called;
        std::vector<std::string> calls; // of the window, documents shortened to "qvInit"
    };
    const Case cases[] = {
        {"checkUpdates", {"checkForUpdates"}, {}},
        {"arrange", {"openArrangement"}, {}},
        {"openRecordings", {"openRecordingsFolder"}, {}},
        {"recordingFolder", {"chooseRecordingsFolder"}, {"qvInit"}},
        {"openFolder", {}, {"openFolder " + kFolder}},
        {"close", {}, {"postClose"}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        called.clear();
        page.clearCalls();
        post({{"type", "action"}, {"name", c.name}});
        EXPECT_EQ(called, c.called);
        std::vector<std::string> calls;
        for (const std::string& line : page.calls)
            calls.push_back(line.rfind("script window.qvInit(", 0) == 0 ? "qvInit" : line);
        EXPECT_EQ(calls, c.calls);
    }

    // The chosen folder shows in the document pushed after the choice.
    SettingsCallbacks hooks = callbacks();
    hooks.chooseRecordingsFolder = [&] { config.recordingDir = "E:\\Clips"; };
    settings.create(kInstance, config, hooks);
    page.clearCalls();
    post({{"type", "action"}, {"name", "recordingFolder"}});
    ASSERT_EQ(documents().size(), 1u);
    EXPECT_EQ(documents()[0]["recDir"], "E:\\Clips");

    // Nothing is asked of callbacks the controller did not give.
    settings.create(kInstance, config, SettingsCallbacks{});
    called.clear();
    for (const char* name : {"checkUpdates", "arrange", "openRecordings", "recordingFolder"})
        post({{"type", "action"}, {"name", name}});
    post({{"type", "set"}, {"key", "mono"}, {"value", true}});
    EXPECT_TRUE(called.empty());
    EXPECT_TRUE(config.monochromeIcon);
}

TEST_F(GlassSettingsWindowTest, ADeviceSwitchPushesTheRealStatesAndAFailureShowsItsText) {
    cameras = {device("USB\\CAM\\1", "Brio", true, true)};
    openLoaded();
    post({{"type", "device"}, {"id", "USB\\CAM\\1"}, {"on", false}});
    EXPECT_EQ(switched, std::vector<std::string>{"USB\\CAM\\1 off"});
    EXPECT_EQ(page.scripts().size(), 1u);
    EXPECT_EQ(documents().size(), 1u);

    page.clearCalls();
    switchError = "Access is denied. \"Run elevated\" first.";
    post({{"type", "device"}, {"id", "USB\\CAM\\1"}, {"on", true}});
    ASSERT_EQ(page.scripts().size(), 2u);
    EXPECT_EQ(documents().size(), 1u);
    EXPECT_EQ(page.scripts()[1], R"(window.qvNotice&&window.qvNotice("Access is denied. \"Run elevated\" first."))");

    // A switch that went through with a word for the user shows it as information.
    page.clearCalls();
    switchError.clear();
    switchNote = "Windows will finish this after a restart.";
    post({{"type", "device"}, {"id", "USB\\CAM\\1"}, {"on", false}});
    ASSERT_EQ(page.scripts().size(), 2u);
    EXPECT_EQ(documents().size(), 1u);
    EXPECT_EQ(page.scripts()[1],
              R"(window.qvNotice&&window.qvNotice("Windows will finish this after a restart.","info"))");
    switchNote.clear();

    // Missing members take their defaults: an empty id, off.
    switched.clear();
    post({{"type", "device"}});
    EXPECT_EQ(switched, std::vector<std::string>{" off"});
}

TEST_F(GlassSettingsWindowTest, ThePageHeightResizesTheWindowOnlyWhenItChanges) {
    page.cursorAt = {100, 200};
    openLoaded();
    page.rect = {100, 200, 580, 891};
    post({{"type", "size"}, {"h", 660}});
    EXPECT_TRUE(page.calls.empty());
    post({{"type", "size"}, {"h", 500}});
    EXPECT_EQ(page.calls, std::vector<std::string>{"move (100,200)-(580,731)"});
    page.clearCalls();
    post({{"type", "size"}});
    EXPECT_EQ(page.calls, std::vector<std::string>{"move (100,200)-(580,891)"});
    page.clearCalls();
    post({{"type", "size"}, {"h", 1e15}});
    EXPECT_EQ(page.calls, std::vector<std::string>{"move (100,0)-(580,1040)"});

    // Moved to a monitor of another DPI: the suggested rectangle, then the
    // page reports its height again.
    page.clearCalls();
    settings.onDpiChanged({50, 60, 770, 1050});
    EXPECT_EQ(page.calls,
              (std::vector<std::string>{"move (50,60)-(770,1050)", "script window.qvPostSize&&window.qvPostSize()"}));
}

TEST_F(GlassSettingsWindowTest, ASecondRequestBringsTheWindowForwardWithTheCurrentSettings) {
    openLoaded();
    Config other;
    other.maxPreviews = 2;
    settings.create(kInstance, other, callbacks("new "));
    ASSERT_EQ(page.calls.size(), 2u);
    EXPECT_EQ(page.calls[0], "show");
    EXPECT_EQ(documents()[0]["maxPreviews"], 2);
    post({{"type", "action"}, {"name", "arrange"}});
    EXPECT_EQ(called, std::vector<std::string>{"new openArrangement"});

    // Closing destroys the window and its browser; the next request builds both afresh.
    page.clearCalls();
    settings.onClose();
    EXPECT_EQ(page.calls, (std::vector<std::string>{"destroy", "closeBrowser"}));
    EXPECT_FALSE(settings.isOpen());
    EXPECT_FALSE(settings.ready());
    settings.pushSettings();
    EXPECT_TRUE(page.scripts().empty());
    page.clearCalls();
    open();
    EXPECT_EQ(page.calls.front().rfind("create ", 0), 0u);
}

// Random messages built from the page's own vocabulary and from noise: none
// ends the program, and the settings never leave their ranges.
TEST_F(GlassSettingsWindowTest, RandomMessagesNeverCrashOrLeaveTheRanges) {
    cameras = {device("USB\\CAM\\1", "Brio", true, true)};
    openLoaded();
    std::mt19937 rng(20261210);
    const auto pick = [&](const auto& list) { return list[rng() % std::size(list)]; };
    const std::vector<json> values = {true,   false, nullptr, 0,    1,    8,    9,          -1,   60,   61,   4.5,
                                      1e300,  -1e300, "",    "8",  "true", json::array(), json::object(),
                                      json::array({1, 2}), INT64_MAX, INT64_MIN, UINT64_MAX};
    const std::vector<std::string> types = {"size", "set", "device", "action", "other", ""};
    const std::vector<std::string> keys = {"startup", "hotplug",  "autoCheck", "autoInstall", "dev", "mono",
                                           "maxPreviews", "recFps", "recAudio", "restoreWindows",
                                           "hotplugSettleMs", "h", "id", "on", "name", "x"};
    const std::vector<std::string> names = {"checkUpdates", "openFolder", "arrange", "recordingFolder",
                                            "openRecordings", "close", "?"};
    for (int i = 0; i < 3000; ++i) {
        json message = json::object();
        if (rng() % 8 != 0) message["type"] = pick(types);
        for (int n = rng() % 4; n > 0; --n) message[pick(keys)] = pick(values);
        if (rng() % 3 == 0) message["key"] = pick(keys);
        if (rng() % 4 == 0) message["name"] = pick(names);
        std::string textMessage = message.dump();
        if (rng() % 10 == 0) textMessage.resize(rng() % (textMessage.size() + 1));
        if (rng() % 20 == 0 && !textMessage.empty()) textMessage[rng() % textMessage.size()] = static_cast<char>(rng());
        settings.onSettingsMessage(textMessage);
        ASSERT_GE(config.maxPreviews, 1);
        ASSERT_LE(config.maxPreviews, 8);
        ASSERT_GE(config.recordingFps, 5);
        ASSERT_LE(config.recordingFps, 60);
        ASSERT_TRUE(config.updateChannel == "stable" || config.updateChannel == "dev");
        // A setting the page has no control for is never changed by it.
        ASSERT_EQ(config.hotplugSettleMs, 3000);
        if (!settings.isOpen()) openLoaded();
    }
}

} // namespace
} // namespace qv
