#pragma once
#include "actions/Action.h"
#include "hotkeys/HotkeyBindings.h"
#include "ui/ForegroundQuery.h"
#include "ui/TrayShellApi.h"
#include "ui/TrayWindowApi.h"
#include "web/FlyoutHooks.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv {

class ActionBus;
class ActionRequestInbox;
class ArrangementSurface;
class AppAudioReset;
class AudioEndpoints;
class DeviceSwitches;
class ArrangementWindow;
class BrowserRuntime;
class CaptureBackend;
class CaptureSessions;
class NdiRuntime;
class PreviewWindows;
class RegionPicker;
class DisplayManager;
class FlyoutPanel;
class FlyoutPanelSurface;
class FlyoutWindow;
class GlassFlyoutPanel;
class SettingsSurface;
class SettingsPageWindow;
class GlassSettingsWindow;
class SettingsWindow;
class FolderPicker;
class ShellApi;
class TextPrompt;
class UpdateRunner;
class HotkeyRegistrar;
class HotplugRestore;
class WindowEvents;
class WindowHomecoming;
class LayoutStore;
class TickSource;
struct Config;

// The hub of the user-interface thread: owns the hidden controller window,
// whose window procedure receives the tray icon's, the hotkeys', the display
// changes' and the program's private, session and registered messages; the
// notification-area icon with its menu and notices; the hotkey bindings and
// the automatic restore of layouts when monitors come and go.
class TrayController {
public:
    static constexpr const char* kWindowClass = "QuorvaneTray";
    static constexpr const char* kWindowTitle = "Quorvane";
    static constexpr const char* kTip = "Quorvane";
    static constexpr int kIconResource = 101;
    static constexpr int kMonochromeIconResource = 102;
    // WS_EX_TOOLWINDOW and WS_POPUP: winuser.h values, learn.microsoft.com
    // "Extended Window Styles" and "Window Styles".
    static constexpr uint32_t kWsExToolWindow = 0x00000080;
    static constexpr uint32_t kWsPopup = 0x80000000;
    static constexpr uint32_t kIconId = 1;
    // WM_APP + 1: the tray icon's callback message.
    static constexpr uint32_t kTrayCallbackMessage = 0x8001;
    // Opens the flyout with its welcome card once, shortly after the first start.
    static constexpr uint32_t kWelcomeTimer = 43;
    static constexpr uint32_t kWelcomeDelayMs = 1500;
    // Checks for updates every four hours when the setting was on at start.
    static constexpr uint32_t kUpdateTimer = 42;
    static constexpr uint32_t kUpdateIntervalMs = 14400000;
    // One-shot, armed only while a change of the connected displays settles.
    static constexpr uint32_t kSettleTimer = 44;

    // The system services the controller works through. Without the three
    // flyout services a left click shows the classic flyout.
    struct Ports {
        TrayWindowApi& window;
        TrayShellApi& shell;
        HotkeyRegistrar& hotkeys;
        TickSource& ticks;
        FlyoutWindow* flyoutWindow = nullptr;
        BrowserRuntime* browserRuntime = nullptr;
        ForegroundQuery* foreground = nullptr;
        // The classic flyout's window and the prompt it renames displays
        // with; without the window there is no classic flyout.
        FlyoutPanelSurface* classicFlyout = nullptr;
        TextPrompt* prompt = nullptr;
        // The arrangement window's window; without it there is none.
        ArrangementSurface* arrangement = nullptr;
        // The classic settings window's window; without it "Settings…" does
        // nothing when the web settings window cannot be shown.
        SettingsSurface* settings = nullptr;
        // The web settings window's window; used while the browser runtime is
        // available.
        SettingsPageWindow* settingsPage = nullptr;
        // Runs update checks; without it there are none.
        UpdateRunner* updates = nullptr;
        // Opens folders; chooses the recordings folder.
        ShellApi* shellApi = nullptr;
        FolderPicker* folderPicker = nullptr;
        // Recordings and NDI shares run over the capture backend; previews
        // and picked regions come from their windows. Without one, that kind
        // of capture does nothing.
        CaptureBackend* capture = nullptr;
        NdiRuntime* ndi = nullptr;
        PreviewWindows* previews = nullptr;
        RegionPicker* regionPicker = nullptr;
        // The speakers and microphones: the flyout's choices, levels, volume
        // and mute, and the settings page's lists. Without it the flyout
        // shows no audio and the page lists none.
        AudioEndpoints* audio = nullptr;
        // Cameras and device switches for the settings page; clearing the
        // front application's audio overrides for the flyout.
        DeviceSwitches* devices = nullptr;
        AppAudioReset* appAudio = nullptr;
        // Puts windows back on displays that come back; the window events
        // tell it when to record their places. Without it windows stay where
        // Windows leaves them.
        WindowHomecoming* homecoming = nullptr;
        WindowEvents* windowEvents = nullptr;
        // Actions handed over by "quorvane.exe --do" as WM_COPYDATA; without
        // it the window takes none.
        ActionRequestInbox* requests = nullptr;
    };

    explicit TrayController(Ports ports);
    // Removes the tray icon, destroys the controller window and releases the
    // hotkeys, in that order.
    ~TrayController();
    TrayController(const TrayController&) = delete;
    TrayController& operator=(const TrayController&) = delete;

