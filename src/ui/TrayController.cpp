#include "ui/TrayController.h"

#include "actions/ActionBus.h"
#include "actions/ActionRequest.h"
#include "audio/AppAudioReset.h"
#include "audio/AudioEndpoints.h"
#include "audio/DeviceSwitches.h"
#include "settings/Config.h"
#include "base/CrashApi.h"
#include "base/Elevation.h"
#include "base/FileSystem.h"
#include "base/KnownFolders.h"
#include "base/ShellApi.h"
#include "base/Log.h"
#include "base/Version.h"
#include "capture/CaptureActivity.h"
#include "layout/HotplugRestore.h"
#include "windows/WindowEvents.h"
#include "windows/WindowHomecoming.h"
#include "ui/ArrangementWindow.h"
#include "ui/CaptureSessions.h"
#include "ui/FlyoutPanel.h"
#include "ui/FolderPicker.h"
#include "ui/Notices.h"
#include "ui/SettingsWindow.h"
#include "ui/TrayMenu.h"
#include "ui/WindowMessages.h"
#include "update/UpdateRunner.h"
#include "web/BrowserRuntime.h"
#include "web/GlassFlyoutPanel.h"
#include "web/GlassSettingsWindow.h"

#include <atomic>
#include <memory>
#include <optional>
#include <utility>

