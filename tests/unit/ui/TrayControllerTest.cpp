#include "ui/TrayController.h"

#include "actions/ActionRequest.h"
#include "base/Elevation.h"
#include "base/LogTesting.h"
#include "base/StrPrintf.h"
#include "capture/CaptureActivity.h"
#include "hotkeys/Chord.h"
#include "sim/SimArrangementSurface.h"
#include "sim/SimBrowserRuntime.h"
#include "sim/SimFlyoutPanelSurface.h"
#include "sim/SimFlyoutWindow.h"
#include "sim/SimForeground.h"
#include "sim/SimHotkeys.h"
#include "sim/SimProcess.h"
#include "sim/SimSettingsPageWindow.h"
#include "web/GlassSettingsWindow.h"
#include "sim/SimSettingsSurface.h"
#include "sim/SimShell.h"
#include "ui/FlyoutPanel.h"
#include "ui/FolderPicker.h"
#include "ui/SettingsWindow.h"
#include "ui/TrayMenu.h"
#include "windows/WindowHomecoming.h"
#include "update/UpdateRunner.h"
#include "unit/CoreWorld.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv {
namespace {

using sim::SimProcess;
using sim::SimShell;
using Shell = TrayShellApi;

constexpr uint64_t kInstance = 0x140000000;
constexpr uint32_t kWmContextMenu = 0x007B;
constexpr uint32_t kWmDisplayChange = 0x007E;
constexpr uint32_t kWmCommand = 0x0111;
constexpr uint32_t kWmTimer = 0x0113;
constexpr uint32_t kWmMouseMove = 0x0200;
constexpr uint32_t kWmLButtonUp = 0x0202;
constexpr uint32_t kWmRButtonUp = 0x0205;
constexpr uint32_t kWmHotkey = 0x0312;
constexpr uint32_t kNinSelect = 0x0400;
constexpr uint32_t kTrayCallback = 0x8001;

const std::string kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kConfigFile = "C:\\Users\\sim\\AppData\\Roaming\\Quorvane\\config.json";

// The hotkey table of the simulated desktop; releasing a hotkey also goes
// into the process's call log, so the teardown order can be read in one place.
class LoggedHotkeys final : public HotkeyRegistrar {
public:
    LoggedHotkeys(sim::SimHotkeys& table, SimProcess& process) : table_(table), process_(process) {}
    bool registerHotkey(std::uint64_t window, std::int32_t id, std::uint32_t modifiers, std::uint32_t vk) override {
        return table_.registerHotkey(window, id, modifiers, vk);
    }
    bool unregisterHotkey(std::uint64_t window, std::int32_t id) override {
        process_.record(strprintf("UnregisterHotKey(0x%x)", static_cast<unsigned>(id)));
        return table_.unregisterHotkey(window, id);
    }

private:
    sim::SimHotkeys& table_;
    SimProcess& process_;
};

// WM_APP + 1 as a NOTIFYICON_VERSION_4 icon sends it: the anchor point in
// wParam, the event and the icon id in lParam.
uint64_t anchor(int16_t x, int16_t y) {
    return static_cast<uint64_t>(static_cast<uint16_t>(x)) | (static_cast<uint64_t>(static_cast<uint16_t>(y)) << 16);
}
int64_t trayEvent(uint32_t event) { return static_cast<int64_t>(event | (1u << 16)); }

class TrayControllerTest : public test::CoreWorld {
protected:
    void SetUp() override {
        previousElevation_ = Elevation::install(&elevation);
        log::resetForTests();
    }
    void TearDown() override { Elevation::install(previousElevation_); }

    std::unique_ptr<TrayController> make() {
        return std::make_unique<TrayController>(TrayController::Ports{desk.process, desk.shell, registrar, desk.ticks});
    }

    // A controller that has been created; the calls, notices and log lines of
    // its creation are cleared.
    std::unique_ptr<TrayController> created() {
        auto controller = make();
        EXPECT_TRUE(controller->create(kInstance, bus, manager, layouts, config));
        desk.process.calls.clear();
        desk.shell.notices.clear();
        desk.debug.clear();
        return controller;
    }

    int64_t send(TrayController& controller, uint32_t message, uint64_t wParam = 0, int64_t lParam = 0) {
        return controller.onMessage(controller.window(), message, wParam, lParam);
    }

    bool dispatched(const std::string& kind) const { return desk.debug.contains("INF", "dispatch " + kind); }
    bool anyDispatch() const {
        for (const std::string& line : desk.debug.lines())
            if (line.find("] dispatch ") != std::string::npos) return true;
        return false;
    }

