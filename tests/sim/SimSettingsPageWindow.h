#pragma once
#include "web/SettingsPageWindow.h"

#include <optional>
#include <string>
#include <vector>

namespace qv::sim {

// The web settings window and its browser on the simulated desktop. Records
// every call as a line ("create (100,200)-(580,860)", "move (..)", "show",
// "script window.qvInit({...})", "openFolder C:\\...", "postClose", ...);
// failures of each creation step can be injected. destroy() reports
// WM_DESTROY as the real window does. The browser's completion events are
// not sent by themselves: the test delivers them, as the browser would from
// the message loop (loadPage does all three).
class SimSettingsPageWindow final : public SettingsPageWindow {
public:
    // --- Injected behaviour ---
    bool failCreate = false;
    bool failEnvironmentCall = false;
    bool failControllerCall = false;
    ScreenPoint cursorAt{100, 200};
    uint32_t dpi = 96;
    std::optional<ScreenRect> workArea = ScreenRect{0, 0, 1920, 1040};
    int32_t frame = 31; // caption and borders
    std::string localAppDataFolder = "C:\\Users\\sim\\AppData\\Local";

    // --- Observed state ---
    bool created = false;
    bool shown = false;
    bool webView = false;
    ScreenRect rect;
    std::vector<std::string> calls;
    // The scripts run, in order.
    std::vector<std::string> scripts() const;
    void clearCalls() { calls.clear(); }

    GlassSettingsWindow* window = nullptr;
    void loadPage();

    // --- SettingsPageWindow ---
    void attach(GlassSettingsWindow* w) override { window = w; }
    bool create(uint64_t instance, const ScreenRect& r) override;
    bool exists() const override { return created; }
    void destroy() override;
    void postClose() override { calls.push_back("postClose"); }
    void show() override;
    ScreenPoint cursor() const override { return cursorAt; }
    uint32_t windowDpi() const override { return created ? dpi : 0; }
    std::optional<ScreenRect> workAreaNear(ScreenPoint) const override { return workArea; }
    std::optional<ScreenRect> workAreaOfWindow() const override { return workArea; }
    ScreenRect windowRect() const override { return rect; }
    int32_t frameHeight() const override { return frame; }
    void move(const ScreenRect& r) override;
    void openFolder(const std::string& path) override { calls.push_back("openFolder " + path); }
    std::string localAppData() const override { return localAppDataFolder; }
    bool createEnvironment(const std::string& profileFolder) override;
    bool createController() override;
    void startPage() override;
    bool hasWebView() const override { return webView; }
    void executeScript(const std::string& script) override { calls.push_back("script " + script); }
    void updateBounds() override { calls.push_back("bounds"); }
    void closeBrowser() override;
};

} // namespace qv::sim