namespace qv {

namespace {

constexpr const char* kTaskbarCreated = "TaskbarCreated";

// A requested check never runs twice at once. Process-wide, because the
// check's thread may outlive the controller.
std::atomic<bool> manualCheckRunning{false};

uint16_t lowWord(uint64_t value) { return static_cast<uint16_t>(value & 0xFFFF); }

} // namespace

TrayController::TrayController(Ports ports) : ports_(ports), hotkeys_(ports.hotkeys) {
    CaptureSessions::Ports capturePorts{ports_.window};
    capturePorts.shell = ports_.shellApi;
    capturePorts.backend = ports_.capture;
    capturePorts.ndi = ports_.ndi;
    capturePorts.previews = ports_.previews;
    capturePorts.picker = ports_.regionPicker;
    capturePorts.notify = [this](const std::string& title, const std::string& text, bool error) {
        notify(title, text, error);
    };
    capturePorts.recordingsFolder = [this] { return recordingsFolder(); };
    capturePorts.localTime = [] { return CrashApi::current().localTime(); };
    captures_ = std::make_unique<CaptureSessions>(std::move(capturePorts));
}

class TrayController::HomecomingLink final : public DisplayChangeListener {
public:
    HomecomingLink(WindowHomecoming& homecoming, const Config& config) : homecoming_(homecoming), config_(config) {}
    void displaysChanging(const std::vector<std::string>& connectedKeys) override {
        homecoming_.displaysChanging(connectedKeys);
    }
    void displaysSettled() override {
        // The switch may have changed since the last settle.
        homecoming_.setEnabled(config_.restoreWindowsOnReconnect);
        homecoming_.displaysSettled();
    }

private:
    WindowHomecoming& homecoming_;
    const Config& config_;
};

TrayController::~TrayController() {
    if (ports_.windowEvents) ports_.windowEvents->stop();
    if (hotplug_) hotplug_->setListener(nullptr);
    // The bus outlives the controller; it must not report to it any more.
    if (bus_) bus_->setResultListener(nullptr);
    // Recordings are finalised and shares ended first, without notices.
    captures_->stopRecordingsAndShares();
    if (trayIcon_.size != 0) ports_.shell.notifyIcon(TrayShellApi::kNimDelete, trayIcon_);
    if (trayIcon_.icon != 0) ports_.shell.destroyIcon(trayIcon_.icon);
    // Destroying the window sends WM_DESTROY, which clears window_.
    if (window_ != 0) ports_.window.destroyWindow(window_);
    captures_->closePreviews();
    arrangement_.reset();
    glassFlyout_.reset();
    classicSettings_.reset();
    glassSettings_.reset();
    hotkeys_.unregisterAll();
    classicFlyout_.reset();
}

bool TrayController::create(uint64_t instance, ActionBus& bus, DisplayManager& displays, LayoutStore& layouts,
                            Config& config) {
    TrayWindowApi& api = ports_.window;
    TrayShellApi& shell = ports_.shell;

    instance_ = instance;
    bus_ = &bus;
    displays_ = &displays;
    layouts_ = &layouts;
    config_ = &config;
    // Registered once, before the window exists, so that no message can
    // arrive before its id is known.
    showFlyoutMessage_ = api.registerMessage("Quorvane_ShowFlyout");
    // Explorer broadcasts this when it (re)starts; the icon is then added again.
    taskbarCreatedMessage_ = api.registerMessage(kTaskbarCreated);
    quitMessage_ = api.registerMessage("Quorvane_Quit");

    // A failed registration shows up as a failed creation just below.
    api.registerWindowClass(instance_, kWindowClass, kIconResource);
    // Top-level (a hidden pop-up, not a message-only window) so that the
    // broadcast show-flyout message reaches it.
    window_ = api.createWindow(instance_, kWsExToolWindow, kWindowClass, kWindowTitle, kWsPopup, *this);
    if (window_ == 0) {
        log::write(log::Error, "TrayController: CreateWindowEx failed");
        return false;
    }
    captures_->attach(instance_, window_, &bus, &config);
    // "--do" may come from a console of lower integrity than this instance.
    if (ports_.requests) ports_.requests->allowRequests(window_);

    if (ports_.arrangement) arrangement_ = std::make_unique<ArrangementWindow>(*ports_.arrangement, bus);
    if (ports_.settings) classicSettings_ = std::make_unique<SettingsWindow>(*ports_.settings);
    if (ports_.settingsPage) {
        GlassSettingsWindow::Devices devices;
        devices.list = [this](DeviceKind kind) {
            if (kind == DeviceKind::Camera)
                return ports_.devices ? ports_.devices->listCameras() : std::vector<DeviceEntry>();
            std::vector<DeviceEntry> endpoints;
            if (ports_.audio) endpoints = ports_.audio->listDevices(kind);
            // An endpoint switched on or off for after the restart shows as asked.
            if (ports_.devices) ports_.devices->showRequestedStates(endpoints);
            return endpoints;
        };
        if (ports_.devices) {
            devices.setEnabled = [this](const std::string& instanceId, bool enable, std::string& error) {
                return ports_.devices->setDeviceEnabled(instanceId, enable, error);
            };
        }
        glassSettings_ = std::make_unique<GlassSettingsWindow>(*ports_.settingsPage, std::move(devices));
    }
    if (ports_.classicFlyout) {
        classicFlyout_ = std::make_unique<FlyoutPanel>(*ports_.classicFlyout, ports_.prompt);
        if (!classicFlyout_->create(bus)) return false;
        FlyoutPanel::Callbacks callbacks;
        callbacks.openSettings = [this] { openSettings(); };
        callbacks.openArrangement = [this] { openArrangement(); };
        callbacks.openRecordingsFolder = [this] { openRecordingsFolder(); };
        callbacks.togglePreview = [this](const std::string& key) { captures_->togglePreview(key); };
        callbacks.previewOpen = [this](const std::string& key) { return captures_->previewOpen(key); };
        callbacks.toggleRecording = [this](const std::string& key) { captures_->toggleRecording(key, false); };
        callbacks.toggleRegionRecording = [this](const std::string& key) { captures_->toggleRecording(key, true); };
        callbacks.recordingActive = [this](const std::string& key) { return captures_->recordingActive(key); };
        callbacks.toggleNdi = [this](const std::string& key) { captures_->toggleNdi(key, false); };
        callbacks.toggleRegionNdi = [this](const std::string& key) { captures_->toggleNdi(key, true); };
        callbacks.ndiActive = [this](const std::string& key) { return captures_->ndiActive(key); };
        classicFlyout_->setCallbacks(std::move(callbacks), &config);
    }

    // The web flyout gets its callbacks now; its window comes with the first show.
    if (ports_.flyoutWindow)
        glassFlyout_ = std::make_unique<GlassFlyoutPanel>(*ports_.flyoutWindow, &bus, &config, flyoutHooks());

    trayIcon_ = NotifyIconData{};
    trayIcon_.size = TrayShellApi::kNotifyIconDataSize;
    trayIcon_.window = window_;
    trayIcon_.id = kIconId;
    trayIcon_.flags = TrayShellApi::kNifMessage | TrayShellApi::kNifIcon | TrayShellApi::kNifTip;
    trayIcon_.callbackMessage = kTrayCallbackMessage;
    trayIcon_.icon = shell.loadSmallIcon(instance_, config.monochromeIcon ? kMonochromeIconResource : kIconResource);
    trayIcon_.tip = Notices::cutToUtf16(kTip, Notices::kTipUnits);
    trayIcon_.version = TrayShellApi::kNotifyIconVersion4;
    if (!shell.notifyIcon(TrayShellApi::kNimAdd, trayIcon_)) {
        log::write(log::Error, "Shell_NotifyIcon(NIM_ADD) failed");
        // A record of size 0 marks an icon that was never added: nothing to
        // delete at teardown, nothing to add again after an Explorer restart.
        trayIcon_.size = 0;
        if (trayIcon_.icon != 0) shell.destroyIcon(trayIcon_.icon);
        trayIcon_.icon = 0;
        return false;
    }
    shell.notifyIcon(TrayShellApi::kNimSetVersion, trayIcon_);

    // Every failed action, whatever asked for it, is reported here once.
    bus.setResultListener([this](const Action&, const ActionResult& result) {
        if (!result.ok) notify(Notices::kTitle, result.message, true);
    });

    const std::vector<HotkeyConflict> conflicts = hotkeys_.registerAll(window_, bus, config);
    // The default bindings filled in by the registration reach the file now.
    config.save();
    if (!conflicts.empty()) notify(Notices::kTitle, Notices::hotkeyConflicts(conflicts), true);

    if (config.autoCheckUpdates) {
        startAutomaticUpdateCheck();
        api.setTimer(window_, kUpdateTimer, kUpdateIntervalMs);
    }
    if (!config.welcomeShown) armWelcomeTimer();

    hotplug_ = std::make_unique<HotplugRestore>(displays, layouts, config, ports_.ticks);
    hotplug_->prime();
    if (WindowHomecoming* homecoming = ports_.homecoming) {
        homecoming->setEnabled(config.restoreWindowsOnReconnect);
        homecoming->prime();
        homecomingLink_ = std::make_unique<HomecomingLink>(*homecoming, config);
        hotplug_->setListener(homecomingLink_.get());
        if (ports_.windowEvents && !ports_.windowEvents->start([homecoming] { homecoming->record(); }))
            log::write(log::Warn, "Window events unavailable: window places are recorded only at display changes");
    }
    return true;
}


int64_t TrayController::onMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam) {
    TrayWindowApi& api = ports_.window;
    // A registration that failed left an id of 0, which must not catch WM_NULL.
    if (showFlyoutMessage_ != 0 && message == showFlyoutMessage_) {
        showFlyoutAtCursor();
        return 0;
    }
    if (taskbarCreatedMessage_ != 0 && message == taskbarCreatedMessage_) {
        onTaskbarCreated();
        return 0;
    }
    if (quitMessage_ != 0 && message == quitMessage_) {
        api.postQuit(0);
        return 0;
    }
    switch (message) {
    case kTrayCallbackMessage:
        onTrayCallback(wParam, lParam);
        return 0;
    case kWmDestroy:
        window_ = 0;
        return 0;
    case kWmClose:
        api.postQuit(0);
        return 0;
    case kWmQueryEndSession:
        return 1;
    case kWmEndSession:
        // The session really ends (a cancelled one changes nothing). The
        // process may be ended as soon as this returns, before the message
        // loop is left: recordings are finished and shares ended here.
        if (wParam != 0) {
            captures_->stopRecordingsAndShares();
            api.postQuit(0);
        }
        return 0;
    case CaptureSessions::kRecordingEndedMessage:
        captures_->reportEndedRecordings();
        return 0;
    case kWmDisplayChange:
        onDisplayChange();
        return 0;
    case kWmPowerBroadcast:
        // The last moment before sleep: the displays may not come back the
        // way they were.
        if (wParam == kPbtApmSuspend && ports_.homecoming) ports_.homecoming->record();
        return 1;
    case kWmCommand:
        onCommand(lowWord(wParam));
        return 0;
    case kWmCopyData:
        return onCopyData(wParam, lParam);
    case kWmHotkey:
        hotkeys_.onHotkey(static_cast<int32_t>(wParam));
        return 0;
    case kWmTimer:
        if (wParam == kWelcomeTimer) onWelcomeTimer();
        if (wParam == kUpdateTimer) startAutomaticUpdateCheck();
        if (wParam == kSettleTimer && hotplug_) {
            armSettleTimer(hotplug_->onSettleTimer());
            refreshFlyoutState();
        }
        return 0;
    case UpdateRunner::kUpdateAvailableMessage:
        onUpdateAvailable(lParam);
        return 0;
    case UpdateRunner::kUpdateInstallingMessage:
        onUpdateInstalling(lParam, false);
        return 0;
    case UpdateRunner::kUpdateAutoInstallingMessage:
        onUpdateInstalling(lParam, true);
        return 0;
    case UpdateRunner::kUpdateNoticeMessage:
        onUpdateNotice(lParam);
        return 0;
    default:
        return api.defaultWindowProc(window, message, wParam, lParam);
    }
}