    LoggedHotkeys registrar{desk.hotkeys, desk.process};
    Elevation elevation{desk.process, desk.process, desk.process};

private:
    Elevation* previousElevation_ = nullptr;
};

// --- create and teardown -------------------------------------------------

TEST_F(TrayControllerTest, CreatesTheWindowThenTheTrayIcon) {
    auto controller = make();

    ASSERT_TRUE(controller->create(kInstance, bus, manager, layouts, config));

    EXPECT_EQ(desk.process.calls, (std::vector<std::string>{
                             "RegisterWindowMessageW(Quorvane_ShowFlyout)",
                             "RegisterWindowMessageW(TaskbarCreated)",
                             "RegisterWindowMessageW(Quorvane_Quit)",
                             "RegisterClassExW(QuorvaneTray, icon 101)",
                             // WS_EX_TOOLWINDOW, WS_POPUP: a top-level pop-up that is never shown,
                             // so the broadcast show-flyout message reaches it.
                             "CreateWindowExW(0x80, QuorvaneTray, Quorvane, 0x80000000)",
                             "LoadImageW(101, small)",
                             "Shell_NotifyIconW(NIM_ADD)",
                             "Shell_NotifyIconW(NIM_SETVERSION)",
                             "SetTimer(42, 14400000)", // update checks every four hours
                             "SetTimer(43, 1500)", // the welcome: not shown yet
                         }));
    ASSERT_EQ(desk.process.windows.size(), 1u);
    EXPECT_EQ(desk.process.windows.begin()->first, controller->window());
    EXPECT_EQ(desk.process.windows.begin()->second.instance, kInstance);
    EXPECT_EQ(controller->showFlyoutMessage(), desk.process.messageId("Quorvane_ShowFlyout"));
    // Nothing to report on a clean start.
    EXPECT_TRUE(desk.shell.notices.empty());
}

TEST_F(TrayControllerTest, TrayIconRecordPicksTheIconFromTheSettings) {
    for (bool monochrome : {false, true}) {
        SCOPED_TRACE(monochrome ? "monochrome" : "colour");
        config.monochromeIcon = monochrome;
        auto controller = make();
        ASSERT_TRUE(controller->create(kInstance, bus, manager, layouts, config));

        ASSERT_EQ(desk.shell.icons.size(), 1u);
        const NotifyIconData& icon = desk.shell.icons.begin()->second;
        EXPECT_EQ(icon.size, 976u);
        EXPECT_EQ(icon.window, controller->window());
        EXPECT_EQ(icon.id, 1u);
        EXPECT_EQ(icon.flags, 7u);  // NIF_MESSAGE | NIF_ICON | NIF_TIP
        EXPECT_EQ(icon.callbackMessage, 0x8001u);
        EXPECT_EQ(icon.icon, SimShell::iconFor(monochrome ? 102 : 101));
        EXPECT_EQ(icon.tip, "Quorvane");
        EXPECT_EQ(icon.version, 4u);  // NOTIFYICON_VERSION_4, set after the add
        controller.reset();
        EXPECT_TRUE(desk.shell.icons.empty());
    }
}

// "Settings…" opens the classic settings window; ticking the monochrome icon
// there swaps the tray icon at once; its arrangement button opens that window.
TEST_F(TrayControllerTest, SettingsOpenFromTheMenuAndTheirCallbacksAct) {
    sim::SimSettingsSurface settings;
    sim::SimArrangementSurface arrangement;
    TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
    ports.settings = &settings;
    ports.arrangement = &arrangement;
    TrayController controller(ports);
    ASSERT_TRUE(controller.create(kInstance, bus, manager, layouts, config));
    EXPECT_FALSE(settings.created);

    controller.onCommand(TrayMenu::kSettings);
    ASSERT_TRUE(settings.visible);
    ASSERT_FALSE(config.monochromeIcon);

    settings.click(SettingsWindow::kMonochromeIcon);
    EXPECT_TRUE(config.monochromeIcon);
    ASSERT_EQ(desk.shell.icons.size(), 1u);
    EXPECT_EQ(desk.shell.icons.begin()->second.icon, SimShell::iconFor(102)) << "swapped at once";
    EXPECT_EQ(controller.trayIcon().icon, SimShell::iconFor(102));
    Config saved;
    ASSERT_TRUE(saved.load());
    EXPECT_TRUE(saved.monochromeIcon);

    settings.click(SettingsWindow::kArrange);
    EXPECT_TRUE(arrangement.visible);

    // Asked again while open: the same window, in front.
    controller.onCommand(TrayMenu::kSettings);
    EXPECT_TRUE(settings.visible);
}

// Every switch loads an icon of the program's own: the one it replaces is
// destroyed, and so is a new one the shell refused, which leaves the shown
// icon as it was.
TEST_F(TrayControllerTest, SwitchingTheIconDestroysTheOneItReplaces) {
    auto controller = created();
    ASSERT_EQ(desk.shell.liveIconCount(), 1);

    for (int i = 0; i < 100; ++i) {
        config.monochromeIcon = !config.monochromeIcon;
        controller->refreshTrayIcon();
    }
    EXPECT_EQ(desk.shell.liveIconCount(), 1);
    EXPECT_EQ(controller->trayIcon().icon, SimShell::iconFor(101));
    EXPECT_EQ(std::vector<std::string>(desk.process.calls.end() - 3, desk.process.calls.end()),
              (std::vector<std::string>{"LoadImageW(101, small)", "Shell_NotifyIconW(NIM_MODIFY)", "DestroyIcon(102)"}));

    desk.shell.explorerRunning = false;
    config.monochromeIcon = true;
    controller->refreshTrayIcon();
    EXPECT_EQ(desk.shell.liveIconCount(), 1);
    EXPECT_EQ(controller->trayIcon().icon, SimShell::iconFor(101)) << "the refused icon is not kept";
    EXPECT_EQ(desk.process.calls.back(), "DestroyIcon(102)");

    desk.shell.explorerRunning = true;
    controller.reset();
    EXPECT_EQ(desk.shell.liveIconCount(), 0);
}

// With the browser runtime "Settings…" opens the web settings page, asked
// afresh each time; without it, or when its window cannot be created, the
// classic window opens. The page's monochrome switch swaps the icon at once.
TEST_F(TrayControllerTest, SettingsOpenTheWebPageWhileTheRuntimeIsThere) {
    sim::SimSettingsSurface classic;
    sim::SimSettingsPageWindow page;
    sim::SimBrowserRuntime runtime;
    TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
    ports.settings = &classic;
    ports.settingsPage = &page;
    ports.browserRuntime = &runtime;
    TrayController controller(ports);
    ASSERT_TRUE(controller.create(kInstance, bus, manager, layouts, config));

    runtime.installed = true;
    controller.onCommand(TrayMenu::kSettings);
    EXPECT_TRUE(page.shown);
    EXPECT_FALSE(classic.created);
    page.loadPage();
    ASSERT_NE(page.window, nullptr);
    page.window->onSettingsMessage(R"({"type":"set","key":"mono","value":true})");
    EXPECT_EQ(desk.shell.icons.begin()->second.icon, SimShell::iconFor(102)) << "swapped at once";

    runtime.installed = false;
    controller.onCommand(TrayMenu::kSettings);
    EXPECT_TRUE(classic.visible);
    EXPECT_EQ(runtime.asked, 2);

    classic.close();
    page.window->onClose();
    runtime.installed = true;
    page.failCreate = true;
    testing::internal::CaptureStderr();
    controller.onCommand(TrayMenu::kSettings);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(page.created);
    EXPECT_TRUE(classic.visible);
}

// Starts nothing; remembers what it was asked to start.
class RecordingRunner final : public UpdateRunner {
public:
    std::vector<std::string> started;
    std::function<void()> finish;
    AutomaticCheck lastAutomatic;
    void startAutomatic(WindowHandle, const AutomaticCheck& check) override {
        started.push_back("automatic " + check.baseUrl + " " + check.channel + (check.autoInstall ? " install" : "") +
                          (check.lastAutoInstallVersion.empty() ? "" : " not " + check.lastAutoInstallVersion));
        lastAutomatic = check;
    }
    void startRequested(WindowHandle, const std::string& base, const std::string& channel,
                        std::function<void()> finished) override {
        started.push_back("requested " + base + " " + channel);
        finish = std::move(finished);
    }
};

TEST_F(TrayControllerTest, UpdateChecksStartOnTimeOnceAtATimeAndTheirMessagesAreShown) {
    RecordingRunner runner;
    config.updateBaseUrl = "https://updates.example/quorvane";
    config.updateChannel = "dev";
    config.autoInstallUpdates = false;
    TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
    ports.updates = &runner;
    TrayController controller(ports);
    ASSERT_TRUE(controller.create(kInstance, bus, manager, layouts, config));
    send(controller, 0x0113, TrayController::kUpdateTimer);
    EXPECT_EQ(runner.started, (std::vector<std::string>{"automatic https://updates.example/quorvane dev",
                                                        "automatic https://updates.example/quorvane dev"}));

    // A requested check runs once at a time, from the menu or the settings.
    runner.started.clear();
    controller.onCommand(TrayMenu::kCheckForUpdates);
    controller.onCommand(TrayMenu::kCheckForUpdates);
    EXPECT_EQ(runner.started, (std::vector<std::string>{"requested https://updates.example/quorvane dev"}));
    runner.finish();
    controller.onCommand(TrayMenu::kCheckForUpdates);
    EXPECT_EQ(runner.started.size(), 2u);
    runner.finish();

    // What the checks' threads post: each version announced once; installing quits.
    desk.shell.notices.clear();
    const auto version = [](const char* text) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(new std::string(text))); };
    send(controller, UpdateRunner::kUpdateAvailableMessage, 0, version("1.4.0"));
    send(controller, UpdateRunner::kUpdateAvailableMessage, 0, version("1.4.0"));
    send(controller, UpdateRunner::kUpdateAvailableMessage, 0, 0);
    send(controller, UpdateRunner::kUpdateNoticeMessage, 0,
         static_cast<int64_t>(reinterpret_cast<intptr_t>(new std::pair<std::string, std::string>("Update failed", "Digest mismatch"))));
    send(controller, UpdateRunner::kUpdateInstallingMessage, 0, version("1.4.0"));
    send(controller, UpdateRunner::kUpdateInstallingMessage, 0, 0);
    EXPECT_EQ(desk.shell.notices,
              (std::vector<SimShell::Notice>{
                  {"Update available", "v1.4.0 is available \xE2\x80\x94 right-click \xE2\x86\x92 Check for updates.", false},
                  {"Update failed", "Digest mismatch", true},
                  {"Updating Quorvane", "Installing v1.4.0 and restarting\xE2\x80\xA6", false},
                  {"Updating Quorvane", "Installing update and restarting\xE2\x80\xA6", false}}));
    EXPECT_EQ(std::count(desk.process.calls.begin(), desk.process.calls.end(), "PostQuitMessage(0)"), 2);
}