    // Keeps the instance and the references, creates the hidden top-level
    // controller window and the (hidden) classic flyout, adds the tray icon, reports every failed action of
    // the bus as an error notice, registers the hotkeys (saving the settings
    // right after, so the default bindings reach the file) and records the
    // connected monitors. False, with the failure logged, when the window or
    // the icon cannot be created.
    bool create(uint64_t instance, ActionBus& bus, DisplayManager& displays, LayoutStore& layouts, Config& config);

    // The controller window's procedure, for every message after WM_NCCREATE.
    int64_t onMessage(WindowHandle window, uint32_t message, uint64_t wParam, int64_t lParam);

    // Builds the context menu afresh, shows it at the point (screen
    // coordinates) and destroys it; the chosen item comes back as WM_COMMAND.
    // A request while the menu is open is ignored.
    void showMenu(ScreenPoint point);
    // Runs the command of a menu id; nothing without an action bus.
    void onCommand(uint32_t id);
    // Carries out an action handed over by "--do": Exit, OpenSettings and
    // RelaunchElevated as the menu runs them, every other kind through the
    // bus. keep is the request's flag (not used yet).
    ActionResult runRequestedAction(const Action& action, bool keep);

    // Opens the flyout at the point: notes the application in front (before
    // the flyout takes the focus), then shows the web flyout when the browser
    // runtime is there and the web flyout has not given up, else the classic
    // one.
    void showFlyout(ScreenPoint point);
    // Opens the settings window, or brings it to the front when it is open.
    // Nothing without settings.
    void openSettings();
    // Opens the arrangement window, or reloads it and brings it to the front.
    void openArrangement();
    // Shows the colour or the monochrome icon, as the settings say, at once.
    void refreshTrayIcon();
    // Where recordings go: the folder the settings name, else "Quorvane" in
    // the user's Videos folder ("." when that is unknown). The last level is
    // created each time it is asked for.
    std::string recordingsFolder();
    // Opens the recordings folder in Explorer.
    void openRecordingsFolder();
    // Lets the user choose the recordings folder and saves the choice.
    void chooseRecordingsFolder();

    // Shows one notice from the tray icon: an error notice when error is set,
    // else an information notice. Returns the shell's answer; without a tray
    // icon there is nothing to show it from and false is returned.
    bool notify(const std::string& title, const std::string& text, bool error);

    WindowHandle window() const { return window_; }
    uint32_t showFlyoutMessage() const { return showFlyoutMessage_; }
    // The tray icon record; its size is 0 until the icon has been added.
    const NotifyIconData& trayIcon() const { return trayIcon_; }
    // Keys of the displays connected at the last check, sorted.
    std::vector<std::string> knownDisplayKeys() const;
    // The application in front when the flyout was last opened.
    const ForegroundCapture& foreground() const { return foreground_; }
    // The callbacks the web flyout is given.
    FlyoutHooks flyoutHooks();
    // The classic flyout, when there is one.
    FlyoutPanel* classicFlyout() const { return classicFlyout_.get(); }
    // The live previews, recordings and NDI shares.
    CaptureSessions& captures() { return *captures_; }

private:
    void onTrayCallback(uint64_t wParam, int64_t lParam);
    // A WM_COPYDATA message: answers our requests, TRUE; FALSE for others.
    int64_t onCopyData(WindowHandle sender, int64_t lParam);
    void onTaskbarCreated();
    void onDisplayChange();
    void armSettleTimer(uint32_t milliseconds);
    void showFlyoutAtCursor();
    ScreenPoint cursorPosition();
    void toggleStartWithWindows();

    // Steps that belong to parts of the program that are not built yet; each
    // is called where its work will go and does nothing for now.
    void startAutomaticUpdateCheck();
    void startManualUpdateCheck();
    void armWelcomeTimer();
    void refreshFlyoutState();
    void showClassicFlyout(ScreenPoint point);
    void onWelcomeTimer();
    void onUpdateAvailable(int64_t payload);
    // automatic: posted by the automatic check, whose version is remembered.
    void onUpdateInstalling(int64_t payload, bool automatic);
    void onUpdateNotice(int64_t payload);

    Ports ports_;
    uint64_t instance_ = 0;
    WindowHandle window_ = 0;
    NotifyIconData trayIcon_;
    ActionBus* bus_ = nullptr;
    DisplayManager* displays_ = nullptr;
    LayoutStore* layouts_ = nullptr;
    Config* config_ = nullptr;
    HotkeyBindings hotkeys_;
    std::unique_ptr<HotplugRestore> hotplug_;
    // Passes the hotplug restore's changes and settles on to the homecoming.
    class HomecomingLink;
    std::unique_ptr<HomecomingLink> homecomingLink_;
    std::unique_ptr<GlassFlyoutPanel> glassFlyout_;
    std::unique_ptr<FlyoutPanel> classicFlyout_;
    std::unique_ptr<ArrangementWindow> arrangement_;
    std::unique_ptr<SettingsWindow> classicSettings_;
    std::unique_ptr<GlassSettingsWindow> glassSettings_;
    std::unique_ptr<CaptureSessions> captures_;
    ForegroundCapture foreground_;
    uint32_t showFlyoutMessage_ = 0;
    uint32_t taskbarCreatedMessage_ = 0;
    uint32_t quitMessage_ = 0;
    // The version last announced by an "Update available" notice this run.
    std::string lastUpdateNotice_;
    // Whether the last flyout request was shown by the web flyout.
    bool webFlyoutShown_ = false;
    // True while the context menu is being shown.
    bool menuOpen_ = false;
};

} // namespace qv
