#include "app/AppObjects.h"
#include "app/Application.h"
#include "audio/AudioEndpoints.h"
#include "settings/Config.h"
#include "base/DebugOutput.h"
#include "base/LogTesting.h"
#include "base/Version.h"
#include "sim/SimAudio.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace qv {
namespace {

using sim::SimProcess;

const std::string kRoaming = "C:\\Users\\sim\\AppData\\Roaming";
const std::string kLink = kRoaming + "\\Microsoft\\Windows\\Start Menu\\Programs\\Quorvane.lnk";
const std::string kLogFile = kRoaming + "\\Quorvane\\logs\\qv.log";
const std::string kConfigFile = kRoaming + "\\Quorvane\\config.json";
const std::string kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Records each start-up step in the process's call log, then carries it out
// with the real objects.
class RecordedSteps final : public StartupSteps {
public:
    RecordedSteps(StartupSteps& inner, SimProcess& sim) : inner_(inner), sim_(sim) {}

    bool runCommandLine(int& exitCode) override {
        sim_.record("step: runCommandLine");
        return inner_.runCommandLine(exitCode);
    }
    void loadSettings() override {
        sim_.record("step: loadSettings");
        inner_.loadSettings();
    }
    Config& settings() override { return inner_.settings(); }
    void saveSettings() override {
        sim_.record("step: saveSettings");
        inner_.saveSettings();
    }
    std::string settingsFolder() override { return inner_.settingsFolder(); }
    void openLog(const std::string& path) override {
        sim_.record("step: openLog(" + path + ")");
        inner_.openLog(path);
    }
    void installCrashHandler(const std::string& folder, int keepCount) override {
        sim_.record("step: installCrashHandler(" + folder + ", " + std::to_string(keepCount) + ")");
        inner_.installCrashHandler(folder, keepCount);
    }
    void loadLayouts() override { step("loadLayouts", &StartupSteps::loadLayouts); }
    void buildDisplayManager() override { step("buildDisplayManager", &StartupSteps::buildDisplayManager); }
    void buildActionBus() override { step("buildActionBus", &StartupSteps::buildActionBus); }
    bool createTrayController() override {
        sim_.record("step: createTrayController");
        return inner_.createTrayController();
    }
    void enumerateDisplays() override { step("enumerateDisplays", &StartupSteps::enumerateDisplays); }
    void notify(const std::string& title, const std::string& text, bool error) override {
        sim_.record("step: notify(" + title + ", " + text + ", " + (error ? "error" : "information") + ")");
        inner_.notify(title, text, error);
    }
    void destroyTrayController() override { step("destroyTrayController", &StartupSteps::destroyTrayController); }
    void destroyActionBus() override { step("destroyActionBus", &StartupSteps::destroyActionBus); }
    void destroyDisplayManager() override { step("destroyDisplayManager", &StartupSteps::destroyDisplayManager); }
    void destroyLayoutStore() override { step("destroyLayoutStore", &StartupSteps::destroyLayoutStore); }
    void destroySettings() override { step("destroySettings", &StartupSteps::destroySettings); }
    void releaseComObjects() override { step("releaseComObjects", &StartupSteps::releaseComObjects); }

private:
    void step(const char* name, void (StartupSteps::*call)()) {
        sim_.record(std::string("step: ") + name);
        (inner_.*call)();
    }

    StartupSteps& inner_;
    SimProcess& sim_;
};

// Puts the sequence's own log lines into the call log, so a test sees where
// in the order each was written. Lines of other subsystems are left out.
class SequenceLog final : public DebugOutput {
public:
    explicit SequenceLog(SimProcess& sim) : sim_(sim) {}