// An automatic install remembers its version in the settings file before the
// program quits; the restarted program's checks are told it, and whether a
// recording or share runs. A requested install remembers nothing.
TEST_F(TrayControllerTest, AnAutomaticInstallIsRememberedBeforeTheProgramQuits) {
    const auto version = [](const char* text) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(new std::string(text))); };
    {
        RecordingRunner runner;
        TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
        ports.updates = &runner;
        TrayController controller(ports);
        ASSERT_TRUE(controller.create(kInstance, bus, manager, layouts, config));
        EXPECT_EQ(runner.started, std::vector<std::string>{"automatic " + std::string(Config::kDefaultUpdateBaseUrl) +
                                                           " stable install"});
        ASSERT_TRUE(runner.lastAutomatic.captureRunning);
        EXPECT_FALSE(runner.lastAutomatic.captureRunning());
        {
            const CaptureActivity recording;
            EXPECT_TRUE(runner.lastAutomatic.captureRunning()) << "asked afresh on every call";
        }

        send(controller, UpdateRunner::kUpdateInstallingMessage, 0, version("1.4.1"));
        EXPECT_EQ(config.lastAutoInstallVersion, "") << "a requested install is not remembered";
        desk.process.calls.clear();
        send(controller, UpdateRunner::kUpdateAutoInstallingMessage, 0, version("1.4.0"));
        EXPECT_EQ(config.lastAutoInstallVersion, "1.4.0");
        EXPECT_EQ(nlohmann::json::parse(desk.files.content(kConfigFile))["lastAutoInstallVersion"], "1.4.0");
        EXPECT_EQ(std::count(desk.process.calls.begin(), desk.process.calls.end(), "PostQuitMessage(0)"), 1);
        EXPECT_EQ(desk.shell.notices.back(),
                  (SimShell::Notice{"Updating Quorvane", "Installing v1.4.0 and restarting\xE2\x80\xA6", false}));
    }

    // The restarted program.
    Config restarted;
    ASSERT_TRUE(restarted.load());
    RecordingRunner runner;
    TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
    ports.updates = &runner;
    TrayController controller(ports);
    ASSERT_TRUE(controller.create(kInstance, bus, manager, layouts, restarted));
    EXPECT_EQ(runner.started, std::vector<std::string>{"automatic " + std::string(Config::kDefaultUpdateBaseUrl) +
                                                       " stable install not 1.4.0"});
}

TEST_F(TrayControllerTest, NoAutomaticCheckWhenSwitchedOff) {
    RecordingRunner runner;
    config.autoCheckUpdates = false;
    TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
    ports.updates = &runner;
    TrayController controller(ports);
    ASSERT_TRUE(controller.create(kInstance, bus, manager, layouts, config));
    EXPECT_TRUE(runner.started.empty());
    EXPECT_EQ(std::count(desk.process.calls.begin(), desk.process.calls.end(), "SetTimer(42, 14400000)"), 0);
}

// A folder chooser that answers as the test says.
class ScriptedPicker final : public FolderPicker {
public:
    std::optional<std::string> answer;
    int shown = 0;
    std::optional<std::string> pickFolder() override {
        ++shown;
        return answer;
    }
};

// Where recordings go, opening that folder and choosing another, from the
// settings window's two buttons and the classic flyout's folder button.
TEST_F(TrayControllerTest, RecordingsFolderIsOpenedAndChosen) {
    desk.createUserProfile();
    desk.files.createFolderChain("C:\\Users\\sim\\Videos");
    sim::SimSettingsSurface settings;
    sim::SimFlyoutPanelSurface classic;
    ScriptedPicker picker;
    TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
    ports.settings = &settings;
    ports.classicFlyout = &classic;
    ports.shellApi = &desk.process;
    ports.folderPicker = &picker;
    TrayController controller(ports);
    ASSERT_TRUE(controller.create(kInstance, bus, manager, layouts, config));

    // By default: "Quorvane" in the user's Videos folder, created when asked for.
    EXPECT_EQ(controller.recordingsFolder(), "C:\\Users\\sim\\Videos\\Quorvane");
    EXPECT_TRUE(desk.files.folderExists("C:\\Users\\sim\\Videos\\Quorvane"));
    desk.process.calls.clear();
    controller.classicFlyout()->onCommand(FlyoutPanel::kRecordings);
    EXPECT_EQ(std::count(desk.process.calls.begin(), desk.process.calls.end(),
                         "ShellExecuteExW(open, C:\\Users\\sim\\Videos\\Quorvane, , 0x0, 1)"),
              1);

    // Cancelling the chooser changes nothing; a choice is saved at once.
    controller.onCommand(TrayMenu::kSettings);
    settings.click(SettingsWindow::kRecordingFolder);
    EXPECT_EQ(picker.shown, 1);
    EXPECT_EQ(config.recordingDir, "");
    picker.answer = "D:\\Clips";
    settings.click(SettingsWindow::kRecordingFolder);
    EXPECT_EQ(config.recordingDir, "D:\\Clips");
    Config saved;
    ASSERT_TRUE(saved.load());
    EXPECT_EQ(saved.recordingDir, "D:\\Clips");
    desk.process.calls.clear();
    settings.click(SettingsWindow::kOpenRecordings);
    EXPECT_EQ(std::count(desk.process.calls.begin(), desk.process.calls.end(),
                         "ShellExecuteExW(open, D:\\Clips, , 0x0, 1)"),
              1);
}

TEST_F(TrayControllerTest, WindowFailureIsLoggedAndReported) {
    desk.process.windowCreationFails = true;
    {
        auto controller = make();
        EXPECT_FALSE(controller->create(kInstance, bus, manager, layouts, config));
        EXPECT_EQ(controller->window(), 0u);
        EXPECT_TRUE(desk.debug.contains("ERR", "TrayController: CreateWindowEx failed"));
    }
    EXPECT_EQ(std::count(desk.process.calls.begin(), desk.process.calls.end(), "DestroyWindow"), 0);
    EXPECT_TRUE(desk.shell.icons.empty());
    EXPECT_EQ(desk.hotkeys.ownedCount(), 0u);
}

TEST_F(TrayControllerTest, IconFailureIsLoggedAndReportedAndLeavesNothingBehind) {
    desk.shell.explorerRunning = false;
    {
        auto controller = make();
        EXPECT_FALSE(controller->create(kInstance, bus, manager, layouts, config));
        EXPECT_TRUE(desk.debug.contains("ERR", "Shell_NotifyIcon(NIM_ADD) failed"));
        EXPECT_EQ(controller->trayIcon().size, 0u);
        // No hotkeys, no version call after the failed add.
        EXPECT_EQ(desk.hotkeys.ownedCount(), 0u);
        EXPECT_EQ(desk.process.calls.back(), "DestroyIcon(101)") << "the icon that was never shown";
        EXPECT_EQ(desk.shell.liveIconCount(), 0);
        desk.process.calls.clear();
    }
    // The window goes; there is no icon to delete.
    EXPECT_EQ(desk.process.calls, std::vector<std::string>{"DestroyWindow"});
}

TEST_F(TrayControllerTest, TeardownRemovesTheIconThenTheWindowThenTheHotkeys) {
    auto controller = created();
    ASSERT_EQ(desk.hotkeys.ownedCount(), 11u);

    controller.reset();

    std::vector<std::string> expected = {"Shell_NotifyIconW(NIM_DELETE)", "DestroyIcon(101)", "DestroyWindow"};
    for (int id = 0xB000; id < 0xB000 + 11; ++id) expected.push_back(strprintf("UnregisterHotKey(0x%x)", id));
    EXPECT_EQ(desk.process.calls, expected);
    EXPECT_TRUE(desk.shell.icons.empty());
    EXPECT_TRUE(desk.process.windows.empty());
    EXPECT_EQ(desk.hotkeys.ownedCount(), 0u);
}

TEST_F(TrayControllerTest, DestroyedWindowIsForgottenAndNotDestroyedAgain) {
    {
        auto controller = created();
        send(*controller, 0x0002 /* WM_DESTROY */);
        EXPECT_EQ(controller->window(), 0u);
    }
    EXPECT_EQ(std::count(desk.process.calls.begin(), desk.process.calls.end(), "DestroyWindow"), 0);
}