void TrayController::onTrayCallback(uint64_t wParam, int64_t lParam) {
    const uint16_t event = lowWord(static_cast<uint64_t>(lParam));
    if (event != kWmContextMenu && event != kWmRButtonUp && event != kWmLButtonUp) return;
    // With NOTIFYICON_VERSION_4 the anchor point comes in wParam, as signed
    // 16-bit x and y; none means the mouse position.
    ScreenPoint point;
    point.x = static_cast<int16_t>(wParam & 0xFFFF);
    point.y = static_cast<int16_t>((wParam >> 16) & 0xFFFF);
    if (point.x == 0 && point.y == 0) point = cursorPosition();
    if (event == kWmLButtonUp) {
        showFlyout(point);
    } else {
        showMenu(point);
    }
}

void TrayController::onTaskbarCreated() {
    // Before create added the icon there is nothing to bring back.
    if (trayIcon_.size == 0) return;
    TrayShellApi& shell = ports_.shell;
    trayIcon_.flags = TrayShellApi::kNifMessage | TrayShellApi::kNifIcon | TrayShellApi::kNifTip;
    if (!shell.notifyIcon(TrayShellApi::kNimAdd, trayIcon_)) return;
    trayIcon_.version = TrayShellApi::kNotifyIconVersion4;
    shell.notifyIcon(TrayShellApi::kNimSetVersion, trayIcon_);
    log::write(log::Info, "Tray icon re-added after Explorer restart");
}

