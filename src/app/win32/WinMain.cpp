// The program's entry point: installs the Win32 implementations of every port
// and hands over to the Application, which decides everything else.
#include "actions/win32/Win32ActionRequests.h"
#include "app/AppObjects.h"
#include "app/Application.h"
#include "base/Elevation.h"
#include "base/KnownFolders.h"
#include "app/win32/Win32CommandLine.h"
#include "audio/AppAudioReset.h"
#include "audio/AudioEndpoints.h"
#include "audio/DeviceSwitches.h"
#include "audio/win32/Win32DeviceTree.h"
#include "audio/win32/Win32AudioSystem.h"
#include "app/win32/Win32InstanceMutex.h"
#include "base/win32/Win32Platform.h"
#include "base/win32/Win32ProcessApi.h"
#include "base/win32/Win32Registry.h"
#include "base/win32/Win32ShellApi.h"
#include "base/win32/Win32TickSource.h"
#include "display/win32/Win32DisplayConfigApi.h"
#include "hotkeys/win32/Win32HotkeyRegistrar.h"
#include "ui/win32/Win32ArrangementSurface.h"
#include "ui/win32/Win32FlyoutPanelSurface.h"
#include "ui/win32/Win32FolderPicker.h"
#include "ui/win32/Win32ForegroundQuery.h"
#include "ui/win32/Win32SettingsSurface.h"
#include "ui/win32/Win32TextPrompt.h"
#include "ui/win32/Win32TrayShell.h"
#include "ui/win32/Win32TrayWindow.h"
#include "ui/TrayController.h"
#include "update/win32/Win32UpdateRunner.h"
#include "vdisplay/SystemVdBackends.h"
#include "vdisplay/win32/Win32DesktopDuplication.h"
#include "vdisplay/win32/Win32DeviceApi.h"
#include "vdisplay/win32/Win32SystemInfo.h"
#include "vdisplay/win32/Win32VdConsole.h"
#include "web/win32/Win32BrowserRuntime.h"
#include "web/win32/Win32FlyoutWindow.h"
#include "web/win32/Win32SettingsPageWindow.h"
#include "capture/NdiRuntime.h"
#include "capture/win32/Win32CaptureBackend.h"
#include "capture/win32/Win32NdiLibrary.h"
#include "ui/win32/Win32PreviewWindows.h"
#include "ui/win32/Win32RegionPicker.h"
#include "windows/win32/Win32WindowEvents.h"
#include "windows/win32/Win32WindowSystem.h"

#include <windows.h>

#include <cstdint>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    qv::installWin32Platform();

    const std::vector<std::string> arguments = qv::processArguments();

    qv::Win32InstanceMutex mutex;
    qv::Win32ProcessApi process;
    qv::Win32Registry registry;
    qv::Win32ShellApi shell;
    qv::Win32VdConsole console;
    qv::Win32DisplayConfigApi displayConfig;
    qv::Win32TrayWindow trayWindow;
    qv::Win32TrayShell trayShell;
    qv::Win32HotkeyRegistrar hotkeys;
    qv::Win32TickSource ticks;
    qv::Win32WindowSystem windowSystem;
    qv::Win32WindowEvents windowEvents;
    qv::Win32BrowserRuntime browserRuntime;
    qv::Win32ForegroundQuery foreground;
    const auto module = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(instance));
    qv::Win32FlyoutWindow flyoutWindow(module, browserRuntime);
    qv::Win32FlyoutPanelSurface classicFlyout(module);
    qv::Win32ArrangementSurface arrangement(module);
    qv::Win32SettingsSurface settingsSurface;
    qv::Win32SettingsPageWindow settingsPage(browserRuntime);
    qv::Win32TextPrompt prompt(module);
    qv::Win32UpdateRunner updates;
    qv::Win32FolderPicker folderPicker;
    qv::Win32CaptureBackend capture;
    // One NDI runtime for the whole process, outliving every share.
    qv::Win32NdiLibrary ndiLibrary;
    qv::NdiRuntime ndiRuntime(ndiLibrary);
    qv::Win32PreviewWindows previewWindows;
    qv::Win32RegionPicker regionPicker;
    // Speakers and microphones, on the user-interface thread's COM apartment.
    qv::Win32AudioSystem audioSystem;
    qv::AudioEndpoints audio(audioSystem);
    // The virtual display drivers and the frame-rate probe of the console commands.
    qv::vdisplay::Win32DeviceApi vdDevices;
    qv::vdisplay::Win32SystemInfo vdSystem;
    qv::vdisplay::SystemVdBackends vdBackends(vdDevices, vdSystem);
    qv::vdisplay::Win32DesktopDuplication duplication;

    // "--do" and the running instance's side of it.
    qv::Win32ActionRequests actionRequests(qv::TrayController::kWindowClass, qv::TrayController::kWindowTitle);

    qv::Elevation elevation(process, registry, shell);
    qv::Elevation::install(&elevation);
    qv::Win32DeviceTree deviceTree;
    qv::DeviceSwitches deviceSwitches(deviceTree, elevation);
    qv::AppAudioReset appAudio(registry);

    qv::AppObjects objects(arguments, module,
                           {console, displayConfig, trayWindow, trayShell, hotkeys, ticks, windowSystem, &flyoutWindow,
                            &browserRuntime, &foreground, &classicFlyout, &prompt, &arrangement, &settingsSurface, &settingsPage,
                            &updates, &shell, &folderPicker, &capture,
                            &ndiRuntime, &previewWindows, &regionPicker, &vdBackends, &duplication, &audio,
                            &deviceSwitches, &appAudio, &windowEvents, &actionRequests, &actionRequests});
    qv::Application application(arguments, {mutex, process, registry, shell, qv::KnownFolders::current(), objects});
    int exitCode = application.run();

    qv::Elevation::install(nullptr);
    return exitCode;
}