TEST_F(TrayControllerTest, KnowsTheConnectedMonitorsAndFollowsDisplayChanges) {
    const sim::SimDisplays::Docked docked = desk.displays.laptopWithTwoDocked();
    auto controller = created();

    std::vector<std::string> keys;
    for (const DisplayInfo& info : manager.enumerate()) keys.push_back(info.key);
    std::sort(keys.begin(), keys.end());
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(controller->knownDisplayKeys(), keys);

    desk.displays.unplug(docked.right);
    EXPECT_EQ(send(*controller, kWmDisplayChange), 0);
    // The change is looked at once it has settled: the one-shot timer.
    EXPECT_EQ(controller->knownDisplayKeys(), keys);
    EXPECT_EQ(desk.process.calls.back(), "SetTimer(44, 3000)");
    desk.ticks.advance(3000);
    EXPECT_EQ(send(*controller, kWmTimer, TrayController::kSettleTimer), 0);
    EXPECT_EQ(desk.process.calls.back(), "KillTimer(44)");

    const std::vector<std::string> known = controller->knownDisplayKeys();
    EXPECT_EQ(known.size(), 2u);
    EXPECT_TRUE(std::is_sorted(known.begin(), known.end()));
}

// --- hotkeys and the result listener --------------------------------------

TEST_F(TrayControllerTest, HotkeysAreRegisteredAndTheSettingsSavedWithThem) {
    auto controller = created();

    EXPECT_EQ(desk.hotkeys.ownedCount(), 11u);
    ASSERT_TRUE(desk.files.fileExists(kConfigFile));
    const nlohmann::json saved = nlohmann::json::parse(desk.files.content(kConfigFile));
    EXPECT_EQ(saved.at("hotkeys").size(), 11u);
    EXPECT_EQ(saved.at("hotkeys").at("ProjectionExtend"), "Ctrl+Alt+E");
}

TEST_F(TrayControllerTest, TakenHotkeysAreReportedInOneErrorNotice) {
    desk.hotkeys.takeByOtherProgram(kModControl | kModAlt, 'E');
    desk.hotkeys.takeByOtherProgram(kModControl | kModAlt, 'D');
    config.hotkeys = {{"ProjectionExtend", "Ctrl+Alt+E"},
                      {"ProjectionClone", "Ctrl+Alt+D"},
                      {"GatherWindows", "Ctrl+Alt+PrintScreen"},
                      {"RotateNext", "Ctrl+Alt+R"}};

    auto controller = make();
    ASSERT_TRUE(controller->create(kInstance, bus, manager, layouts, config));

    // In the order of the action texts: GatherWindows, ProjectionClone, ProjectionExtend.
    EXPECT_EQ(desk.shell.notices,
              (std::vector<SimShell::Notice>{
                  {"Quorvane", "Some hotkeys are already in use: Ctrl+Alt+PrintScreen, Ctrl+Alt+D, Ctrl+Alt+E", true}}));
    // Saved all the same, with the tiling bindings filled in.
    const nlohmann::json saved = nlohmann::json::parse(desk.files.content(kConfigFile));
    EXPECT_EQ(saved.at("hotkeys").size(), 7u);
}

TEST_F(TrayControllerTest, HotkeyPressDispatchesItsAction) {
    auto controller = created();
    const auto target = desk.hotkeys.press(kModControl | kModAlt, 'G');
    ASSERT_TRUE(target.has_value());
    ASSERT_EQ(target->first, controller->window());

    EXPECT_EQ(send(*controller, kWmHotkey, static_cast<uint64_t>(target->second)), 0);
    EXPECT_TRUE(dispatched("GatherWindows"));

    desk.debug.clear();
    EXPECT_EQ(send(*controller, kWmHotkey, 0xBFFF), 0);
    EXPECT_FALSE(anyDispatch());
}

TEST_F(TrayControllerTest, EveryFailedActionShowsOneErrorNoticeAndSuccessNone) {
    struct Case {
        const char* name;
        Action action;
        std::vector<SimShell::Notice> notices;
    };
    Action none;
    Action refresh;
    refresh.kind = ActionKind::RefreshDisplays;
    Action badTile;
    badTile.kind = ActionKind::TileWindows;
    badTile.name = "9";
    const std::vector<Case> cases = {
        {"success", refresh, {}},
        {"failure", none, {{"Quorvane", "No action", true}}},
        {"failure with its own message", badTile,
         {{"Quorvane", "Grid must be COLSxROWS (2x2, 3x2, 4x4, \xE2\x80\xA6)", true}}},
    };
    auto controller = created();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desk.shell.notices.clear();
        bus.dispatch(c.action);
        EXPECT_EQ(desk.shell.notices, c.notices);
    }

    // Once the controller is gone the bus reports to nobody.
    controller.reset();
    desk.shell.notices.clear();
    bus.dispatch(none);
    EXPECT_TRUE(desk.shell.notices.empty());
}

// --- the tray icon's callback ----------------------------------------------

TEST_F(TrayControllerTest, TrayCallbackOpensTheMenuOrTheFlyoutAtTheAnchor) {
    struct Case {
        const char* name;
        uint32_t event;
        uint64_t wParam;
        bool menu;
        ScreenPoint at;
        bool asksForCursor;
    };
    const ScreenPoint cursor{640, 360};
    const std::vector<Case> cases = {
        {"right click", kWmRButtonUp, anchor(1890, 1060), true, {1890, 1060}, false},
        {"keyboard context menu", kWmContextMenu, anchor(1890, 1060), true, {1890, 1060}, false},
        {"anchor on a monitor left of the primary", kWmRButtonUp, anchor(-1200, -40), true, {-1200, -40}, false},
        {"anchor only in x", kWmContextMenu, anchor(35, 0), true, {35, 0}, false},
        {"right click without anchor", kWmRButtonUp, 0, true, cursor, true},
        {"left click opens the flyout", kWmLButtonUp, anchor(1890, 1060), false, {}, false},
        {"left click without anchor", kWmLButtonUp, 0, false, {}, true},
        {"mouse move", kWmMouseMove, 0, false, {}, false},
        {"keyboard select", kNinSelect, 0, false, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto controller = created();
        desk.shell.shownMenus.clear();
        desk.process.cursor = cursor;

        EXPECT_EQ(send(*controller, kTrayCallback, c.wParam, trayEvent(c.event)), 0);

        ASSERT_EQ(desk.shell.shownMenus.size(), c.menu ? 1u : 0u);
        if (c.menu) {
            EXPECT_EQ(desk.shell.shownMenus[0].point.x, c.at.x);
            EXPECT_EQ(desk.shell.shownMenus[0].point.y, c.at.y);
        }
        const std::vector<std::string>& calls = desk.process.calls;
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "GetCursorPos"), c.asksForCursor ? 1 : 0);
    }
}

// --- the flyout ---------------------------------------------------------------

// A controller with the web flyout's services: the flyout window and browser,
// the runtime test and the foreground query of the simulated desktop.
class FlyoutControllerTest : public TrayControllerTest {
protected:
    void SetUp() override {
        TrayControllerTest::SetUp();
        desk.displays.laptopWithTwoDocked();
        editor = desk.windows.openOn("\\\\.\\DISPLAY2", "Untitled - Editor", 800, 600);
        desk.windows.window(editor).processId = 4242;
        desk.windows.window(editor).imagePath = "C:\\Program Files\\Editor\\editor.exe";
        desk.windows.setForeground(editor);
    }

    std::unique_ptr<TrayController> flyoutController() {
        TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
        ports.flyoutWindow = &flyout;
        ports.browserRuntime = &runtime;
        ports.foreground = &foreground;
        auto controller = std::make_unique<TrayController>(ports);
        EXPECT_TRUE(controller->create(kInstance, bus, manager, layouts, config));
        desk.debug.clear();
        return controller;
    }