void TrayController::onDisplayChange() {
    if (hotplug_) armSettleTimer(hotplug_->onDisplayChange());
    refreshFlyoutState();
}

void TrayController::armSettleTimer(uint32_t milliseconds) {
    // SetTimer with the same id starts the time again.
    if (milliseconds > 0) {
        ports_.window.setTimer(window_, kSettleTimer, milliseconds);
    } else {
        ports_.window.killTimer(window_, kSettleTimer);
    }
}

void TrayController::showMenu(ScreenPoint point) {
    // One right click on the icon sends WM_RBUTTONUP and then WM_CONTEXTMENU;
    // the second arrives while the first menu is open (TrackPopupMenu runs a
    // nested message loop) and must not open a second menu over it.
    if (menuOpen_) return;
    TrayShellApi& shell = ports_.shell;
    const MenuHandle menu = shell.createPopupMenu();
    // No menu simply means no command.
    if (menu == 0) return;
    menuOpen_ = true;
    const bool elevated = isElevated();
    const bool checked = startsWithWindows();
    for (const TrayMenuItem& item : TrayMenu::items(elevated, checked, kVersion)) {
        shell.appendMenu(menu, item.flags, item.id, item.text);
    }
    // Without being in front, the menu would not close when the user clicks elsewhere.
    shell.setForegroundWindow(window_);
    shell.trackPopupMenu(menu, TrayShellApi::kTpmBottomAlign | TrayShellApi::kTpmRightButton, point, window_);
    ports_.window.postMessage(window_, kWmNull, 0, 0);
    shell.destroyMenu(menu);
    menuOpen_ = false;
}

void TrayController::onCommand(uint32_t id) {
    if (!bus_) return;
    const TrayMenu::CommandEntry entry = TrayMenu::command(id);
    switch (entry.command) {
    case TrayMenu::Command::None:
        return;
    case TrayMenu::Command::Dispatch: {
        // A failure reaches the user through the bus's result listener; a
        // success is shown here only for the actions that ask for it.
        Action action;
        action.kind = entry.kind;
        const ActionResult result = bus_->dispatch(action);
        if (entry.noticeOnSuccess && result.ok) notify(Notices::kTitle, result.message, false);
        return;
    }
    case TrayMenu::Command::RelaunchElevated:
        // Quits this instance when the elevated copy starts; a refusal changes nothing.
        relaunchElevated();
        return;
    case TrayMenu::Command::ToggleStartWithWindows:
        toggleStartWithWindows();
        return;
    case TrayMenu::Command::CheckForUpdates:
        startManualUpdateCheck();
        return;
    case TrayMenu::Command::OpenSettings:
        openSettings();
        return;
    case TrayMenu::Command::Exit:
        ports_.window.postQuit(0);
        return;
    }
}

