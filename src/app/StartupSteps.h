#pragma once
#include <string>

namespace qv {

struct Config;

// The steps of the start-up sequence that belong to other subsystems: the
// console commands, the settings, the log, the crash handler, the layouts,
// the display manager, the action bus and the tray controller. The
// Application calls them in its order; AppObjects carries them out for the
// real program, and tests record them.
class StartupSteps {
public:
    virtual ~StartupSteps() = default;

    // Offers the command line to the virtual display commands. True when one
    // ran; exitCode is then its exit code.
    virtual bool runCommandLine(int& exitCode) = 0;

    // Builds the settings record with its defaults and loads config.json.
    virtual void loadSettings() = 0;
    // The settings record built by loadSettings.
    virtual Config& settings() = 0;
    virtual void saveSettings() = 0;
    // The settings folder (created if needed).
    virtual std::string settingsFolder() = 0;

    virtual void openLog(const std::string& path) = 0;
    virtual void installCrashHandler(const std::string& folder, int keepCount) = 0;
    virtual void loadLayouts() = 0;
    virtual void buildDisplayManager() = 0;
    virtual void buildActionBus() = 0;
    // Builds the tray controller and calls its create; false when that fails.
    virtual bool createTrayController() = 0;
    // Enumerates the displays once, refreshing the display manager's cache.
    virtual void enumerateDisplays() = 0;
    // Shows a notice from the tray icon.
    virtual void notify(const std::string& title, const std::string& text, bool error) = 0;

    // Teardown, in the Application's order.
    virtual void destroyTrayController() = 0;
    virtual void destroyActionBus() = 0;
    virtual void destroyDisplayManager() = 0;
    virtual void destroyLayoutStore() = 0;
    virtual void destroySettings() = 0;
    // Releases the COM objects that outlive the objects above (those of the
    // services the entry point owns, such as the audio endpoints' cached
    // controls). Runs last, before the apartment is left: a Release after
    // CoUninitialize may call into a library that is already unloaded.
    virtual void releaseComObjects() = 0;
};

} // namespace qv