    void leftClick(TrayController& controller) {
        send(controller, kTrayCallback, anchor(1890, 1060), trayEvent(kWmLButtonUp));
    }

    int errors() const {
        int n = 0;
        for (const std::string& line : desk.debug.lines()) n += line.rfind("[Quorvane][ERR]", 0) == 0;
        return n;
    }

    bool classicShown() const {
        return desk.debug.contains("INF", "Flyout at (1890,1060): the classic flyout is not part of this build");
    }

    sim::SimFlyoutWindow flyout;
    sim::SimBrowserRuntime runtime;
    sim::SimForeground foreground{desk.windows};
    WindowHandle editor = 0;
};

TEST_F(FlyoutControllerTest, LeftClickShowsTheWebFlyoutWhenTheRuntimeIsThere) {
    runtime.installed = true;
    auto controller = flyoutController();
    leftClick(*controller);
    EXPECT_EQ(runtime.asked, 1);
    ASSERT_FALSE(flyout.calls.empty());
    EXPECT_EQ(flyout.calls.front().rfind("create ", 0), 0u);
    EXPECT_TRUE(flyout.visible);
    EXPECT_FALSE(classicShown());
    // The application in front before the flyout took the focus.
    EXPECT_EQ(foreground.captures, 1);
    EXPECT_EQ(controller->foreground().exeName, "editor.exe");
    EXPECT_EQ(controller->foreground().window, editor);
}

TEST_F(FlyoutControllerTest, TheClassicFlyoutWhenTheWebOneCannotShow) {
    struct Case {
        const char* what;
        bool installed;
        bool failEnvironment;
        bool withWindow;
    };
    const Case cases[] = {
        {"no runtime", false, false, true},
        {"the browser cannot start", true, true, true},
        {"no flyout window in this build", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimFlyoutWindow window;
        window.failEnvironmentCall = c.failEnvironment;
        runtime.installed = c.installed;
        TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
        ports.flyoutWindow = c.withWindow ? &window : nullptr;
        ports.browserRuntime = &runtime;
        ports.foreground = &foreground;
        TrayController controller(ports);
        ASSERT_TRUE(controller.create(kInstance, bus, manager, layouts, config));
        desk.debug.clear();
        leftClick(controller);
        EXPECT_TRUE(classicShown());
        EXPECT_FALSE(window.visible);
        EXPECT_EQ(errors(), c.failEnvironment ? 1 : 0); // only the browser's own fall-back line
        // A second click goes to the classic flyout again, without a new error.
        desk.debug.clear();
        leftClick(controller);
        EXPECT_TRUE(classicShown());
        EXPECT_EQ(errors(), 0);
    }
}

TEST_F(FlyoutControllerTest, TheShowFlyoutMessageOpensItAtTheCursor) {
    runtime.installed = true;
    auto controller = flyoutController();
    desk.process.cursor = {1200, 700};
    send(*controller, controller->showFlyoutMessage());
    EXPECT_TRUE(flyout.visible);
    EXPECT_EQ(flyout.rect.right, 1200);
    EXPECT_EQ(flyout.rect.bottom, 700);
}

TEST_F(FlyoutControllerTest, ADisplayChangeRefreshesTheVisibleFlyout) {
    runtime.installed = true;
    auto controller = flyoutController();
    leftClick(*controller);
    send(*controller, kWmDisplayChange); // the page has not loaded: nothing to push
    EXPECT_TRUE(flyout.scripts().empty());

    flyout.loadPage();
    flyout.clearCalls();
    send(*controller, kWmDisplayChange);
    ASSERT_EQ(flyout.scripts().size(), 1u);
    EXPECT_EQ(flyout.scripts()[0].rfind("window.qvState({", 0), 0u);

    // Hidden: nothing is pushed.
    flyout.hide();
    flyout.clearCalls();
    send(*controller, kWmDisplayChange);
    EXPECT_TRUE(flyout.scripts().empty());
}

TEST_F(FlyoutControllerTest, TheFlyoutsCallbacks) {
    auto controller = flyoutController();
    FlyoutHooks hooks = controller->flyoutHooks();
    ASSERT_TRUE(hooks.welcomePending && hooks.welcomeDone && hooks.foregroundApp && hooks.foregroundWindow);
    EXPECT_TRUE(hooks.welcomePending());
    hooks.welcomeDone();
    EXPECT_FALSE(hooks.welcomePending());
    Config saved;
    ASSERT_TRUE(saved.load());
    EXPECT_TRUE(saved.welcomeShown);

    EXPECT_EQ(hooks.foregroundApp(), "");
    runtime.installed = true;
    leftClick(*controller);
    EXPECT_EQ(hooks.foregroundApp(), "editor.exe");
    EXPECT_EQ(hooks.foregroundWindow(), editor);
    // Members whose parts are not built stay unset: the page gets nothing for them.
    EXPECT_FALSE(hooks.listAudio || hooks.audioLevel);
    EXPECT_TRUE(hooks.togglePreview && hooks.toggleRegionNdi && hooks.ndiActive && hooks.openRecordings);
}

// The first start opens the flyout by itself once, over the tray icon, with
// the welcome card; later starts do not.
TEST_F(FlyoutControllerTest, WelcomeOpensTheFlyoutOverTheIconOnce) {
    runtime.installed = true;
    struct Case {
        const char* what;
        bool welcomeShown;
        std::optional<ScreenRect> icon;
        bool armed;
        ScreenPoint at;
    };
    const Case cases[] = {
        {"first start, icon found", false, ScreenRect{1860, 1044, 1884, 1068}, true, {1872, 1056}},
        {"first start, the shell cannot say", false, std::nullopt, true, {640, 360}},
        {"welcome shown before", true, std::nullopt, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimFlyoutWindow window;
        config.welcomeShown = c.welcomeShown;
        desk.shell.iconRect = c.icon;
        desk.process.cursor = {640, 360};
        desk.process.calls.clear();
        TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
        ports.flyoutWindow = &window;
        ports.browserRuntime = &runtime;
        ports.foreground = &foreground;
        TrayController controller(ports);
        ASSERT_TRUE(controller.create(kInstance, bus, manager, layouts, config));
        const std::vector<std::string>& calls = desk.process.calls;
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetTimer(43, 1500)"), c.armed ? 1 : 0);
        if (!c.armed) continue;

        send(controller, 0x0113, 43);
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "KillTimer(43)"), 1);
        EXPECT_TRUE(window.visible);
        // Created with its bottom-right corner at that point.
        ASSERT_FALSE(window.calls.empty());
        EXPECT_EQ(window.calls.front(),
                  strprintf("create (%d,%d)-(%d,%d)", c.at.x - 352, c.at.y - 520, c.at.x, c.at.y));
        // Another timer of the window is not the welcome.
        window.visible = false;
        send(controller, 0x0113, 42);
        EXPECT_FALSE(window.visible);
    }
}

// Without the browser runtime the classic panel opens at the click, and its
// first opening by itself is the welcome: it does not open by itself again.
TEST_F(FlyoutControllerTest, TheClassicPanelOpensAtTheClickAndCountsAsTheWelcome) {
    desk.displays.laptopWithTwoDocked();
    sim::SimFlyoutPanelSurface classic;
    sim::SimTextPrompt prompt;
    TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
    ports.flyoutWindow = &flyout;
    ports.browserRuntime = &runtime;
    ports.classicFlyout = &classic;
    ports.prompt = &prompt;
    config.welcomeShown = false;
    desk.shell.iconRect = ScreenRect{1860, 1044, 1884, 1068};
    TrayController controller(ports);
    ASSERT_TRUE(controller.create(kInstance, bus, manager, layouts, config));
    ASSERT_TRUE(classic.created);
    EXPECT_FALSE(classic.visible) << "created hidden";

    send(controller, 0x0113, 43);
    EXPECT_TRUE(classic.visible);
    EXPECT_EQ(classic.rect.right, 1872);
    Config saved;
    ASSERT_TRUE(saved.load());
    EXPECT_TRUE(saved.welcomeShown);

    classic.hide();
    leftClick(controller);
    EXPECT_TRUE(classic.visible);
    EXPECT_EQ(classic.rect.right, 1890);
    EXPECT_EQ(classic.rect.bottom, 1040) << "pulled up into the work area above the taskbar";
    EXPECT_FALSE(classicShown()) << "no placeholder line any more";
    EXPECT_EQ(errors(), 0);
    ASSERT_NE(controller.classicFlyout(), nullptr);
    EXPECT_TRUE(classic.byCaption("Settings"));
}