int64_t TrayController::onCopyData(WindowHandle sender, int64_t lParam) {
    if (!ports_.requests) return 0;
    ActionRequestInbox& inbox = *ports_.requests;
    std::uint64_t tag = 0;
    std::string bytes;
    if (!inbox.read(lParam, tag, bytes)) return 0;
    if (tag != action_request::kRequestTag) return 0;
    // The user is checked only for our requests: another program's
    // WM_COPYDATA is none of our business.
    const bool sameUser = inbox.sameUser(sender);
    const std::optional<action_request::Answer> answer = action_request::receive(
        tag, bytes, sender, sameUser,
        [this](const Action& action, bool keep) { return runRequestedAction(action, keep); });
    if (!answer) return 0;
    if (!sameUser) log::write(log::Warn, "Refused an action request from another user");
    if (!inbox.reply(answer->to, window_, answer->bytes))
        log::write(log::Warn, "The answer to an action request could not be delivered");
    return 1;
}

ActionResult TrayController::runRequestedAction(const Action& action, bool /*keep*/) {
    switch (action.kind) {
    case ActionKind::Exit:
        ports_.window.postQuit(0);
        return ActionResult::success("Quorvane is quitting");
    case ActionKind::OpenSettings:
        openSettings();
        return ActionResult::success("settings opened");
    case ActionKind::RelaunchElevated: {
        Elevation* elevation = Elevation::current();
        if (elevation && elevation->relaunchElevated()) return ActionResult::success("restarting elevated");
        return ActionResult::failure("could not restart elevated");
    }
    default:
        if (!bus_) return ActionResult::failure("not ready");
        return bus_->dispatch(action);
    }
}

void TrayController::toggleStartWithWindows() {
    const bool on = !startsWithWindows();
    if (!setStartWithWindows(on)) {
        notify(Notices::kTitle, Notices::kStartupSettingFailed, true);
        return;
    }
    if (config_) {
        config_->startWithWindows = on;
        config_->save();
    }
    notify(Notices::kTitle, on ? Notices::kWillStartWithWindows : Notices::kWillNotStartWithWindows, false);
}

bool TrayController::notify(const std::string& title, const std::string& text, bool error) {
    if (trayIcon_.size == 0) return false;
    return ports_.shell.notifyIcon(TrayShellApi::kNimModify, Notices::balloon(trayIcon_, title, text, error));
}

std::vector<std::string> TrayController::knownDisplayKeys() const {
    return hotplug_ ? hotplug_->knownKeys() : std::vector<std::string>{};
}

void TrayController::showFlyout(ScreenPoint point) {
    if (ports_.foreground) {
        foreground_ = ports_.foreground->capture();
        foreground_.exeName = ForegroundCapture::exeNameOf(foreground_.imagePath);
    }
    webFlyoutShown_ =
        glassFlyout_ && ports_.browserRuntime && ports_.browserRuntime->available() && glassFlyout_->show(point);
    if (!webFlyoutShown_) showClassicFlyout(point);
}

void TrayController::showClassicFlyout(ScreenPoint point) {
    if (classicFlyout_) return classicFlyout_->showAt(point);
    log::logf(log::Info, "Flyout at (%d,%d): the classic flyout is not part of this build", point.x, point.y);
}