    void write(const std::string& text) override {
        static const char* const kOwn[] = {"Quorvane ", "Already running", "TrayController:"};
        const std::string::size_type start = text.find("] ");
        if (start == std::string::npos) return;
        const std::string message = text.substr(start + 2);
        for (const char* own : kOwn) {
            if (message.rfind(own, 0) == 0) {
                // "[Quorvane][INF] text\n" → "log: [INF] text"
                sim_.record("log: " + text.substr(10, start - 10 + 2) + message.substr(0, message.size() - 1));
                return;
            }
        }
    }

private:
    SimProcess& sim_;
};

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        desk.debug.forwardTo(&logLines);
        log::resetForTests();
        // Once running, the program is asked to quit.
        desk.process.postToController(Application::kQuitMessage);
    }

    void TearDown() override {
        log::resetForTests();
        desk.debug.forwardTo(nullptr);
    }

    int run(std::vector<std::string> arguments = {}) {
        sim::SimProcess& process = desk.process;
        AppObjects::Ports ports{process, desk.displays, process, desk.shell, desk.hotkeys, desk.ticks, desk.windows};
        ports.audio = audio;
        AppObjects objects(arguments, 0x140000000, ports);
        RecordedSteps steps(objects, process);
        Application application(arguments, {process, process, process, process, desk.folders, steps});
        return application.run();
    }

    std::vector<std::string> firstCalls(size_t count) const {
        const std::vector<std::string>& calls = desk.process.calls;
        return std::vector<std::string>(calls.begin(), calls.begin() + static_cast<long>(std::min(count, calls.size())));
    }

    sim::SimDesktop desk;
    SequenceLog logLines{desk.process};
    // The speakers and microphones the entry point owns, when a test gives them.
    AudioEndpoints* audio = nullptr;
};

const std::vector<std::string> kTeardown = {
    "step: destroyTrayController", "Shell_NotifyIconW(NIM_DELETE)", "DestroyIcon(101)", "DestroyWindow",
    "step: destroyActionBus",      "step: destroyDisplayManager",   "step: destroyLayoutStore",
    "step: destroySettings",       "step: releaseComObjects",       "CoUninitialize",
    "ReleaseMutex",                "CloseHandle",
};

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Everything from taking the mutex to the controller window, for a first
// start on a machine without the shortcut.
const std::vector<std::string> kStartAsOneInstance = {
    "SetCurrentProcessExplicitAppUserModelID(Zentrik.Quorvane)",
    "CoInitializeEx(6)",
    "GetFileAttributesW(" + kLink + ")",
    "GetModuleFileNameW",
    "IPersistFile::Save(" + kLink + ")",
    "step: loadSettings",
    "step: openLog(" + kLogFile + ")",
    "step: installCrashHandler(" + kRoaming + "\\Quorvane\\logs, 5)",
    "GetTokenInformation(TokenElevation)",
    std::string("log: [INF] Quorvane ") + kVersion + " starting (elevated=0)",
    "RegOpenKeyExW(HKCU\\" + kRunKey + ", 0x20019)",
    "RegQueryValueExW(Quorvane)",
    "RegCloseKey",
    // Not installed: the uninstall entry is looked for and not found.
    "GetModuleFileNameW",
    "RegOpenKeyExW(HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane, 0x3)",
    "step: loadLayouts",
    "step: buildDisplayManager",
    "step: buildActionBus",
    "step: createTrayController",
    "RegisterWindowMessageW(Quorvane_ShowFlyout)",
    "RegisterWindowMessageW(TaskbarCreated)",
    "RegisterWindowMessageW(Quorvane_Quit)",
    "RegisterClassExW(QuorvaneTray, icon 101)",
    "CreateWindowExW(0x80, QuorvaneTray, Quorvane, 0x80000000)",
};

// The rest of the controller's creation: the tray icon. The hotkeys it
// registers and the settings it saves go to other parts of the simulated
// desktop.
const std::vector<std::string> kTrayIcon = {
    "LoadImageW(101, small)",
    "Shell_NotifyIconW(NIM_ADD)",
    "Shell_NotifyIconW(NIM_SETVERSION)",
    "SetTimer(42, 14400000)", // the automatic update check, every four hours
    "SetTimer(43, 1500)", // the welcome, first start
};

