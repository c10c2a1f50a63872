#pragma once
#include "audio/DeviceEntry.h"
#include "base/ScreenPoint.h"
#include "web/SettingsCallbacks.h"
#include "windows/WindowSystem.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qv {

class MessageMembers;
class SettingsPageWindow;
struct Config;

// The settings window with the embedded settings page: the user's
// preferences, the recording options, the device switches and the update
// options. The page gets one settings document and answers with one message
// per change; every change is saved at once, there is no OK button.
//
// This class holds the decisions: the document, what each message does, the
// creation chain, where the window opens and how it fits the page's height.
// SettingsPageWindow carries them out. User-interface thread only.
class GlassSettingsWindow {
public:
    static constexpr int32_t kWidth = 480;   // device-independent pixels
    static constexpr int32_t kHeight = 660;
    static constexpr int32_t kMinPageHeight = 300;
    static constexpr int32_t kMaxPreviewsLimit = 8;
    static constexpr int32_t kMinFps = 5;
    static constexpr int32_t kMaxFps = 60;

    // The device groups of the page and their switch. Unset members leave the
    // groups empty; the page then says that no devices were found.
    struct Devices {
        std::function<std::vector<DeviceEntry>(DeviceKind kind)> list;
        // Enables or disables a device by instance id; false with a message,
        // or true with a message for the user or none.
        std::function<bool(const std::string& instanceId, bool enable, std::string& message)> setEnabled;
    };

    GlassSettingsWindow(SettingsPageWindow& window, Devices devices = {});
    // Destroys the window, if it is open.
    ~GlassSettingsWindow();
    GlassSettingsWindow(const GlassSettingsWindow&) = delete;
    GlassSettingsWindow& operator=(const GlassSettingsWindow&) = delete;

    // Keeps the settings and the callbacks, replacing earlier ones. When the
    // window is open it is shown, brought to the front and given the current
    // settings; otherwise the window opens at the cursor, inside the work
    // area, and its browser starts.
    void create(uint64_t instance, Config& config, SettingsCallbacks callbacks);
    bool isOpen() const;
    bool ready() const { return ready_; }

    // Runs window.qvInit with the settings document, once the page is loaded.
    void pushSettings();
    // The settings page's message, as JSON text.
    void onSettingsMessage(const std::string& text);

    // --- Reported by the browser --------------------------------------------
    void onEnvironmentCreated(bool ok);
    void onControllerCreated(bool ok);
    void onNavigationCompleted();
    void onWebMessage(const std::string& text) { onSettingsMessage(text); }

    // --- Reported by the window procedure -----------------------------------
    void onSize();
    // WM_CLOSE: the window is destroyed, not hidden.
    void onClose();
    // WM_DPICHANGED with the rectangle Windows suggests.
    void onDpiChanged(const ScreenRect& suggested);
    void onDestroy();

    // The settings document for these settings and system answers.
    struct System {
        bool startsWithWindows = false;
        bool elevated = false;
        std::vector<DeviceEntry> cameras, speakers, microphones;
    };
    static std::string document(const Config& config, const System& system);
    // The window for a page of h device-independent pixels: as tall as the
    // page (at least 300) plus the frame, no taller than the work area, and
    // moved up to end inside it.
    static ScreenRect fitted(const ScreenRect& window, int32_t frameHeight, int32_t pageHeight, uint32_t dpi,
                             const std::optional<ScreenRect>& work);

private:
    void createWindow(uint64_t instance);
    void set(const std::string& key, MessageMembers& m);
    void setStartWithWindows(bool on);
    void action(const std::string& name);
    void device(const std::string& id, bool on);
    void fitToPage(int32_t pageHeight);
    System system() const;
    static void call(const std::function<void()>& callback);

    SettingsPageWindow& window_;
    Config* config_ = nullptr;
    SettingsCallbacks callbacks_;
    Devices devices_;
    bool ready_ = false;
};

} // namespace qv