FlyoutHooks TrayController::flyoutHooks() {
    FlyoutHooks hooks;
    hooks.welcomePending = [this] { return config_ != nullptr && !config_->welcomeShown; };
    hooks.welcomeDone = [this] {
        if (!config_) return;
        config_->welcomeShown = true;
        config_->save();
    };
    hooks.foregroundApp = [this] { return foreground_.exeName; };
    hooks.foregroundWindow = [this] { return static_cast<uint64_t>(foreground_.window); };
    hooks.openSettings = [this] { openSettings(); };
    hooks.openArrangement = [this] { openArrangement(); };
    hooks.openRecordings = [this] { openRecordingsFolder(); };
    hooks.togglePreview = [this](const std::string& key) { captures_->togglePreview(key); };
    hooks.toggleRecording = [this](const std::string& key) { captures_->toggleRecording(key, false); };
    hooks.toggleRegionRecording = [this](const std::string& key) { captures_->toggleRecording(key, true); };
    hooks.toggleNdi = [this](const std::string& key) { captures_->toggleNdi(key, false); };
    hooks.toggleRegionNdi = [this](const std::string& key) { captures_->toggleNdi(key, true); };
    hooks.previewOpen = [this](const std::string& key) { return captures_->previewOpen(key); };
    hooks.recordingActive = [this](const std::string& key) { return captures_->recordingActive(key); };
    hooks.ndiActive = [this](const std::string& key) { return captures_->ndiActive(key); };
    if (ports_.appAudio) {
        hooks.resetAppAudio = [this] {
            const AppAudioNotice notice = ports_.appAudio->resetFrontAppAudio(foreground_.imagePath);
            notify(notice.title, notice.text, notice.warning);
        };
    }
    if (ports_.audio) {
        AudioEndpoints& audio = *ports_.audio;
        hooks.listAudio = [&audio](bool capture) {
            std::vector<AudioChoice> choices;
            for (AudioDeviceChoice& choice : audio.audioChoices(capture))
                choices.push_back(AudioChoice{std::move(choice.id), std::move(choice.name), choice.isDefault});
            return choices;
        };
        hooks.audioLevel = [&audio](bool capture) {
            const AudioLevel level = audio.readLevel(capture);
            return FlyoutHooks::Level{level.ok, level.volume, level.muted, level.peak};
        };
        // The flyout shows the outcome by the next levels; nothing to report.
        hooks.setVolume = [&audio](float volume, bool capture) {
            std::string ignored;
            audio.setVolume(capture, volume, ignored);
        };
        hooks.setMute = [&audio](bool mute, bool capture) {
            std::string ignored;
            audio.setMute(capture, mute, ignored);
        };
        hooks.setDefaultAudio = [this, &audio](const std::string& id, bool capture) {
            std::string message;
            if (audio.setDefaultAudio(id, message)) {
                log::logf(log::Info, "Default %s set", capture ? "microphone" : "playback device");
                refreshFlyoutState();
            } else {
                notify("Couldn't switch audio device", message, true);
            }
        };
    }
    return hooks;
}

void TrayController::openSettings() {
    if (!config_) return;
    SettingsCallbacks callbacks;
    callbacks.checkForUpdates = [this] { startManualUpdateCheck(); };
    callbacks.refreshTrayIcon = [this] { refreshTrayIcon(); };
    callbacks.openArrangement = [this] { openArrangement(); };
    callbacks.chooseRecordingsFolder = [this] { chooseRecordingsFolder(); };
    callbacks.openRecordingsFolder = [this] { openRecordingsFolder(); };
    // The web page while the browser runtime is there (asked each time, so a
    // runtime installed meanwhile is used); the classic window otherwise, and
    // when the web window cannot be created.
    if (glassSettings_ && ports_.browserRuntime && ports_.browserRuntime->available()) {
        glassSettings_->create(instance_, *config_, callbacks);
        if (glassSettings_->isOpen()) return;
    }
    if (classicSettings_) classicSettings_->create(instance_, *config_, std::move(callbacks));
}

void TrayController::refreshTrayIcon() {
    if (!config_ || trayIcon_.size == 0) return;
    TrayShellApi& shell = ports_.shell;
    const IconHandle fresh = shell.loadSmallIcon(instance_, config_->monochromeIcon ? kMonochromeIconResource : kIconResource);
    // Without the new icon the current one stays.
    if (fresh == 0) return;
    NotifyIconData icon = trayIcon_;
    icon.flags = TrayShellApi::kNifIcon;
    icon.icon = fresh;
    // Each switch loads an icon of the program's own; the one it replaces,
    // or the new one when the shell refused it, is destroyed, or every
    // switch would keep a GDI object for the rest of the run.
    if (!shell.notifyIcon(TrayShellApi::kNimModify, icon)) {
        shell.destroyIcon(fresh);
        return;
    }
    const IconHandle replaced = trayIcon_.icon;
    trayIcon_.icon = fresh;
    if (replaced != 0) shell.destroyIcon(replaced);
}

std::string TrayController::recordingsFolder() {
    std::string folder;
    if (config_ && !config_->recordingDir.empty()) {
        folder = config_->recordingDir;
    } else {
        const std::string videos = KnownFolders::current().path(KnownFolder::Videos);
        folder = (videos.empty() ? std::string(".") : videos) + "\\Quorvane";
    }
    FileSystem::current().createFolder(folder); // exists already, most of the time
    return folder;
}