// The arrangement window opens from the classic flyout's button and from the
// web flyout's callback; opening it again reloads the one window.
TEST_F(FlyoutControllerTest, BothFlyoutsOpenTheOneArrangementWindow) {
    desk.displays.laptopWithTwoDocked();
    sim::SimFlyoutPanelSurface classic;
    sim::SimArrangementSurface arrangement;
    TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
    ports.classicFlyout = &classic;
    ports.arrangement = &arrangement;
    TrayController controller(ports);
    ASSERT_TRUE(controller.create(kInstance, bus, manager, layouts, config));
    EXPECT_FALSE(arrangement.created) << "not before it is asked for";

    leftClick(controller);
    ASSERT_TRUE(classic.visible);
    controller.classicFlyout()->onCommand(FlyoutPanel::kArrange);
    EXPECT_FALSE(classic.visible) << "the panel makes way";
    EXPECT_TRUE(arrangement.visible);

    controller.flyoutHooks().openArrangement();
    EXPECT_EQ(arrangement.creations, 1);
    EXPECT_TRUE(arrangement.visible);
}

TEST_F(FlyoutControllerTest, AClassicPanelThatCannotBeCreatedFailsTheStart) {
    sim::SimFlyoutPanelSurface classic;
    classic.failCreate = true;
    TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
    ports.classicFlyout = &classic;
    TrayController controller(ports);
    EXPECT_FALSE(controller.create(kInstance, bus, manager, layouts, config));
    EXPECT_TRUE(desk.debug.contains("ERR", "FlyoutPanel: CreateWindowEx failed"));
}

// --- the menu ---------------------------------------------------------------

TEST_F(TrayControllerTest, OneRightClickOpensOneMenu) {
    auto controller = created();
    // The icon sends WM_RBUTTONUP and then WM_CONTEXTMENU; the second
    // arrives while the first menu is open.
    desk.shell.whileTracking = [&] { send(*controller, kTrayCallback, anchor(20, 30), trayEvent(kWmContextMenu)); };

    send(*controller, kTrayCallback, anchor(20, 30), trayEvent(kWmRButtonUp));

    EXPECT_EQ(desk.shell.shownMenus.size(), 1u);
    EXPECT_EQ(std::count(desk.process.calls.begin(), desk.process.calls.end(), "CreatePopupMenu"), 1);
    EXPECT_EQ(desk.shell.openMenuCount(), 0u);

    // Once it is closed, the next click opens the menu again.
    send(*controller, kTrayCallback, anchor(20, 30), trayEvent(kWmContextMenu));
    EXPECT_EQ(desk.shell.shownMenus.size(), 2u);
}

TEST_F(TrayControllerTest, MenuIsBuiltShownAtThePointAndDestroyed) {
    auto controller = created();

    controller->showMenu({1890, 1060});

    std::vector<std::string> expected = {"CreatePopupMenu", "GetTokenInformation(TokenElevation)",
                                         "RegOpenKeyExW(HKCU\\" + kRunKey + ", 0x20019)",
                                         "RegQueryValueExW(Quorvane)", "RegCloseKey"};
    for (const TrayMenuItem& item : TrayMenu::items(false, false, "1.3.9")) {
        expected.push_back(strprintf("AppendMenuW(0x%x, %u, %s)", item.flags, item.id, item.text.c_str()));
    }
    expected.insert(expected.end(), {"SetForegroundWindow",
                                     "TrackPopupMenu(0x22, 1890, 1060)",  // TPM_BOTTOMALIGN | TPM_RIGHTBUTTON
                                     "PostMessageW(0x0000, 0, 0)", "DestroyMenu"});
    EXPECT_EQ(desk.process.calls, expected);
    ASSERT_EQ(desk.shell.shownMenus.size(), 1u);
    EXPECT_EQ(desk.shell.shownMenus[0].owner, controller->window());
    EXPECT_EQ(desk.shell.openMenuCount(), 0u);
}

TEST_F(TrayControllerTest, MenuShowsTheProcessElevationAndTheRunValue) {
    desk.process.tokenElevationValue = 1;
    desk.process.setValue(Registry::Root::CurrentUser, kRunKey, "Quorvane",
                 {Registry::kRegSz, "\"C:\\Program Files\\Quorvane\\quorvane.exe\"", 0});
    auto controller = created();

    controller->showMenu({10, 10});

    ASSERT_EQ(desk.shell.shownMenus.size(), 1u);
    std::vector<SimShell::MenuRow> expected;
    for (const TrayMenuItem& item : TrayMenu::items(true, true, "1.3.9")) {
        expected.push_back({item.flags, item.id, item.text});
    }
    EXPECT_EQ(desk.shell.shownMenus[0].rows, expected);
}

TEST_F(TrayControllerTest, ChosenItemComesBackAsACommand) {
    auto controller = created();

    desk.shell.menuChoice = TrayMenu::kExit;
    controller->showMenu({10, 10});

    // WM_COMMAND(Exit) is handled by the loop, which then ends with code 0.
    EXPECT_EQ(desk.process.runMessageLoop(), 0);
}

TEST_F(TrayControllerTest, NoMenuMeansNoCommand) {
    auto controller = created();
    desk.shell.menuCreationFails = true;

    controller->showMenu({10, 10});

    EXPECT_EQ(desk.process.calls, std::vector<std::string>{"CreatePopupMenu"});
    EXPECT_TRUE(desk.shell.shownMenus.empty());
}

TEST_F(TrayControllerTest, EveryCommandIdDoesItsPart) {
    struct Case {
        uint32_t id;
        const char* dispatches;  // action kind, or nullptr
        std::vector<std::string> calls;
    };
    const std::string exe = "C:\\Program Files\\Quorvane\\quorvane.exe";
    const std::vector<Case> cases = {
        {1, "ProjectionInternal", {}},
        {2, "ProjectionClone", {}},
        {3, "ProjectionExtend", {}},
        {4, "ProjectionExternal", {}},
        {5, "PushNativeResolutions", {}},
        {6, "PushMaxResolutions", {}},
        {7, "RefreshDisplays", {}},
        {8,
         nullptr,
         {"GetModuleFileNameW", "ShellExecuteExW(runas, " + exe + ", --relaunched, 0x100, 1)", "PostQuitMessage(0)"}},
        // Without an update runner or a settings window given, these do nothing.
        {10, nullptr, {}},
        {11, nullptr, {}},
        {14, nullptr, {"PostQuitMessage(0)"}},
        {15, "RestoreWindows", {}},
        {16, "RescueWindows", {}},
        {0, nullptr, {}},
        {12, nullptr, {}},
        {13, nullptr, {}},
        {17, nullptr, {}},
    };
    desk.displays.laptopWithTwoDocked();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        auto controller = created();

        controller->onCommand(c.id);

        if (c.dispatches) {
            EXPECT_TRUE(dispatched(c.dispatches));
            // A failure shows the bus's notice; the menu adds nothing of its own.
            EXPECT_LE(desk.shell.notices.size(), 1u);
            for (const std::string& call : desk.process.calls) EXPECT_EQ(call.rfind("Shell_NotifyIconW(NIM_MODIFY", 0), 0u);
        } else {
            EXPECT_FALSE(anyDispatch());
            EXPECT_EQ(desk.process.calls, c.calls);
        }
    }
}

