#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

class InstanceMutex;
class KnownFolders;
class ProcessApi;
class Registry;
class ShellApi;
class StartupSteps;

// The process itself: decides whether this run is a console command, a
// second copy or the one running instance; builds the long-lived objects in
// order, runs the message loop and tears everything down again.
class Application {
public:
    static constexpr const char* kMutexName = "Quorvane.SingleInstance.Mutex";
    static constexpr const char* kAppUserModelId = "Zentrik.Quorvane";
    static constexpr const char* kShowFlyoutMessage = "Quorvane_ShowFlyout";
    static constexpr const char* kQuitMessage = "Quorvane_Quit";
    static constexpr const char* kTitle = "Quorvane";
    static constexpr const char* kShortcutFile = "\\Quorvane.lnk";
    static constexpr const char* kShortcutDescription = "Keyboard-driven multi-monitor control";
    static constexpr int kCrashDumpKeepCount = 5;
    // The installer's uninstall entry (learn.microsoft.com: "Uninstall
    // Registry Key"; written by installer/quorvane.nsi).
    static constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane";
    // How long a copy started by relaunchElevated waits for the old instance
    // to release the single-instance mutex.
    static constexpr uint32_t kRelaunchWaitMs = 10000;

    struct Ports {
        InstanceMutex& mutex;
        ProcessApi& process;
        Registry& registry;
        ShellApi& shell;
        KnownFolders& folders;
        StartupSteps& steps;
    };

    // arguments: the command line without the program name, UTF-8.
    Application(std::vector<std::string> arguments, Ports ports);

    // Runs the process from start to end and returns its exit code.
    int run();

private:
    // True when this process is the one instance (it owns the mutex).
    bool becomeSingleInstance();
    bool startedByRelaunch() const;
    void ensureStartMenuShortcut();
    // An installed copy that replaced itself through an update tells Apps &
    // features its new version: the uninstall entry's DisplayVersion is set
    // to this program's when its InstallLocation is this program's folder.
    void refreshInstalledVersion();
    // Destroys the long-lived objects, releases the remaining COM objects,
    // leaves the COM apartment and releases the mutex, in that order.
    void tearDown();

    std::vector<std::string> arguments_;
    Ports ports_;
    // Whether this thread's COM apartment was entered and must be left.
    bool comInitialized_ = false;
};

} // namespace qv
