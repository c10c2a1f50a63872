#include "app/AppObjects.h"

#include "actions/ActionBus.h"
#include "app/DoCommandLine.h"
#include "audio/AudioEndpoints.h"
#include "settings/Config.h"
#include "base/CrashDumps.h"
#include "base/Log.h"
#include "display/DisplayManager.h"
#include "layout/LayoutStore.h"
#include "ui/TrayController.h"
#include "vdisplay/VdCommandLine.h"
#include "windows/WindowHomecoming.h"
#include "windows/WindowPlacement.h"

namespace qv {

AppObjects::AppObjects(std::vector<std::string> arguments, uint64_t instance, Ports ports)
    : arguments_(std::move(arguments)), instance_(instance), ports_(ports) {}

AppObjects::~AppObjects() {
    // Normally the Application has torn everything down already; this keeps
    // the same order if it did not.
    destroyTrayController();
    destroyActionBus();
    destroyDisplayManager();
    destroyLayoutStore();
    destroySettings();
    releaseComObjects();
}

bool AppObjects::runCommandLine(int& exitCode) {
    DoCommandLine doCommand(arguments_, ports_.console, ports_.requestSender);
    if (doCommand.run(exitCode)) return true;
    VdCommandLine::Services services;
    services.displays = &ports_.displayConfig;
    services.backends = ports_.vdBackends;
    services.duplication = ports_.duplication;
    VdCommandLine commandLine(arguments_, ports_.console, services);
    return commandLine.run(exitCode);
}

void AppObjects::loadSettings() {
    config_ = std::make_unique<Config>();
    config_->load();
}

Config& AppObjects::settings() {
    if (!config_) config_ = std::make_unique<Config>();
    return *config_;
}

void AppObjects::saveSettings() {
    if (config_) config_->save();
}

std::string AppObjects::settingsFolder() { return configDir(); }

void AppObjects::openLog(const std::string& path) { log::open(path); }

void AppObjects::installCrashHandler(const std::string& folder, int keepCount) {
    CrashDumps::install(folder, keepCount);
}

void AppObjects::loadLayouts() {
    layouts_ = std::make_unique<LayoutStore>();
    layouts_->load();
}

void AppObjects::buildDisplayManager() { displays_ = std::make_unique<DisplayManager>(ports_.displayConfig); }

void AppObjects::buildActionBus() {
    placement_ = std::make_unique<WindowPlacement>(ports_.windowSystem, *displays_);
    if (!layouts_) layouts_ = std::make_unique<LayoutStore>();
    bus_ = std::make_unique<ActionBus>(*displays_, *placement_, *layouts_, settings());
    homecoming_ = std::make_unique<WindowHomecoming>(ports_.windowSystem, *displays_);
    bus_->setWindowHomecoming(homecoming_.get());
}

bool AppObjects::createTrayController() {
    TrayController::Ports ports{ports_.trayWindow, ports_.trayShell, ports_.hotkeys, ports_.ticks};
    ports.flyoutWindow = ports_.flyoutWindow;
    ports.browserRuntime = ports_.browserRuntime;
    ports.foreground = ports_.foreground;
    ports.classicFlyout = ports_.classicFlyout;
    ports.prompt = ports_.prompt;
    ports.arrangement = ports_.arrangement;
    ports.settings = ports_.settings;
    ports.settingsPage = ports_.settingsPage;
    ports.updates = ports_.updates;
    ports.shellApi = ports_.shellApi;
    ports.folderPicker = ports_.folderPicker;
    ports.capture = ports_.capture;
    ports.ndi = ports_.ndi;
    ports.previews = ports_.previews;
    ports.regionPicker = ports_.regionPicker;
    ports.audio = ports_.audio;
    ports.devices = ports_.devices;
    ports.appAudio = ports_.appAudio;
    ports.homecoming = homecoming_.get();
    ports.windowEvents = ports_.windowEvents;
    ports.requests = ports_.requestInbox;
    tray_ = std::make_unique<TrayController>(ports);
    return tray_->create(instance_, *bus_, *displays_, *layouts_, settings());
}

void AppObjects::enumerateDisplays() {
    if (displays_) displays_->enumerate();
}

void AppObjects::notify(const std::string& title, const std::string& text, bool error) {
    if (tray_) tray_->notify(title, text, error);
}

void AppObjects::destroyTrayController() { tray_.reset(); }

void AppObjects::destroyActionBus() {
    bus_.reset();
    homecoming_.reset();
    placement_.reset();
}

void AppObjects::destroyDisplayManager() { displays_.reset(); }

void AppObjects::destroyLayoutStore() { layouts_.reset(); }

void AppObjects::destroySettings() { config_.reset(); }

void AppObjects::releaseComObjects() {
    if (ports_.audio) ports_.audio->releaseControls();
}

} // namespace qv
