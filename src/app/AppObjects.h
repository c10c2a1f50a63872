#pragma once
#include "app/StartupSteps.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv {

class ActionBus;
class ActionRequestInbox;
class ActionRequestSender;
class ArrangementSurface;
class AppAudioReset;
class AudioEndpoints;
class DeviceSwitches;
class SettingsSurface;
class SettingsPageWindow;
class BrowserRuntime;
class CaptureBackend;
class NdiRuntime;
class PreviewWindows;
class RegionPicker;
class FlyoutPanelSurface;
class FlyoutWindow;
class ForegroundQuery;
class DisplayConfigApi;
class DisplayManager;
class HotkeyRegistrar;
class LayoutStore;
class TextPrompt;
class FolderPicker;
class ShellApi;
class TickSource;
class UpdateRunner;
class TrayController;
class TrayShellApi;
class TrayWindowApi;
class VdConsole;
class WindowEvents;
class WindowHomecoming;
class WindowPlacement;
class WindowSystem;
struct Config;

namespace vdisplay {
class DesktopDuplication;
class VdBackends;
} // namespace vdisplay

// The long-lived objects of the running program and the start-up steps that
// build, use and destroy them. They live exactly as long as the Application
// runs the message loop.
class AppObjects final : public StartupSteps {
public:
    struct Ports {
        VdConsole& console;
        DisplayConfigApi& displayConfig;
        TrayWindowApi& trayWindow;
        TrayShellApi& trayShell;
        HotkeyRegistrar& hotkeys;
        TickSource& ticks;
        WindowSystem& windowSystem;
        // The web flyout's services; without them a left click shows the
        // classic flyout.
        FlyoutWindow* flyoutWindow = nullptr;
        BrowserRuntime* browserRuntime = nullptr;
        ForegroundQuery* foreground = nullptr;
        // The classic flyout's window and its rename prompt.
        FlyoutPanelSurface* classicFlyout = nullptr;
        TextPrompt* prompt = nullptr;
        ArrangementSurface* arrangement = nullptr;
        SettingsSurface* settings = nullptr;
        SettingsPageWindow* settingsPage = nullptr;
        UpdateRunner* updates = nullptr;
        ShellApi* shellApi = nullptr;
        FolderPicker* folderPicker = nullptr;
        // Recordings, NDI shares, live previews and the region picker.
        CaptureBackend* capture = nullptr;
        NdiRuntime* ndi = nullptr;
        PreviewWindows* previews = nullptr;
        RegionPicker* regionPicker = nullptr;
        // The virtual display console commands' drivers and frame-rate probe;
        // without them those commands find no driver and no DXGI.
        vdisplay::VdBackends* vdBackends = nullptr;
        vdisplay::DesktopDuplication* duplication = nullptr;
        // Speakers and microphones; cameras and device switches; app audio
        // overrides.
        AudioEndpoints* audio = nullptr;
        DeviceSwitches* devices = nullptr;
        AppAudioReset* appAudio = nullptr;
        // When windows are moved, minimised or brought to the front; without
        // it window places are recorded only at display changes.
        WindowEvents* windowEvents = nullptr;
        // "--do": the way to the running instance, and the instance's side
        // of it. Without the sender "--do" finds no instance; without the
        // inbox the instance takes no requests.
        ActionRequestSender* requestSender = nullptr;
        ActionRequestInbox* requestInbox = nullptr;
    };

    // arguments: the command line without the program name, UTF-8;
    // instance: the module instance handle.
    AppObjects(std::vector<std::string> arguments, uint64_t instance, Ports ports);
    ~AppObjects() override;

    bool runCommandLine(int& exitCode) override;
    void loadSettings() override;
    Config& settings() override;
    void saveSettings() override;
    std::string settingsFolder() override;
    void openLog(const std::string& path) override;
    void installCrashHandler(const std::string& folder, int keepCount) override;
    void loadLayouts() override;
    void buildDisplayManager() override;
    void buildActionBus() override;
    bool createTrayController() override;
    void enumerateDisplays() override;
    void notify(const std::string& title, const std::string& text, bool error) override;
    void destroyTrayController() override;
    void destroyActionBus() override;
    void destroyDisplayManager() override;
    void destroyLayoutStore() override;
    void destroySettings() override;
    void releaseComObjects() override;

private:
    std::vector<std::string> arguments_;
    uint64_t instance_;
    Ports ports_;
    std::unique_ptr<Config> config_;
    std::unique_ptr<LayoutStore> layouts_;
    std::unique_ptr<DisplayManager> displays_;
    std::unique_ptr<WindowPlacement> placement_;
    std::unique_ptr<WindowHomecoming> homecoming_;
    std::unique_ptr<ActionBus> bus_;
    std::unique_ptr<TrayController> tray_;
};

} // namespace qv