TEST_F(ApplicationTest, RunsTheWholeSequenceAndEndsWithTheQuitCode) {
    EXPECT_EQ(run(), 0);

    std::vector<std::string> expected = {
        "step: runCommandLine",
        "CreateMutexW(Quorvane.SingleInstance.Mutex)",
    };
    expected = concat(expected, kStartAsOneInstance);
    expected = concat(expected, kTrayIcon);
    expected = concat(expected, {
                                    "step: enumerateDisplays",
                                    "step: notify(Quorvane, Running in the tray., information)",
                                    "Shell_NotifyIconW(NIM_MODIFY, NIIF_INFO, Quorvane, Running in the tray.)",
                                    "DispatchMessageW(Quorvane_Quit)",
                                    "PostQuitMessage(0)",
                                    "GetMessageW: WM_QUIT(0)",
                                    "step: saveSettings",
                                    "log: [INF] Quorvane exiting",
                                });
    expected = concat(expected, kTeardown);
    EXPECT_EQ(desk.process.calls, expected);

    EXPECT_FALSE(desk.process.holdsMutex());
    EXPECT_TRUE(desk.process.windows.empty());
    const std::string logText = desk.files.content(kLogFile);
    EXPECT_NE(logText.find(std::string("INF Quorvane ") + kVersion + " starting (elevated=0)\n"), std::string::npos);
    EXPECT_NE(logText.find("INF Quorvane exiting\n"), std::string::npos);
    ASSERT_TRUE(desk.files.fileExists(kConfigFile));
    // The default bindings registered at start-up reach the file; they are
    // released again with the controller, as is the icon.
    EXPECT_EQ(nlohmann::json::parse(desk.files.content(kConfigFile)).at("hotkeys").size(), 11u);
    EXPECT_EQ(desk.hotkeys.ownedCount(), 0u);
    EXPECT_TRUE(desk.shell.icons.empty());
}

// The flyout keeps the default endpoints' volume controls and meters open
// between level reads. They belong to the user-interface thread's COM
// apartment and must be released before it is left, or their last Release
// runs into a library COM has unloaded.
TEST_F(ApplicationTest, CachedAudioControlsAreReleasedBeforeTheApartmentIsLeft) {
    sim::SimAudio system;
    system.add(AudioFlow::Render, "{speakers}", "Speakers");
    system.add(AudioFlow::Capture, "{mic}", "Microphone");
    system.setDefault(AudioFlow::Render, "{speakers}");
    system.setDefault(AudioFlow::Capture, "{mic}");
    system.callLog = &desk.process.calls;
    AudioEndpoints endpoints(system);
    // As the flyout does while it is open.
    ASSERT_TRUE(endpoints.readLevel(false).ok);
    ASSERT_TRUE(endpoints.readLevel(true).ok);
    ASSERT_EQ(system.controlsAlive, 2);
    audio = &endpoints;

    EXPECT_EQ(run(), 0);

    EXPECT_EQ(system.controlsAlive, 0);
    const std::vector<std::string>& calls = desk.process.calls;
    const auto step = std::find(calls.begin(), calls.end(), "step: releaseComObjects");
    ASSERT_NE(step, calls.end());
    EXPECT_EQ(std::vector<std::string>(step, calls.end()),
              (std::vector<std::string>{"step: releaseComObjects", "IAudioEndpointVolume::Release({speakers})",
                                        "IAudioEndpointVolume::Release({mic})", "CoUninitialize", "ReleaseMutex",
                                        "CloseHandle"}));
    system.callLog = nullptr;
}