void TrayController::openRecordingsFolder() {
    if (ports_.shellApi) ports_.shellApi->shellExecuteEx("open", recordingsFolder(), "", 0, ShellApi::kSwShowNormal);
}

void TrayController::chooseRecordingsFolder() {
    if (!config_ || !ports_.folderPicker) return;
    const std::optional<std::string> chosen = ports_.folderPicker->pickFolder();
    if (!chosen || chosen->empty()) return;
    config_->recordingDir = *chosen;
    config_->save();
}

void TrayController::openArrangement() {
    if (arrangement_) arrangement_->open();
}

void TrayController::startAutomaticUpdateCheck() {
    if (!ports_.updates || !config_) return;
    AutomaticCheck check;
    check.baseUrl = config_->updateBaseUrl;
    check.channel = config_->updateChannel;
    check.autoInstall = config_->autoInstallUpdates;
    check.lastAutoInstallVersion = config_->lastAutoInstallVersion;
    check.captureRunning = [] { return CaptureActivity::anyRunning(); };
    ports_.updates->startAutomatic(window_, check);
}

void TrayController::startManualUpdateCheck() {
    if (!ports_.updates) return;
    bool idle = false;
    if (!manualCheckRunning.compare_exchange_strong(idle, true)) return;
    ports_.updates->startRequested(window_, config_ ? config_->updateBaseUrl : std::string(),
                                   config_ ? config_->updateChannel : std::string(),
                                   [] { manualCheckRunning = false; });
}

namespace {

// Takes ownership of a payload posted by a check's thread; null stays null.
template <class T>
std::unique_ptr<T> payload(int64_t lParam) {
    return std::unique_ptr<T>(reinterpret_cast<T*>(static_cast<intptr_t>(lParam)));
}

} // namespace

void TrayController::onUpdateAvailable(int64_t lParam) {
    const std::unique_ptr<std::string> version = payload<std::string>(lParam);
    if (!version || *version == lastUpdateNotice_) return;
    lastUpdateNotice_ = *version;
    notify("Update available", "v" + *version + " is available \xE2\x80\x94 right-click \xE2\x86\x92 Check for updates.",
           false);
}

void TrayController::onUpdateInstalling(int64_t lParam, bool automatic) {
    const std::unique_ptr<std::string> version = payload<std::string>(lParam);
    // Remembered on the disk before quitting: should the restarted program
    // still be offered this version, it announces it instead of installing
    // it again.
    if (automatic && version && config_) {
        config_->lastAutoInstallVersion = *version;
        config_->save();
    }
    notify("Updating Quorvane",
           version ? "Installing v" + *version + " and restarting\xE2\x80\xA6" : "Installing update and restarting\xE2\x80\xA6",
           false);
    ports_.window.postQuit(0);
}

void TrayController::onUpdateNotice(int64_t lParam) {
    const auto notice = payload<std::pair<std::string, std::string>>(lParam);
    if (notice) notify(notice->first, notice->second, true);
}

void TrayController::armWelcomeTimer() { ports_.window.setTimer(window_, kWelcomeTimer, kWelcomeDelayMs); }

void TrayController::onWelcomeTimer() {
    ports_.window.killTimer(window_, kWelcomeTimer);
    // Over the tray icon when the shell says where it is.
    ScreenRect icon;
    if (ports_.shell.notifyIconRect(window_, kIconId, icon)) {
        showFlyout(ScreenPoint{(icon.left + icon.right) / 2, (icon.top + icon.bottom) / 2});
    } else {
        showFlyoutAtCursor();
    }
    // The classic flyout has no welcome card to dismiss: having opened it
    // once is the welcome, or it would open by itself at every start.
    if (!webFlyoutShown_ && classicFlyout_ && config_ && !config_->welcomeShown) {
        config_->welcomeShown = true;
        config_->save();
    }
}

void TrayController::refreshFlyoutState() {
    if (glassFlyout_) glassFlyout_->refreshIfVisible();
}

void TrayController::showFlyoutAtCursor() { showFlyout(cursorPosition()); }

ScreenPoint TrayController::cursorPosition() {
    ScreenPoint point;
    ports_.window.cursorPos(point);
    return point;
}

} // namespace qv
