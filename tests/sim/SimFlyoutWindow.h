#pragma once
#include "web/FlyoutWindow.h"

#include <optional>
#include <string>
#include <vector>

namespace qv::sim {

// The flyout's window and browser on the simulated desktop. Records every
// call as a line ("create (10,20)-(362,540)", "script window.qvShown&&...",
// "showAt (..)", "hide", ...); failures of each creation step can be
// injected. The browser's completion events are not sent by themselves: the
// test delivers them to the panel, as the browser would from the message loop.
class SimFlyoutWindow final : public FlyoutWindow {
public:
    // --- Injected behaviour ---
    bool failCreate = false;
    bool failEnvironmentCall = false;
    bool failControllerCall = false;
    uint32_t dpiOfSystem = 96;
    uint32_t dpiOfWindow = 96;
    std::optional<ScreenRect> workArea = ScreenRect{0, 0, 1920, 1040};
    std::string localAppDataFolder = "C:\\Users\\sim\\AppData\\Local";

    // --- Observed state ---
    bool created = false;
    bool visible = false;
    bool webView = false;
    bool timer = false;
    ScreenRect rect;
    int postedTasks = 0;
    std::vector<std::string> calls;
    // The scripts run, in order.
    std::vector<std::string> scripts() const;
    void clearCalls() { calls.clear(); }

    // The panel attached to the window.
    GlassFlyoutPanel* panel = nullptr;
    // The browser comes up as it would: environment, controller, page loaded.
    void loadPage();

    // --- FlyoutWindow ---
    void attach(GlassFlyoutPanel* p) override { panel = p; }
    bool create(const ScreenRect& r) override;
    bool exists() const override { return created; }
    void destroy() override;
    bool isVisible() const override { return created && visible; }
    void showAt(const ScreenRect& r) override;
    void hide() override;
    void setLevelTimer() override;
    void killLevelTimer() override;
    void postTaskMessage() override;
    void quit(int exitCode) override;
    uint32_t systemDpi() const override { return dpiOfSystem; }
    uint32_t windowDpi() const override { return dpiOfWindow; }
    std::optional<ScreenRect> workAreaNear(ScreenPoint) const override { return workArea; }
    std::string localAppData() const override { return localAppDataFolder; }
    bool createEnvironment(const std::string& profileFolder) override;
    bool createController() override;
    void startPage() override;
    bool hasWebView() const override { return webView; }
    void executeScript(const std::string& script) override;
    void updateBounds() override;
    void closeBrowser() override;
};

} // namespace qv::sim