TEST_F(TrayControllerTest, CommandsNeedTheActionBus) {
    auto controller = make();
    controller->onCommand(TrayMenu::kExit);
    controller->onCommand(TrayMenu::kStartWithWindows);
    EXPECT_TRUE(desk.process.calls.empty());
}

TEST_F(TrayControllerTest, WmCommandRunsTheLowWordsCommand) {
    auto controller = created();
    // The high word (1 for an accelerator) does not matter.
    EXPECT_EQ(send(*controller, kWmCommand, (1u << 16) | TrayMenu::kExit), 0);
    EXPECT_EQ(desk.process.calls, std::vector<std::string>{"PostQuitMessage(0)"});
}

TEST_F(TrayControllerTest, RefusedElevationChangesNothing) {
    desk.process.shellExecuteFails = true;
    auto controller = created();
    controller->onCommand(TrayMenu::kRunElevated);
    EXPECT_EQ(std::count(desk.process.calls.begin(), desk.process.calls.end(), "PostQuitMessage(0)"), 0);
    EXPECT_TRUE(desk.shell.notices.empty());
}

TEST_F(TrayControllerTest, ProjectionThatFailsShowsOneNoticeWithTheBusMessage) {
    // With a single display there is nothing to show "external only" on.
    const sim::SimDisplays::Docked docked = desk.displays.laptopWithTwoDocked();
    desk.displays.unplug(docked.left);
    desk.displays.unplug(docked.right);
    auto controller = created();

    controller->onCommand(TrayMenu::kExternalOnly);

    ASSERT_EQ(desk.shell.notices.size(), 1u);
    EXPECT_EQ(desk.shell.notices[0].title, "Quorvane");
    EXPECT_TRUE(desk.shell.notices[0].error);
    EXPECT_FALSE(desk.shell.notices[0].text.empty());
}

// The two window actions change nothing the user sees when there is nothing
// to move, so the menu shows their success as an information notice; a
// failure still comes once, from the bus's listener. Other menu actions show
// no success notice.
TEST_F(TrayControllerTest, WindowActionsFromTheMenuShowTheirOutcomeOnce) {
    struct Case {
        const char* name;
        uint32_t id;
        bool withHomecoming;
        bool windowOffScreen;  // a window is opened far off every display first
        bool error;
        const char* text;      // nullptr: no notice
    };
    const std::vector<Case> cases = {
        {"rescue, one window off-screen", 16, true, true, false, "Brought 1 window(s) onto the primary display"},
        {"rescue, nothing off-screen", 16, true, false, false, "Brought 0 window(s) onto the primary display"},
        {"put back, nothing recorded", 15, true, false, true, "No window positions kept yet"},
        {"put back, no homecoming", 15, false, false, true, "Window positions are not being kept"},
        {"rescue, no homecoming", 16, false, true, true, "Window positions are not being kept"},
        {"refresh displays succeeds silently", 7, true, false, false, nullptr},
    };
    desk.displays.laptopWithTwoDocked();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.windowOffScreen) desk.windows.open({"Notes", {-9000, -9000, -8200, -8400}});
        WindowHomecoming homecoming(desk.windows, manager);
        bus.setWindowHomecoming(c.withHomecoming ? &homecoming : nullptr);
        auto controller = created();

        controller->onCommand(c.id);

        if (c.text) {
            EXPECT_EQ(desk.shell.notices, (std::vector<SimShell::Notice>{{"Quorvane", c.text, c.error}}));
        } else {
            EXPECT_TRUE(desk.shell.notices.empty());
        }
        controller.reset();
        bus.setWindowHomecoming(nullptr);
    }
}

// --- start with Windows -----------------------------------------------------

TEST_F(TrayControllerTest, StartWithWindowsToggleFollowsTheRunValue) {
    struct Case {
        const char* name;
        bool valueBefore;
        uint32_t deniedAccess;
        bool valueAfter;
        SimShell::Notice notice;
        bool savedState;  // what the settings hold afterwards
    };
    const std::vector<Case> cases = {
        {"switching on", false, 0, true, {"Quorvane", "Will start with Windows.", false}, true},
        {"switching off", true, 0, false, {"Quorvane", "Will no longer start with Windows.", false}, false},
        {"key cannot be written, on", false, Registry::kKeySetValue, false,
         {"Quorvane", "Could not update startup setting.", true}, false},
        {"key cannot be written, off", true, Registry::kKeySetValue, true,
         {"Quorvane", "Could not update startup setting.", true}, true},
    };
    const std::string quotedExe = "\"C:\\Program Files\\Quorvane\\quorvane.exe\"";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.valueBefore) {
            desk.process.setValue(Registry::Root::CurrentUser, kRunKey, "Quorvane", {Registry::kRegSz, quotedExe, 0});
        } else {
            desk.process.removeKey(Registry::Root::CurrentUser, kRunKey);
            desk.process.addKey(Registry::Root::CurrentUser, kRunKey);
        }
        desk.process.deniedAccess = 0;
        config.startWithWindows = c.valueBefore;
        auto controller = created();
        const std::string fileBefore = desk.files.content(kConfigFile);
        desk.process.deniedAccess = c.deniedAccess;

        controller->onCommand(TrayMenu::kStartWithWindows);

        const auto value = desk.process.value(Registry::Root::CurrentUser, kRunKey, "Quorvane");
        EXPECT_EQ(value.has_value(), c.valueAfter);
        if (value) {
            EXPECT_EQ(value->text, quotedExe);
        }
        EXPECT_EQ(desk.shell.notices, std::vector<SimShell::Notice>{c.notice});
        EXPECT_EQ(config.startWithWindows, c.savedState);
        if (c.deniedAccess) {
            EXPECT_EQ(desk.files.content(kConfigFile), fileBefore);  // not touched
        } else {
            EXPECT_EQ(nlohmann::json::parse(desk.files.content(kConfigFile)).at("startWithWindows"), c.savedState);
        }
    }
}

// --- notices and Explorer restarts --------------------------------------------

TEST_F(TrayControllerTest, NoticeGoesThroughTheIconAndLeavesItAsItWas) {
    auto controller = make();
    EXPECT_FALSE(controller->notify("Quorvane", "Too early", false));
    EXPECT_TRUE(desk.process.calls.empty());

    controller = created();
    const NotifyIconData before = desk.shell.icons.begin()->second;

    EXPECT_TRUE(controller->notify(std::string(70, 'T'), std::string(300, 'x'), true));

    EXPECT_EQ(desk.shell.notices,
              (std::vector<SimShell::Notice>{{std::string(63, 'T'), std::string(255, 'x'), true}}));
    const NotifyIconData& after = desk.shell.icons.begin()->second;
    EXPECT_EQ(after.flags, before.flags);
    EXPECT_EQ(after.tip, before.tip);
    EXPECT_EQ(after.icon, before.icon);
    EXPECT_EQ(after.callbackMessage, before.callbackMessage);
    EXPECT_EQ(controller->trayIcon().flags, 7u);
}

TEST_F(TrayControllerTest, IconComesBackOncePerExplorerRestart) {
    auto controller = created();

    for (int restart = 1; restart <= 2; ++restart) {
        SCOPED_TRACE(restart);
        desk.process.calls.clear();
        desk.shell.restartExplorer();

        EXPECT_EQ(desk.process.calls,
                  (std::vector<std::string>{"Shell_NotifyIconW(NIM_ADD)", "Shell_NotifyIconW(NIM_SETVERSION)"}));
        ASSERT_EQ(desk.shell.icons.size(), 1u);
        EXPECT_EQ(desk.shell.icons.begin()->second.flags, 7u);
        EXPECT_EQ(desk.shell.icons.begin()->second.version, 4u);
        const auto lines = desk.debug.lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "[Quorvane][INF] Tray icon re-added after Explorer restart\n"),
                  restart);
    }
}

