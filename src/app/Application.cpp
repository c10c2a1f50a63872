#include "app/Application.h"

#include "settings/Config.h"
#include "base/Elevation.h"
#include "base/FileSystem.h"
#include "app/InstanceMutex.h"
#include "base/KnownFolders.h"
#include "base/Log.h"
#include "base/ProcessApi.h"
#include "base/Registry.h"
#include "base/ShellApi.h"
#include "app/StartupSteps.h"
#include "base/Version.h"

#include <algorithm>

namespace qv {

Application::Application(std::vector<std::string> arguments, Ports ports)
    : arguments_(std::move(arguments)), ports_(ports) {}

int Application::run() {
    StartupSteps& steps = ports_.steps;
    ProcessApi& process = ports_.process;

    // A console command runs instead of the tray program: no mutex, no window, no log file.
    int exitCode = 0;
    if (steps.runCommandLine(exitCode)) return exitCode;

    if (!becomeSingleInstance()) {
        log::write(log::Info, "Already running; signaling existing instance");
        process.broadcastRegisteredMessage(kShowFlyoutMessage);
        ports_.mutex.release();
        return 0;
    }

    // The identity must be set before any window exists.
    process.setAppUserModelId(kAppUserModelId);
    // S_FALSE (already initialised) counts too: each success is undone once.
    comInitialized_ = process.coInitialize(ProcessApi::kCoInitApartmentThreaded | ProcessApi::kCoInitDisableOle1Dde) >= 0;
    ensureStartMenuShortcut();

    // The load's outcome is not needed: on a parse error the defaults stay in force.
    steps.loadSettings();
    const std::string folder = steps.settingsFolder();
    steps.openLog(folder + "\\logs\\qv.log");
    steps.installCrashHandler(folder + "\\logs", kCrashDumpKeepCount);

    Elevation elevation(process, ports_.registry, ports_.shell);
    log::logf(log::Info, "Quorvane %s starting (elevated=%d)", kVersion, elevation.isElevated() ? 1 : 0);
    // The Run value, not the file, is the truth for this setting.
    steps.settings().startWithWindows = elevation.startsWithWindows();
    refreshInstalledVersion();

    steps.loadLayouts();
    steps.buildDisplayManager();
    steps.buildActionBus();

    if (!steps.createTrayController()) {
        process.messageBox("Failed to initialize the tray UI.", kTitle, ProcessApi::kMbIconError);
        tearDown();
        return 1;
    }

    // Refreshes the display manager's cache; the list itself is not needed.
    steps.enumerateDisplays();
    steps.notify(kTitle, "Running in the tray.", false);

    exitCode = process.runMessageLoop();

    steps.saveSettings();
    log::write(log::Info, "Quorvane exiting");
    tearDown();
    return exitCode;
}

bool Application::becomeSingleInstance() {
    InstanceMutex::CreateResult created = ports_.mutex.create(kMutexName);
    // Only an existing mutex means another instance; if none could be made
    // at all, this process runs without the guard rather than not at all.
    if (created != InstanceMutex::CreateResult::AlreadyExists) return true;
    // A copy started by relaunchElevated meets the instance that started it,
    // which quits right after; waiting for its mutex makes this copy the one
    // instance. Any other copy gives way at once.
    if (!startedByRelaunch()) return false;
    InstanceMutex::WaitResult waited = ports_.mutex.wait(kRelaunchWaitMs);
    return waited == InstanceMutex::WaitResult::Acquired || waited == InstanceMutex::WaitResult::Abandoned;
}

bool Application::startedByRelaunch() const {
    return std::find(arguments_.begin(), arguments_.end(), Elevation::kRelaunchedArgument) != arguments_.end();
}

void Application::ensureStartMenuShortcut() {
    const std::string programs = ports_.folders.path(KnownFolder::Programs);
    if (programs.empty()) return;
    const std::string path = programs + kShortcutFile;
    // An existing shortcut is never rewritten, even one that points elsewhere.
    if (ports_.shell.pathExists(path)) return;
    std::string exe;
    if (!ports_.process.modulePath(exe)) return;
    ShellApi::ShellLink link;
    link.target = exe;
    link.workingDirectory = parentFolder(exe);
    link.description = kShortcutDescription;
    link.iconPath = exe;
    link.iconIndex = 0;
    // Failures are silent: the program runs without its Start-menu entry.
    ports_.shell.createShellLink(link, path);
}

namespace {

// Folder paths as Windows compares them: ASCII case ignored, one trailing
// backslash or none.
bool sameFolder(std::string a, std::string b) {
    for (std::string* path : {&a, &b}) {
        while (!path->empty() && (path->back() == '\\' || path->back() == '/')) path->pop_back();
        for (char& c : *path) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c == '/') c = '\\';
        }
    }
    return !a.empty() && a == b;
}

} // namespace

void Application::refreshInstalledVersion() {
    std::string exe;
    if (!ports_.process.modulePath(exe)) return;
    Registry& registry = ports_.registry;
    Registry::Key key = 0;
    if (registry.openKey(Registry::Root::CurrentUser, kUninstallKey, Registry::kKeyQueryValue | Registry::kKeySetValue,
                         key) != Registry::kSuccess)
        return;  // not installed, or a portable copy
    std::string location;
    std::string shown;
    if (registry.getStringValue(key, "", "InstallLocation", location) == Registry::kSuccess &&
        sameFolder(location, parentFolder(exe)) &&
        (registry.getStringValue(key, "", "DisplayVersion", shown) != Registry::kSuccess || shown != kVersion)) {
        if (registry.setStringValue(key, "DisplayVersion", kVersion) == Registry::kSuccess)
            log::logf(log::Info, "Uninstall entry updated to version %s", kVersion);
    }
    registry.closeKey(key);
}

void Application::tearDown() {
    StartupSteps& steps = ports_.steps;
    steps.destroyTrayController();
    steps.destroyActionBus();
    steps.destroyDisplayManager();
    steps.destroyLayoutStore();
    steps.destroySettings();
    // Every COM object of this thread is released before its apartment is
    // left (the web panels and previews went with the controller); a Release
    // after CoUninitialize can run into a library COM has already unloaded.
    steps.releaseComObjects();
    if (comInitialized_) ports_.process.coUninitialize();
    comInitialized_ = false;
    ports_.mutex.release();
}

} // namespace qv