// The apartment is left once for each time it was entered: S_FALSE (the
// thread was already in it) is a success too; a refusal such as
// RPC_E_CHANGED_MODE entered nothing.
TEST_F(ApplicationTest, TheApartmentIsLeftOnlyWhenItWasEntered) {
    struct Case {
        const char* what;
        int32_t answer;
        long leaves;
    };
    const Case cases[] = {
        {"S_OK", 0, 1},
        {"S_FALSE", 1, 1},
        {"RPC_E_CHANGED_MODE", static_cast<int32_t>(0x80010106), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        desk.process = SimProcess();
        desk.process.postToController(Application::kQuitMessage);
        desk.process.coInitializeResult = c.answer;
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(std::count(desk.process.calls.begin(), desk.process.calls.end(), "CoUninitialize"), c.leaves);
    }
}

TEST_F(ApplicationTest, ExitCodeIsTheWParamOfWmQuit) {
    // WM_QUIT with a code other than the program's own 0 (e.g. from another
    // component of the process) ends the loop with that code.
    desk.process = SimProcess();
    desk.process.postToController(SimProcess::kWmQuit, 7);
    EXPECT_EQ(run(), 7);
    EXPECT_TRUE(desk.files.fileExists(kConfigFile));
}

TEST_F(ApplicationTest, ElevatedProcessSaysSoInTheStartLine) {
    desk.process.tokenElevationValue = 1;
    run();
    EXPECT_NE(desk.files.content(kLogFile).find(std::string("INF Quorvane ") + kVersion + " starting (elevated=1)\n"),
              std::string::npos);
}

TEST_F(ApplicationTest, SecondCopySignalsTheRunningInstanceAndLeavesNoTrace) {
    desk.process.mutexHeldElsewhere = true;

    EXPECT_EQ(run(), 0);

    EXPECT_EQ(desk.process.calls, (std::vector<std::string>{
                             "step: runCommandLine",
                             "CreateMutexW(Quorvane.SingleInstance.Mutex)",
                             "log: [INF] Already running; signaling existing instance",
                             "PostMessageW(HWND_BROADCAST, Quorvane_ShowFlyout)",
                             "ReleaseMutex",
                             "CloseHandle",
                         }));
    // No log file, no settings read or written.
    EXPECT_EQ(desk.files.files(), std::vector<std::string>{});
}

TEST_F(ApplicationTest, ControllerFailureShowsTheMessageBoxAndStillReleasesTheMutex) {
    desk.process.windowCreationFails = true;

    EXPECT_EQ(run(), 1);

    std::vector<std::string> expected = {
        "step: runCommandLine",
        "CreateMutexW(Quorvane.SingleInstance.Mutex)",
    };
    expected = concat(expected, kStartAsOneInstance);
    expected = concat(expected, {
                                    "log: [ERR] TrayController: CreateWindowEx failed",
                                    "MessageBoxW(Failed to initialize the tray UI., Quorvane, 0x10)",
                                    // No settings save and no exit line; no window to destroy.
                                    "step: destroyTrayController",
                                    "step: destroyActionBus",
                                    "step: destroyDisplayManager",
                                    "step: destroyLayoutStore",
                                    "step: destroySettings",
                                    "step: releaseComObjects",
                                    "CoUninitialize",
                                    "ReleaseMutex",
                                    "CloseHandle",
                                });
    EXPECT_EQ(desk.process.calls, expected);
    EXPECT_FALSE(desk.process.holdsMutex());
    EXPECT_FALSE(desk.files.fileExists(kConfigFile));
}

TEST_F(ApplicationTest, ConsoleCommandRunsWithoutMutexWindowOrLog) {
    EXPECT_EQ(run({"--vd-x"}), 1);

    EXPECT_EQ(desk.process.calls, (std::vector<std::string>{
                             "step: runCommandLine",
                             "AttachConsole(ATTACH_PARENT_PROCESS)",
                             "AllocConsole",
                             "freopen(CONOUT$, stdout)",
                             "freopen(CONOUT$, stderr)",
                             "freopen(CONIN$, stdin)",
                             "CoInitializeEx(2)",
                             "CoUninitialize",
                         }));
    EXPECT_EQ(desk.process.consoleOutput, "\nunknown command --vd-x\n");
    EXPECT_EQ(desk.files.files(), std::vector<std::string>{});
}

TEST_F(ApplicationTest, RelaunchedCopyWaitsForTheOldInstanceOnlyWhenMarked) {
    using Wait = InstanceMutex::WaitResult;
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        Wait waitOutcome;
        std::vector<std::string> expectedStart;
        int exitCode;
        bool runs;
    };
    const std::string create = "CreateMutexW(Quorvane.SingleInstance.Mutex)";
    const std::string waitCall = "WaitForSingleObject(10000)";
    const std::string aumid = "SetCurrentProcessExplicitAppUserModelID(Zentrik.Quorvane)";
    const std::string signal = "log: [INF] Already running; signaling existing instance";
    const std::vector<Case> cases = {
        {"old instance released", {"--relaunched"}, Wait::Acquired, {create, waitCall, aumid}, 0, true},
        {"old instance died holding it", {"--relaunched"}, Wait::Abandoned, {create, waitCall, aumid}, 0, true},
        {"old instance still running", {"--relaunched"}, Wait::TimedOut, {create, waitCall, signal}, 0, false},
        {"wait failed", {"--relaunched"}, Wait::Failed, {create, waitCall, signal}, 0, false},
        {"not relaunched", {}, Wait::Acquired, {create, signal}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desk.process = SimProcess();
        desk.process.postToController(Application::kQuitMessage);
        desk.process.mutexHeldElsewhere = true;
        desk.process.waitOutcome = c.waitOutcome;
        desk.files.removeFile(kConfigFile);

        EXPECT_EQ(run(c.arguments), c.exitCode);

        std::vector<std::string> start = c.expectedStart;
        start.insert(start.begin(), "step: runCommandLine");
        EXPECT_EQ(firstCalls(start.size()), start);
        EXPECT_EQ(desk.files.fileExists(kConfigFile), c.runs);
        EXPECT_FALSE(desk.process.holdsMutex());
    }
}

TEST_F(ApplicationTest, StartWithWindowsComesFromTheRunValueNotTheFile) {
    struct Case {
        const char* name;
        bool inFile;
        std::optional<uint32_t> runValueType;  // nullopt: no Run value
        bool saved;
    };
    const std::vector<Case> cases = {
        {"file on, value deleted outside the program", true, std::nullopt, false},
        {"file off, value present", false, Registry::kRegSz, true},
        {"file on, value of another type", true, Registry::kRegDword, false},
        {"file on, value present", true, Registry::kRegSz, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desk.process = SimProcess();
        desk.process.postToController(Application::kQuitMessage);
        if (c.runValueType) {
            desk.process.setValue(Registry::Root::CurrentUser, kRunKey, "Quorvane",
                         {*c.runValueType, "\"C:\\Program Files\\Quorvane\\quorvane.exe\"", 0});
        }
        desk.files.setFile(kConfigFile, c.inFile ? "{\"startWithWindows\": true}" : "{\"startWithWindows\": false}");

        EXPECT_EQ(run(), 0);

        nlohmann::json saved = nlohmann::json::parse(desk.files.content(kConfigFile));
        EXPECT_EQ(saved.at("startWithWindows").get<bool>(), c.saved);
    }
}

// After an update replaced the installed program, Apps & features shows the
// new version; a copy run from anywhere else leaves the entry alone.
TEST_F(ApplicationTest, TheInstalledCopyKeepsItsUninstallEntrysVersionTrue) {
    const std::string uninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane";
    const std::string installed = "C:\\Users\\Zoë Ann\\AppData\\Local\\Programs\\Quorvane";
    struct Case {
        const char* name;
        std::string exe;
        std::optional<std::string> location;  // nullopt: not installed
        std::string shown;
        std::string expected;                 // DisplayVersion afterwards
    };
    const std::vector<Case> cases = {
        {"installed copy after an update", installed + "\\quorvane.exe", installed, "1.0.0", kVersion},
        {"same folder in another case, with a backslash", installed + "\\quorvane.exe",
         "c:\\users\\Zoë Ann\\appdata\\local\\programs\\quorvane\\", "1.0.0", kVersion},
        {"a portable copy elsewhere", "D:\\Tools\\quorvane.exe", installed, "1.0.0", "1.0.0"},
        {"a folder that only starts the same", installed + " Old\\quorvane.exe", installed, "1.0.0", "1.0.0"},
        {"no uninstall entry", installed + "\\quorvane.exe", std::nullopt, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desk.process = SimProcess();
        desk.process.exePath = c.exe;
        desk.process.postToController(Application::kQuitMessage);
        if (c.location) {
            desk.process.setValue(Registry::Root::CurrentUser, uninstallKey, "InstallLocation",
                                  {Registry::kRegSz, *c.location, 0});
            desk.process.setValue(Registry::Root::CurrentUser, uninstallKey, "DisplayVersion",
                                  {Registry::kRegSz, c.shown, 0});
        }

        EXPECT_EQ(run(), 0);

        const auto shown = desk.process.value(Registry::Root::CurrentUser, uninstallKey, "DisplayVersion");
        EXPECT_EQ(shown ? shown->text : std::string(), c.expected);
        EXPECT_EQ(desk.process.openKeyCount(), 0u);
    }
}

TEST_F(ApplicationTest, StartMenuShortcutIsCreatedOnlyWhenMissing) {
    struct Case {
        const char* name;
        std::string programsFolder;
        bool shortcutExists;
        bool saveFails;
        std::vector<std::string> expectedCalls;  // shell calls between CoInitializeEx and the settings
    };
    const std::string otherPrograms = "D:\\Start\\Programs";
    const std::vector<Case> cases = {
        {"missing", kRoaming + "\\Microsoft\\Windows\\Start Menu\\Programs", false, false,
         {"GetFileAttributesW(" + kLink + ")", "GetModuleFileNameW", "IPersistFile::Save(" + kLink + ")"}},
        {"present, even if it points elsewhere", kRoaming + "\\Microsoft\\Windows\\Start Menu\\Programs", true,
         false, {"GetFileAttributesW(" + kLink + ")"}},
        {"folder cannot be resolved", "", false, false, {}},
        {"saving fails silently", otherPrograms, false, true,
         {"GetFileAttributesW(" + otherPrograms + "\\Quorvane.lnk)", "GetModuleFileNameW",
          "IPersistFile::Save(" + otherPrograms + "\\Quorvane.lnk)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desk.process = SimProcess();
        desk.process.postToController(Application::kQuitMessage);
        desk.folders.set(KnownFolder::Programs, c.programsFolder);
        if (c.shortcutExists) desk.process.existingPaths.insert(kLink);
        desk.process.shellLinkFails = c.saveFails;

        EXPECT_EQ(run(), 0);

        auto from = std::find(desk.process.calls.begin(), desk.process.calls.end(), "CoInitializeEx(6)");
        auto to = std::find(desk.process.calls.begin(), desk.process.calls.end(), "step: loadSettings");
        ASSERT_TRUE(from != desk.process.calls.end() && to != desk.process.calls.end());
        EXPECT_EQ(std::vector<std::string>(from + 1, to), c.expectedCalls);
    }
}

TEST_F(ApplicationTest, ShortcutPointsAtTheExecutable) {
    desk.process.exePath = "C:\\Tools\\Quorvane\\quorvane.exe";
    run();

    ASSERT_EQ(desk.process.shellLinks.count(kLink), 1u);
    const ShellApi::ShellLink& link = desk.process.shellLinks.at(kLink);
    EXPECT_EQ(link.target, "C:\\Tools\\Quorvane\\quorvane.exe");
    EXPECT_EQ(link.workingDirectory, "C:\\Tools\\Quorvane");
    EXPECT_EQ(link.description, "Keyboard-driven multi-monitor control");
    EXPECT_EQ(link.iconPath, "C:\\Tools\\Quorvane\\quorvane.exe");
    EXPECT_EQ(link.iconIndex, 0);
}

} // namespace
} // namespace qv