TEST_F(TrayControllerTest, ExplorerStartingBeforeTheIconWasAddedIsIgnored) {
    desk.shell.explorerRunning = false;
    auto controller = make();
    ASSERT_FALSE(controller->create(kInstance, bus, manager, layouts, config));
    desk.process.calls.clear();

    desk.shell.restartExplorer();

    EXPECT_TRUE(desk.process.calls.empty());
    EXPECT_TRUE(desk.shell.icons.empty());
    EXPECT_FALSE(desk.debug.contains("INF", "Tray icon re-added after Explorer restart"));
}

// --- the other messages ---------------------------------------------------

TEST_F(TrayControllerTest, AnswersItsMessages) {
    struct Case {
        const char* name;
        std::string registered;  // registered message name, or empty to use `message`
        uint32_t message;
        uint64_t wParam;
        int64_t result;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"quit message", "Quorvane_Quit", 0, 0, 0, {"PostQuitMessage(0)"}},
        {"show-flyout message opens at the cursor", "Quorvane_ShowFlyout", 0, 0, 0, {"GetCursorPos"}},
        {"WM_CLOSE", "", 0x0010, 0, 0, {"PostQuitMessage(0)"}},
        {"WM_QUERYENDSESSION agrees", "", 0x0011, 0, 1, {}},
        {"WM_ENDSESSION, session ends", "", 0x0016, 1, 0, {"PostQuitMessage(0)"}},
        {"WM_ENDSESSION, session goes on", "", 0x0016, 0, 0, {}},
        {"anything else", "", 0x001A /* WM_SETTINGCHANGE */, 0, 0, {"DefWindowProcW(0x001a)"}},
        {"WM_NULL", "", 0x0000, 0, 0, {"DefWindowProcW(0x0000)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto controller = created();
        const uint32_t message = c.registered.empty() ? c.message : desk.process.messageId(c.registered);

        EXPECT_EQ(send(*controller, message, c.wParam), c.result);

        EXPECT_EQ(desk.process.calls, c.calls);
        EXPECT_NE(controller->window(), 0u);
        controller.reset();
        desk.process.calls.clear();
    }
}

TEST_F(TrayControllerTest, UnregisteredMessagesNeverMatchWmNull) {
    // When registration fails the id is 0; WM_NULL (0) must still only reach
    // the default procedure, not quit the program, open the flyout or add the icon.
    desk.process.failingRegistrations = {"Quorvane_Quit", "Quorvane_ShowFlyout", "TaskbarCreated"};
    auto controller = created();

    EXPECT_EQ(send(*controller, 0x0000), 0);

    EXPECT_EQ(desk.process.calls, std::vector<std::string>{"DefWindowProcW(0x0000)"});
}

// --- actions handed over by "--do" -------------------------------------------

// learn.microsoft.com "WM_COPYDATA message".
constexpr uint32_t kWmCopyDataMessage = 0x004A;

// The instance's side of the transport: lParam picks one of the messages the
// test put in; replies and the windows let through are recorded.
class FakeInbox final : public ActionRequestInbox {
public:
    struct Message {
        std::uint64_t tag = 0;
        std::string bytes;
    };
    struct Sent {
        WindowHandle to = 0;
        WindowHandle from = 0;
        ActionResult result;
    };

    std::vector<Message> messages;
    std::vector<WindowHandle> allowed;
    std::vector<Sent> replies;
    WindowHandle otherUsersWindow = 0;

    int64_t put(std::uint64_t tag, std::string bytes) {
        messages.push_back({tag, std::move(bytes)});
        return static_cast<int64_t>(messages.size());
    }

    void allowRequests(WindowHandle window) override { allowed.push_back(window); }
    bool read(std::int64_t lParam, std::uint64_t& tag, std::string& bytes) override {
        if (lParam <= 0 || static_cast<size_t>(lParam) > messages.size()) return false;
        tag = messages[static_cast<size_t>(lParam) - 1].tag;
        bytes = messages[static_cast<size_t>(lParam) - 1].bytes;
        return true;
    }
    bool sameUser(WindowHandle sender) override { return sender != otherUsersWindow; }
    bool reply(WindowHandle to, WindowHandle from, const std::string& bytes) override {
        Sent sent{to, from, {}};
        EXPECT_TRUE(action_request::decodeReply(bytes, sent.result)) << bytes;
        replies.push_back(sent);
        return true;
    }
};

TEST_F(TrayControllerTest, RequestedActionsRunAndTheirResultGoesBackToTheSender) {
    FakeInbox inbox;
    inbox.otherUsersWindow = 0x666;
    TrayController::Ports ports{desk.process, desk.shell, registrar, desk.ticks};
    ports.requests = &inbox;
    TrayController controller(ports);
    ASSERT_TRUE(controller.create(kInstance, bus, manager, layouts, config));
    EXPECT_EQ(inbox.allowed, std::vector<WindowHandle>{controller.window()});
    desk.process.calls.clear();
    desk.debug.clear();

    auto request = [](const std::string& action, WindowHandle reply) {
        return action_request::encodeRequest({action, false, reply});
    };
    struct Case {
        const char* what;
        std::uint64_t tag;
        std::string bytes;
        WindowHandle sender;
        int64_t answered;          // what the window procedure returns
        std::string dispatchedKind; // empty: nothing dispatched
        bool ok;
        std::string message;        // empty: any
    };
    const std::vector<Case> cases = {
        {"bus action", action_request::kRequestTag, request("RefreshDisplays", 0x51), 0x51, 1, "RefreshDisplays", true, ""},
        {"bus failure", action_request::kRequestTag, request("TileWindows:3x2", 0x52), 0x52, 1, "TileWindows", false, ""},
        {"another user", action_request::kRequestTag, request("RefreshDisplays", 0x666), 0x666, 1, "", false,
         "refused: the request came from another user"},
        {"truncated", action_request::kRequestTag, request("RefreshDisplays", 0x53).substr(0, 10), 0x53, 1, "", false,
         "malformed request: not a JSON object"},
        {"unknown", action_request::kRequestTag, request("Foo", 0x54), 0x54, 1, "", false, "unknown action 'Foo'"},
        {"another program's data", 0x1234, request("RefreshDisplays", 0x55), 0x55, 0, "", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        desk.debug.clear();
        inbox.replies.clear();
        EXPECT_EQ(send(controller, kWmCopyDataMessage, c.sender, inbox.put(c.tag, c.bytes)), c.answered);
        if (c.dispatchedKind.empty()) {
            EXPECT_FALSE(anyDispatch());
        } else {
            EXPECT_TRUE(dispatched(c.dispatchedKind));
        }
        if (c.answered == 0) {
            EXPECT_TRUE(inbox.replies.empty());
            continue;
        }
        ASSERT_EQ(inbox.replies.size(), 1u);
        EXPECT_EQ(inbox.replies[0].to, c.sender);
        EXPECT_EQ(inbox.replies[0].from, controller.window());
        EXPECT_EQ(inbox.replies[0].result.ok, c.ok);
        if (!c.message.empty()) {
            EXPECT_EQ(inbox.replies[0].result.message, c.message);
        }
    }
    // A WM_COPYDATA without data is not ours either.
    EXPECT_EQ(send(controller, kWmCopyDataMessage, 0x56, 0), 0);

    // Exit quits as the menu does, and still answers first.
    inbox.replies.clear();
    desk.process.calls.clear();
    EXPECT_EQ(send(controller, kWmCopyDataMessage, 0x57, inbox.put(action_request::kRequestTag, request("Exit", 0x57))), 1);
    EXPECT_EQ(desk.process.calls, std::vector<std::string>{"PostQuitMessage(0)"});
    ASSERT_EQ(inbox.replies.size(), 1u);
    EXPECT_TRUE(inbox.replies[0].result.ok);
}

} // namespace
} // namespace qv
